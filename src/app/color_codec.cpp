#include "app/color_codec.h"

namespace mervok {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

int HexToColor(std::string_view text) {
    if (text.size() != 6) {
        return -1;
    }
    int colour = 0;
    for (int pair = 0; pair < 3; ++pair) {
        const int high = HexDigit(text[pair * 2]);
        const int low = HexDigit(text[pair * 2 + 1]);
        if (high < 0 || low < 0) {
            return -1;
        }
        colour |= (high * 16 + low) << (8 * pair);
    }
    return colour;
}

std::string ColorToHex(int colour) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const auto bits = static_cast<unsigned>(colour);
    std::string text;
    text.reserve(6);
    for (int pair = 0; pair < 3; ++pair) {
        const unsigned byte = (bits >> (8 * pair)) & 0xFFu;
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xFu];
    }
    return text;
}

}  // namespace mervok
