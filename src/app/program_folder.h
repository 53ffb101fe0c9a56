#pragma once

#include <string>
#include <string_view>

namespace mervok {

// The platform's path separator as the program writes it.
inline constexpr char kSeparator = '/';

// The folder text with one separator at its end; a root such as "/" keeps its
// single separator.
std::string WithTrailingSeparator(std::string folder);

// A file beside the program (or in any folder): the folder, a separator when
// the folder does not already end with one, and the name.
std::string PathInFolder(std::string_view folder, std::string_view name);

// The folder of the running executable, ending with a separator. The program
// finds its libraries, its settings and the viewer here, never in the current
// directory.
std::string ProgramFolder();

// The running executable's file name without its folder.
std::string ProgramFileName();

}  // namespace mervok
