#include "ui/twips.h"

#include <cmath>

namespace mervok {

int RoundHalfEven(double value) {
    // nearbyint follows the current rounding mode, which is to-nearest-even
    // unless someone changed it; do it by hand to be independent of that.
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double result = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) {
        result = floor + 1.0;
    }
    return static_cast<int>(result);
}

int TwipsToPixels(double twips) {
    return RoundHalfEven(twips / kTwipsPerPixel);
}

}  // namespace mervok
