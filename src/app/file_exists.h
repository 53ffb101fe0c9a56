#pragma once

#include <string>

namespace mervok {

// True when path names a regular file that can be opened for reading (a
// folder, a device or a missing file gives false). The path is rewritten in
// place, visibly to the caller: a path that begins and ends with a double
// quote loses both quotes, and then a trailing separator is removed.
bool FileExists(std::string& path);

}  // namespace mervok
