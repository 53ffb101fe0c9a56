#include <gtest/gtest.h>
#include <unistd.h>

#include "search/search_run.h"
#include "support/fakes.h"
#include "support/files.h"

namespace mervok {
namespace {

using namespace mervok::testing;

// The chosen formats as letters: "LZCE" chooses all four.
SearchOptions Chosen(std::string_view formats) {
    SearchOptions options;
    options.searchLha = formats.find('L') != formats.npos;
    options.searchZip = formats.find('Z') != formats.npos;
    options.searchCab = formats.find('C') != formats.npos;
    options.searchExe = formats.find('E') != formats.npos;
    return options;
}

TEST(SearchOptionsTest, UsableFormatsAndTheFilePatternFollowTheLibraryVersions) {
    // Which formats the versions allow is seen through the walk; a negative
    // version is none.
    const UsableFormats none = GetUsableFormats({-1, -1, -1});
    EXPECT_FALSE(none.lha || none.zip || none.cab || none.exe);
    EXPECT_FALSE(AnyChosenFormatUsable(Chosen("LZCE"), {0, 0, 0}));
    EXPECT_FALSE(AnyChosenFormatUsable(Chosen(""), {100, 100, 100}));
    EXPECT_FALSE(AnyChosenFormatUsable(Chosen("Z"), {100, 0, 100}));
    EXPECT_TRUE(AnyChosenFormatUsable(Chosen("CZ"), {0, 100, 0}));
    // One usable format lists its extension, more list everything.
    const LibraryVersions all{100, 100, 100};
    const std::pair<const char*, const char*> patterns[] = {
        {"L", "*.lzh"}, {"Z", "*.zip"}, {"C", "*.cab"}, {"E", "*.exe"}, {"LZ", "*.*"}, {"", ""}};
    for (const auto& [formats, pattern] : patterns) {
        EXPECT_EQ(FilePattern(Chosen(formats), all), pattern) << formats;
    }
    EXPECT_EQ(FilePattern(Chosen("LZ"), {100, 0, 0}), "*.lzh");
}

TEST(SearchOptionsTest, TheFolderTextIsTrimmedOfBlanksAndChecked) {
    EXPECT_EQ(SearchFolderFromText("  /data  "), "/data/");
    EXPECT_EQ(SearchFolderFromText("/"), "/");
    EXPECT_EQ(SearchFolderFromText("   "), "");
    EXPECT_EQ(SearchFolderFromText("\t/data/"), "\t/data/");  // only blanks go
    TempFolder top;
    const std::string file = top.Write("a.txt");
    const std::string folder = top.Folder("sub");
    ASSERT_EQ(symlink("sub", (top.Folder() + "link").c_str()), 0);
    EXPECT_EQ(ExamineFolder(top.Folder() + "link"), FolderState::Folder);
    EXPECT_EQ(ExamineFolder(file), FolderState::NotAFolder);
    EXPECT_EQ(ExamineFolder(top.Folder() + "missing"), FolderState::Unknown);
    EXPECT_EQ(ValidateSearchFolder("   "), FolderProblem::NotGiven);
    EXPECT_EQ(FolderProblemText(FolderProblem::NotGiven), "検索フォルダが入力されていません。");
    EXPECT_EQ(ValidateSearchFolder(file), FolderProblem::NotFound);
    EXPECT_EQ(FolderProblemText(FolderProblem::NotFound), "検索フォルダが見つかりません。");
    EXPECT_EQ(ValidateSearchFolder("  " + folder + " "), std::nullopt);
}

TEST(SearchOptionsTest, ElapsedTimeInWholeSecondsAndWildcardsWithoutRegardToCase) {
    EXPECT_EQ(ElapsedText(std::chrono::milliseconds(499)), "0 sec");
    EXPECT_EQ(ElapsedText(std::chrono::milliseconds(12600)), "13 sec");
    EXPECT_EQ(ElapsedText(std::chrono::hours(25)), "90000 sec");
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"README.LZH", "*.lzh", true},
        {".lzh", "*.lzh", true},
        {"a.lzh.lzh", "*.lzh", true},
        {"data.lzh.bak", "*.lzh", false},
        {"lzh", "*.lzh", false},
        {"noext", "*.*", true},
        {"a.b.c", "*.?", true},
        {"a.bc", "*.?", false},
        {"doc/Manual.Htm", "*.HTM", true},
        {"x.html", "*.HTM", false},
        {"\x83\x65.LZH", "*.lzh", true},
        {"\xe9.zip", "\xc9.zip", false},
    };
    for (const auto& [name, wildcard, matches] : cases) {
        EXPECT_EQ(MatchesWildcard(name, wildcard), matches) << name << " " << wildcard;
    }
}

}  // namespace
}  // namespace mervok
