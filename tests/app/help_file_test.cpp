#include "app/help_file.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace mervok {
namespace {

TEST(HelpFileTest, TopicsBetweenHeadersWithCommentsAndLineEnds) {
    HelpFile help = HelpFile::Parse(
        "# header comment\n"
        "text before any topic is ignored\n"
        "[2]\r\n"
        "\r\n"
        "Title two\r\n"
        "# a comment inside a topic\r\n"
        "line\r\n"
        "\r\n"
        "paragraph\r\n"
        "\r\n"
        "[3]\n"
        "three\n"
        "[ 4 ]\n"
        "still three: a bracket with blanks is text\n"
        "[5]\n"
        "[2]\n"
        "second topic two does not count\n"
        "[12]\n"
        "last, no final line end");
    EXPECT_EQ(help.Topic(2), "Title two\nline\n\nparagraph");
    EXPECT_EQ(help.Topic(3), "three\n[ 4 ]\nstill three: a bracket with blanks is text");
    EXPECT_EQ(help.Topic(4), std::nullopt);
    EXPECT_EQ(help.Topic(5), std::nullopt) << "a topic without text is missing";
    EXPECT_EQ(help.Topic(12), "last, no final line end");
    EXPECT_EQ(help.TopicCount(), 3u);
    EXPECT_EQ(help.TopicOrNoHelp(99), kNoHelpText);
}

TEST(HelpFileTest, MissingOrStrangeFilesGiveNoTopics) {
    EXPECT_EQ(HelpFile::Load("/nonexistent/mervok.hlp").TopicCount(), 0u);
    EXPECT_EQ(HelpFile::Load("/").TopicCount(), 0u);
    const char garbage[] = "\0\xff[2\n]\n[99999999999]\nx";
    EXPECT_EQ(HelpFile::Parse(std::string(garbage, sizeof garbage - 1)).TopicCount(), 0u);
    EXPECT_EQ(HelpFile().TopicOrNoHelp(2), kNoHelpText);
}

TEST(HelpFileTest, PathIsExecutableNameWithHlpBesideIt) {
    EXPECT_EQ(HelpFilePath("/opt/mervok/", "mervok"), "/opt/mervok/mervok.hlp");
    EXPECT_EQ(HelpFilePath("/opt/mervok", "MERVOK.EXE"), "/opt/mervok/MERVOK.hlp");
    EXPECT_EQ(HelpFilePath("/", "a.b.exe"), "/a.b.hlp");
    EXPECT_EQ(HelpFilePath("/x", ".hidden"), "/x/.hidden.hlp");
}

TEST(HelpFileTest, ShippedFileHasEveryTopicOfTheWindow) {
    namespace fs = std::filesystem;
    // The build copies it beside the program as it is.
    fs::path shipped = fs::path(MERVOK_TESTS_SOURCE_DIR).parent_path() / "dist" / "mervok.hlp";
    ASSERT_TRUE(fs::exists(shipped));
    HelpFile help = HelpFile::Load(shipped.string());
    for (int topic = 2; topic <= 15; ++topic) {
        auto text = help.Topic(topic);
        ASSERT_TRUE(text.has_value()) << topic;
        EXPECT_GT(text->size(), 20u) << topic;
    }
    EXPECT_EQ(help.Topic(1), std::nullopt);
    EXPECT_EQ(help.Topic(16), std::nullopt);
}

}  // namespace
}  // namespace mervok
