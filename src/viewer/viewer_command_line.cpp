#include "viewer/viewer_command_line.h"

#include <charconv>

namespace mervok {

const std::string_view kViewerUsage =
    "usage: Quorvix.exe [--entry NAME] [--find TEXT [-i]] [--line N] [--] [ARCHIVE]\n"
    "\n"
    "Shows the documents in ARCHIVE (LHA, ZIP, CAB or a self-extracting program);\n"
    "without ARCHIVE, opens the options.\n"
    "\n"
    "  --entry NAME         show the entry NAME (its name as listed) first\n"
    "  --find TEXT          scroll to the first place TEXT appears and mark it\n"
    "  -i, --ignore-case    with --find, A-Z and full-width Ａ-Ｚ match either case\n"
    "  --line N             look from line N on (lines counted from 1 at each line\n"
    "                       feed); without --find, scroll to line N\n"
    "  -h, --help           print this help\n"
    "\n"
    "With \"PrevInstance\" = 1 in Quorvix.ini, a viewer already running shows the\n"
    "archive, the entry and the text instead.\n";

std::vector<std::string> ViewerTargetArguments(const ViewerTarget& target) {
    std::vector<std::string> arguments;
    if (!target.entry.empty()) {
        arguments.insert(arguments.end(), {"--entry", target.entry});
    }
    if (!target.text.empty()) {
        arguments.insert(arguments.end(), {"--find", target.text});
        if (target.ignoreCase) {
            arguments.emplace_back("-i");
        }
    }
    if (target.line > 0) {
        arguments.insert(arguments.end(), {"--line", std::to_string(target.line)});
    }
    if (!arguments.empty()) {
        arguments.emplace_back("--");
    }
    arguments.push_back(target.archive);
    return arguments;
}

ViewerCommand ParseViewerCommandLine(const std::vector<std::string>& arguments) {
    using Action = ViewerCommand::Action;
    ViewerCommand command;
    const auto fail = [&](std::string error) {
        command.action = Action::Error;
        command.error = std::move(error);
        return command;
    };
    if (arguments.size() == 1 && arguments[0] != "-h" && arguments[0] != "--help") {
        // The search's start: the archive's path, however it is spelled.
        command.action = Action::Open;
        command.target.archive = arguments[0];
        return command;
    }
    bool optionsEnded = false;
    bool archiveGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        const bool option = !optionsEnded && arg.size() > 1 && arg.front() == '-';
        const bool takesValue = option && (arg == "--entry" || arg == "--find" || arg == "--line");
        if (takesValue && i + 1 == arguments.size()) {
            return fail(arg + " needs a value");
        }
        if (!option) {
            if (archiveGiven) {
                return fail("only one archive can be shown");
            }
            command.target.archive = arg;
            archiveGiven = true;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            command.action = Action::Help;
            return command;
        } else if (arg == "-i" || arg == "--ignore-case") {
            command.target.ignoreCase = true;
        } else if (arg == "--entry") {
            command.target.entry = arguments[++i];
        } else if (arg == "--find") {
            command.target.text = arguments[++i];
        } else if (arg == "--line") {
            const std::string& value = arguments[++i];
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), command.target.line);
            if (error != std::errc() || end != value.data() + value.size() ||
                command.target.line == 0) {
                return fail("--line needs a line number from 1");
            }
        } else {
            return fail("unknown option '" + arg + "'");
        }
    }
    const ViewerTarget& target = command.target;
    if (!archiveGiven) {
        if (!target.entry.empty() || !target.text.empty() || target.line > 0 || target.ignoreCase) {
            return fail("--entry, --find, -i and --line need an archive");
        }
        return command;  // the options
    }
    if (target.ignoreCase && target.text.empty()) {
        return fail("-i needs --find");
    }
    command.action = Action::Open;
    return command;
}

}  // namespace mervok
