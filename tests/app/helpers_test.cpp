// The small helpers: colour codec, text trims, program folder, file test.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "app/color_codec.h"
#include "app/file_exists.h"
#include "app/program_folder.h"
#include "app/text_util.h"
#include "support/files.h"

namespace mervok {
namespace {

using namespace std::string_literals;
using testing::RunUnprivileged;
using testing::TempFolder;
using testing::WriteBytes;

TEST(ColorCodecTest, SixHexDigitsRedFirstAndTheValueRedLow) {
    EXPECT_EQ(HexToColor("FF0099"), 0xFF + 0x99 * 65536);
    EXPECT_EQ(HexToColor("aBcDeF"), 0xAB + 0xCD * 256 + 0xEF * 65536);
    EXPECT_EQ(ColorToHex(0x0C0B0A), "0A0B0C");
    EXPECT_EQ(ColorToHex(0x7F0C0B0A), "0A0B0C");  // only the low 24 bits
    EXPECT_EQ(ColorToHex(-1), "FFFFFF");
    for (const std::string& text : {""s, "00660"s, "0066000"s, "GG6600"s, "-10000"s, "+F0000"s,
                                    " 00660"s, "0x00FF"s, "00\0660"s}) {
        EXPECT_EQ(HexToColor(text), -1) << text;
    }
}

TEST(TextUtilTest, TrimAtNullCutsThenTrimsSpacesTrimBlanksKeepsNuls) {
    EXPECT_EQ(TrimAtNull("  C:/Data  \0junk   "s), "C:/Data");
    EXPECT_EQ(TrimAtNull("\tx \t "), "\tx \t");
    EXPECT_EQ(TrimBlanks("a=1\0b=2\0\0   "s), "a=1\0b=2\0\0"s);
    EXPECT_EQ(TrimBlanks(" \t "), "\t");
}

TEST(TextUtilTest, Utf8EncodesWhatItDecodesAtEveryLength) {
    for (const char32_t c : {U'A', U'\u00A2', U'\u301C', U'\U0001F600'}) {
        std::string text;
        AppendUtf8(text, c);
        const auto decoded = DecodeUtf8(text);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->codePoint, c);
        EXPECT_EQ(decoded->length, text.size());
    }
}

TEST(ProgramFolderTest, FilesBesideTheExecutableNotInTheCurrentFolder) {
    EXPECT_EQ(PathInFolder("/opt/mervok", "Mervok.ini"), "/opt/mervok/Mervok.ini");
    EXPECT_EQ(PathInFolder("/opt/mervok/", "Mervok.ini"), "/opt/mervok/Mervok.ini");
    EXPECT_EQ(PathInFolder("/", "Quorvix.ini"), "/Quorvix.ini");
    EXPECT_EQ(WithTrailingSeparator("/"), "/");
    EXPECT_EQ(WithTrailingSeparator("/data"), "/data/");
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path("/");
    const std::string folder = ProgramFolder();
    std::filesystem::current_path(before);
    EXPECT_EQ(ProgramFileName(), "app_tests");
    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "app_tests")) << folder;
}

TEST(FileExistsTest, ReadableRegularFilesOnlyAndThePathLosesQuotesVisibly) {
    TempFolder folder;
    const std::string file = folder.File("Quorvix.ini");
    WriteBytes(file, "[Option]\n");
    ASSERT_EQ(::mkfifo(folder.File("pipe").c_str(), 0666), 0);
    const struct {
        std::string path;
        bool exists;
        std::string after;
    } cases[] = {
        {'"' + file + '"', true, file},
        {'"' + file + "/\"", true, file},
        {'"' + file, false, '"' + file},  // only a pair of quotes goes
        {folder.Path() + "/", false, folder.Path()},
        {folder.File("none"), false, folder.File("none")},
        {folder.File("pipe"), false, folder.File("pipe")},  // and no waiting for a writer
        {"", false, ""},
        {"\"\"", false, ""},
        {"\"", false, "\""},
    };
    for (const auto& c : cases) {
        std::string path = c.path;
        EXPECT_EQ(FileExists(path), c.exists) << c.path;
        EXPECT_EQ(path, c.after);
    }
    ASSERT_EQ(::chmod(file.c_str(), 0200), 0);
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
    EXPECT_EQ(RunUnprivileged([path = file]() mutable { return FileExists(path); }), 0);
}

}  // namespace
}  // namespace mervok
