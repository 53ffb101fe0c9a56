#include "viewer/viewer_command_line.h"

#include <gtest/gtest.h>

namespace mervok {
namespace {

using Action = ViewerCommand::Action;

TEST(ViewerCommandLineTest, ATargetComesBackWhateverItsPartsLookLike) {
    // Parts that look like options, blanks, a name with a CR: each is taken
    // as the value it is, and the archive alone stays one argument.
    const ViewerTarget targets[] = {
        {"/arc/a b.zip", "", "", 0, false},
        {"-x.zip", "--find", "-i", 12, true},
        {"--help", "docs/設定\r.txt", "--", 1, false},
        {"/arc/c.lzh", "", "", 7, false},
    };
    for (const ViewerTarget& target : targets) {
        SCOPED_TRACE(target.archive);
        const std::vector<std::string> arguments = ViewerTargetArguments(target);
        EXPECT_EQ(arguments.size() == 1, target.entry.empty() && target.line == 0);
        const ViewerCommand command = ParseViewerCommandLine(arguments);
        ASSERT_EQ(command.action, Action::Open) << command.error;
        EXPECT_EQ(command.target.archive, target.archive);
        EXPECT_EQ(command.target.entry, target.entry);
        EXPECT_EQ(command.target.text, target.text);
        EXPECT_EQ(command.target.line, target.line);
        EXPECT_EQ(command.target.ignoreCase, target.ignoreCase);
    }
    EXPECT_EQ(ParseViewerCommandLine({}).action, Action::Options);
    EXPECT_EQ(ParseViewerCommandLine({"-h"}).action, Action::Help);
    EXPECT_EQ(ParseViewerCommandLine({"-i"}).target.archive, "-i");  // the one-argument start
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {"--line", "0", "a.zip"},
             {"--line", "12x", "a.zip"},
             {"--line", "99999999999999999999", "a.zip"},
             {"a.zip", "--find"},
             {"-i", "a.zip"},
             {"a.zip", "b.zip"},
             {"--entry", "A.TXT"},
             {"--colour", "a.zip"},
         }) {
        SCOPED_TRACE(wrong[0] + " " + wrong[1]);
        const ViewerCommand command = ParseViewerCommandLine(wrong);
        EXPECT_EQ(command.action, Action::Error);
        EXPECT_FALSE(command.error.empty());
    }
}

}  // namespace
}  // namespace mervok
