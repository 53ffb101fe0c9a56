#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mervok {

// What a viewer is asked to show: an archive, as the one-argument start has
// it, and optionally one of its entries with a text to find there (a text
// search's match).
struct ViewerTarget {
    std::string archive;     // exact bytes
    std::string entry;       // the entry's name as listed (UTF-8); "" for the first document
    std::string text;        // UTF-8; "" when nothing is to be found
    std::uint64_t line = 0;  // from 1, lines ending at LF; 0 when not known
    bool ignoreCase = false;
};

// The viewer's --help.
extern const std::string_view kViewerUsage;

// The arguments after the viewer's path that ask for target: the archive
// alone when nothing else is asked, else the options, "--" and the archive.
std::vector<std::string> ViewerTargetArguments(const ViewerTarget& target);

struct ViewerCommand {
    enum class Action { Options, Open, Help, Error };
    Action action = Action::Options;
    ViewerTarget target;  // for Open
    std::string error;    // for Error
};

// Reads the arguments after the viewer's path. One argument other than
// -h/--help is the archive whatever it starts with; none opens the options.
ViewerCommand ParseViewerCommandLine(const std::vector<std::string>& arguments);

}  // namespace mervok
