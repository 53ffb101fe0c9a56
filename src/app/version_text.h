#pragma once

#include <string>

namespace mervok {

// The version as the version dialog shows it: major, a dot and the minor
// number with at least two digits; the revision follows only when it is above
// 0 (1.13.0 -> "1.13", 1.5.0 -> "1.05", 1.13.2 -> "1.13.2").
std::string VersionText(int major, int minor, int revision);

// The program's own version in that form.
std::string ProgramVersionText();

}  // namespace mervok
