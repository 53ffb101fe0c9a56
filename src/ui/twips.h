#pragma once

namespace mervok {

// Window geometry is kept in twips, as the settings file stores it: 15 twips
// to a pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

// Nearest integer, halves to the even neighbour (221.5 -> 222, 222.5 -> 222).
int RoundHalfEven(double value);

int TwipsToPixels(double twips);
inline int PixelsToTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}

}  // namespace mervok
