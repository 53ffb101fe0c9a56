#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "search/directory_listing.h"
#include "search/search_options.h"
#include "search/search_run.h"
#include "search/search_test_support.h"

namespace mervok {
namespace {

using namespace mervok::testing;

SearchOptions Chosen(bool lha, bool zip, bool cab, bool exe) {
    SearchOptions options;
    options.searchLha = lha;
    options.searchZip = zip;
    options.searchCab = cab;
    options.searchExe = exe;
    return options;
}

TEST(UsableFormatsTest, SelfExtractorsNeedLhaZipOrCabFrom090) {
    auto usable = GetUsableFormats({0, 0, 89});
    EXPECT_TRUE(usable.cab);
    EXPECT_FALSE(usable.exe);
    usable = GetUsableFormats({0, 0, 90});
    EXPECT_TRUE(usable.cab);
    EXPECT_TRUE(usable.exe);
    usable = GetUsableFormats({5, 0, 0});
    EXPECT_TRUE(usable.lha);
    EXPECT_TRUE(usable.exe);
    EXPECT_FALSE(usable.zip);
    EXPECT_FALSE(usable.cab);
    usable = GetUsableFormats({0, 1, 0});
    EXPECT_TRUE(usable.zip);
    EXPECT_TRUE(usable.exe);
    usable = GetUsableFormats({0, 0, 0});
    EXPECT_FALSE(usable.lha || usable.zip || usable.cab || usable.exe);
    // A version that came back negative is no version.
    usable = GetUsableFormats({-1, -1, -1});
    EXPECT_FALSE(usable.lha || usable.zip || usable.cab || usable.exe);
}

TEST(UsableFormatsTest, ARunNeedsAChosenUsableFormat) {
    EXPECT_FALSE(AnyChosenFormatUsable(Chosen(false, false, false, false), {100, 100, 100}));
    EXPECT_FALSE(AnyChosenFormatUsable(Chosen(true, true, true, true), {0, 0, 0}));
    EXPECT_FALSE(AnyChosenFormatUsable(Chosen(false, false, false, true), {0, 0, 89}));
    EXPECT_TRUE(AnyChosenFormatUsable(Chosen(false, false, true, true), {0, 0, 89}));
    EXPECT_TRUE(AnyChosenFormatUsable(Chosen(false, false, false, true), {0, 0, 90}));
    EXPECT_FALSE(AnyChosenFormatUsable(Chosen(false, true, false, false), {100, 0, 100}));
}

TEST(FilePatternTest, OneFormatListsItsExtensionMoreListEverything) {
    const LibraryVersions all{100, 100, 100};
    EXPECT_EQ(FilePattern(Chosen(true, false, false, false), all), "*.lzh");
    EXPECT_EQ(FilePattern(Chosen(false, true, false, false), all), "*.zip");
    EXPECT_EQ(FilePattern(Chosen(false, false, true, false), all), "*.cab");
    EXPECT_EQ(FilePattern(Chosen(false, false, false, true), all), "*.exe");
    EXPECT_EQ(FilePattern(Chosen(true, true, false, false), all), "*.*");
    EXPECT_EQ(FilePattern(Chosen(true, true, true, true), all), "*.*");
    EXPECT_EQ(FilePattern(Chosen(false, false, false, false), all), "");
    // Formats that cannot be searched do not count.
    EXPECT_EQ(FilePattern(Chosen(true, true, false, false), {100, 0, 0}), "*.lzh");
    EXPECT_EQ(FilePattern(Chosen(false, false, true, true), {0, 0, 89}), "*.cab");
}

TEST(SearchFolderTest, BlanksAreTrimmedAndOneSeparatorEnds) {
    EXPECT_EQ(SearchFolderFromText("  /data  "), "/data/");
    EXPECT_EQ(SearchFolderFromText("/data/"), "/data/");
    EXPECT_EQ(SearchFolderFromText("/"), "/");
    EXPECT_EQ(SearchFolderFromText("   "), "");
    // Only blanks are trimmed.
    EXPECT_EQ(SearchFolderFromText("\t/data"), "\t/data/");
}

TEST(FolderExistsTest, FolderFileOrNothing) {
    TempFolder top;
    const std::string file = top.File("a.txt");
    const std::string folder = top.Folder("sub");
    EXPECT_EQ(FolderExists(folder), 1);
    EXPECT_EQ(FolderExists(top.Path() + "sub"), 1);
    EXPECT_EQ(FolderExists(file), 2);
    EXPECT_EQ(FolderExists(top.Path() + "missing"), 0);
    EXPECT_EQ(FolderExists(""), 0);
    ASSERT_EQ(symlink("sub", (top.Path() + "link").c_str()), 0);
    EXPECT_EQ(FolderExists(top.Path() + "link"), 1);

    EXPECT_EQ(ValidateSearchFolder("   "), "検索フォルダが入力されていません。");
    EXPECT_EQ(ValidateSearchFolder(""), "検索フォルダが入力されていません。");
    EXPECT_EQ(ValidateSearchFolder(file), "検索フォルダが見つかりません。");
    EXPECT_EQ(ValidateSearchFolder(top.Path() + "missing"), "検索フォルダが見つかりません。");
    EXPECT_EQ(ValidateSearchFolder("  " + folder + " "), "");
}

TEST(ElapsedTextTest, WholeSecondsRoundedToTheNearest) {
    using std::chrono::milliseconds;
    EXPECT_EQ(ElapsedText(milliseconds(0)), "0 sec");
    EXPECT_EQ(ElapsedText(milliseconds(499)), "0 sec");
    EXPECT_EQ(ElapsedText(milliseconds(12400)), "12 sec");
    EXPECT_EQ(ElapsedText(milliseconds(12600)), "13 sec");
    EXPECT_EQ(ElapsedText(std::chrono::hours(25)), "90000 sec");
}

TEST(WildcardTest, CaseIsIgnoredAndStarDotStarMatchesAll) {
    EXPECT_TRUE(MatchesWildcard("README.LZH", "*.lzh"));
    EXPECT_TRUE(MatchesWildcard("a.lzh", "*.LZH"));
    EXPECT_TRUE(MatchesWildcard(".lzh", "*.lzh"));
    EXPECT_FALSE(MatchesWildcard("data.lzh.bak", "*.lzh"));
    EXPECT_FALSE(MatchesWildcard("lzh", "*.lzh"));
    EXPECT_TRUE(MatchesWildcard("a.lzh.lzh", "*.lzh"));
    EXPECT_TRUE(MatchesWildcard("noext", "*.*"));
    EXPECT_TRUE(MatchesWildcard("noext", "*"));
    EXPECT_TRUE(MatchesWildcard("a.b.c", "*.?"));
    EXPECT_FALSE(MatchesWildcard("a.bc", "*.?"));
    EXPECT_TRUE(MatchesWildcard("doc/Manual.Htm", "*.HTM"));
    EXPECT_FALSE(MatchesWildcard("x.html", "*.HTM"));
    // Bytes above ASCII compare as they are.
    EXPECT_TRUE(MatchesWildcard("\x83\x65.LZH", "*.lzh"));
    EXPECT_FALSE(MatchesWildcard("\xe9.zip", "\xc9.zip"));
}

TEST(LocalTimeTextTest, FixedWidthFieldsInLocalTime) {
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    setenv("TZ", "UTC0", 1);
    tzset();
    EXPECT_EQ(LocalTimeText(0), "1970/01/01 00:00:00");
    EXPECT_EQ(LocalTimeText(1110186301), "2005/03/07 09:05:01");
    setenv("TZ", "EST5", 1);
    tzset();
    EXPECT_EQ(LocalTimeText(1110186301), "2005/03/07 04:05:01");
    if (oldTz) {
        setenv("TZ", savedTz.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

}  // namespace
}  // namespace mervok
