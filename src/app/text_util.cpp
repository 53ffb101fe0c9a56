#include "app/text_util.h"

namespace mervok {

std::string TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string TrimAtNull(std::string_view text) {
    return TrimBlanks(text.substr(0, text.find('\0')));
}

}  // namespace mervok
