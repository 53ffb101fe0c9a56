#pragma once

#include <string>
#include <string_view>

namespace mervok {

// A colour is red + green * 256 + blue * 65536 (red in the low byte); the
// settings file holds it as six hexadecimal digits with red first.

// Exactly six hexadecimal digits in either case, "RRGGBB"; -1 for anything
// else (-1 is never a colour).
int HexToColor(std::string_view text);

// Six upper-case hexadecimal digits, red first. Only the low 24 bits count,
// so every value converts (-1 gives "FFFFFF") and there is no failure case.
std::string ColorToHex(int colour);

}  // namespace mervok
