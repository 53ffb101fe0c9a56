#pragma once

#include <string>
#include <string_view>

namespace mervok {

// Cuts the text at its first NUL (the whole text when it has none) and then
// removes spaces at both ends. Texts read into fixed, space-filled buffers
// carry both the NUL and the filling.
std::string TrimAtNull(std::string_view text);

// Removes spaces (only U+0020, not tabs) at both ends.
std::string TrimBlanks(std::string_view text);

}  // namespace mervok
