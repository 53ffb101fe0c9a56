// The walk and the classification over real folders; the libraries are fakes
// because the walk never calls them.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/fakes.h"
#include "support/files.h"

namespace mervok {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using namespace mervok::testing;

class WalkTest : public ::testing::Test {
  protected:
    SearchOptions Options(bool subfolders = true) const {
        SearchOptions options;
        options.searchFolder = top.Folder();
        options.includeSubfolders = subfolders;
        options.searchLha = options.searchZip = options.searchCab = options.searchExe = true;
        options.skipArchiveCheck = true;
        return options;
    }
    SearchResult Search(const SearchOptions& options, LibraryVersions versions = {100, 100, 100}) {
        StartupValues startup;
        startup.libraries = versions;
        return SearchEngine(options, startup, set, DocTypeSource{}, abort, observer).Run();
    }
    std::vector<std::string> Found(const SearchOptions& options,
                                   LibraryVersions versions = {100, 100, 100}) {
        return RelativePaths(Search(options, versions).archives, top.Folder());
    }

    CallLog log;
    FakeArchiver lha{"LHA", log}, zip{"ZIP", log}, cab{"CAB", log};
    ArchiverSet set{&lha, &zip, &cab};
    std::atomic<bool> abort{false};
    RecordingObserver observer;
    TempFolder top;
};

TEST_F(WalkTest, DepthFirstPreOrderWithEachFoldersOwnFilesFirst) {
    top.Write({"s1/in-s1.lzh", "s2/in-s2.lzh", "s2/deep/in-deep.lzh", "top.lzh"});
    const auto result = Search(Options());
    EXPECT_THAT(RelativePaths(result.archives, top.Folder()),
                ::testing::AnyOf(
                    ElementsAre("top.lzh", "s1/in-s1.lzh", "s2/in-s2.lzh", "s2/deep/in-deep.lzh"),
                    ElementsAre("top.lzh", "s2/in-s2.lzh", "s2/deep/in-deep.lzh", "s1/in-s1.lzh")));
    EXPECT_EQ(result.archives.back().folder.back(), '/');
    EXPECT_EQ(result.outcome, SearchOutcome::Listed);
    EXPECT_THAT(log.calls, IsEmpty());  // nothing is opened without the check
    EXPECT_THAT(Found(Options(false)), ElementsAre("top.lzh"));
}

TEST_F(WalkTest, CandidatesGoByExtensionAndDotFoldersAreNeverEntered) {
    top.Write({"README.LZH", "data.lzh.bak", "lzh", ".zip", "Setup.Exe", "x.cab", "notes.txt",
               ".git/objects/x.zip", "RECYCLED/sub/a.lzh"});
    top.Folder("old.zip");
    auto options = Options();
    options.searchCab = false;
    std::map<std::string, std::string> found;
    for (const auto& archive : Search(options).archives) {
        found[archive.Path().substr(top.Folder().size())] =
            std::string(KindLabel(archive)) + " " + std::to_string(archive.size);
    }
    // A folder has no size in the listing; a recycle bin needs a drive letter.
    EXPECT_EQ(found, (std::map<std::string, std::string>{{"README.LZH", "LHA? 1"},
                                                         {".zip", "ZIP? 1"},
                                                         {"Setup.Exe", "SFX? 1"},
                                                         {"old.zip", "ZIP? 0"},
                                                         {"RECYCLED/sub/a.lzh", "LHA? 1"}}));
    options.searchZip = options.searchExe = false;
    EXPECT_THAT(Found(options), UnorderedElementsAre("README.LZH", "RECYCLED/sub/a.lzh"));
}

TEST_F(WalkTest, AFormatCountsOnlyWithALibraryThatCanReadIt) {
    top.Write({"setup.exe", "data.cab", "b.zip", "a.lzh"});
    // Self-extracting cabinets need a CAB library from 0.90 on.
    const std::pair<LibraryVersions, std::vector<std::string>> cases[] = {
        {{0, 0, 89}, {"data.cab"}},
        {{0, 0, 90}, {"data.cab", "setup.exe"}},
        {{1, 0, 0}, {"a.lzh", "setup.exe"}},
        {{0, 1, 0}, {"b.zip", "setup.exe"}},
    };
    for (const auto& [versions, names] : cases) {
        EXPECT_THAT(Found(Options(false), versions), ::testing::UnorderedElementsAreArray(names));
    }
    set = {nullptr, &zip, nullptr};  // absent, whatever its version says
    EXPECT_THAT(Found(Options(false)), UnorderedElementsAre("b.zip", "setup.exe"));
}

TEST_F(WalkTest, CandidatesCarrySizeAndLocalTimeAndAreReportedOneByOne) {
    const std::string path = top.Write("a.lzh", "12345");
    const timespec when[2] = {{1110153901, 0}, {1110153901, 0}};  // 2005-03-07 00:05:01 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), when, 0), 0);
    const std::string oldTz = std::getenv("TZ") ? std::getenv("TZ") : "UTC0";
    setenv("TZ", "JST-9", 1);
    tzset();
    const auto archives = Search(Options()).archives;
    setenv("TZ", oldTz.c_str(), 1);
    tzset();
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(archives[0].modified, "2005/03/07 09:05:01");
    EXPECT_EQ(archives[0].size, 5);
    EXPECT_EQ(archives[0].folder, top.Folder());
    EXPECT_THAT(observer.paths, ElementsAre(path));

    top.Write("b.lzh");
    observer.paths.clear();
    observer.candidateCounts.clear();
    auto options = Options();
    options.hideFileNames = true;
    Search(options);
    EXPECT_THAT(observer.paths, ElementsAre("", ""));
    EXPECT_THAT(observer.candidateCounts, ElementsAre(1u, 2u));
}

TEST_F(WalkTest, LinksAreFollowedAndEachFolderIsWalkedOnceUnderTheFirstPathToIt) {
    top.Write({"a/x.zip", "b/y.zip"});
    // Back to a folder on the way down: never entered. To a sibling: b is
    // walked once, as a/tob when a is listed first, else as itself.
    const std::pair<const char*, const char*> links[] = {
        {"../a", "a/again"}, {".", "a/self"},         {"..", "b/up"},
        {"../b", "a/tob"},   {"b/y.zip", "link.zip"}, {"nowhere.zip", "dangling.zip"}};
    for (const auto& [target, link] : links) {
        ASSERT_EQ(symlink(target, (top.Folder() + link).c_str()), 0);
    }
    std::vector<std::string> listed;
    DirectoryListing listing;
    ASSERT_TRUE(listing.Open(top.Folder(), "?"));
    while (listing.Next()) {
        listed.emplace_back(listing.Name());
    }
    const bool aFirst = listed.front() == "a";
    std::map<std::string, std::int64_t> found;
    for (const auto& archive : Search(Options()).archives) {
        found[archive.Path().substr(top.Folder().size())] = archive.size;
    }
    // A link to a file has its target's size.
    EXPECT_EQ(found,
              (std::map<std::string, std::int64_t>{{"link.zip", 1},
                                                   {"dangling.zip", 11},
                                                   {"a/x.zip", 1},
                                                   {aFirst ? "a/tob/y.zip" : "b/y.zip", 1}}));
}

TEST_F(WalkTest, VanishedOrUnreadableFoldersArePassedOverQuietly) {
    top.Write(
        {"first.zip", "s1/gone.zip", "s2/kept.zip", "locked/hidden.zip", "locked/sub/deep.zip"});
    // Searched as an ordinary user, who may remove s1 but not read locked.
    ASSERT_EQ(chmod((top.Folder() + "locked").c_str(), 0), 0);
    ASSERT_EQ(chmod((top.Folder() + "s1").c_str(), 0777), 0);
    ASSERT_EQ(chmod(top.Folder().c_str(), 0777), 0);
    observer.onCandidate = [&](std::string_view path) {
        std::error_code ignored;
        if (path == top.Folder() + "first.zip") {
            std::filesystem::remove_all(top.Folder() + "s1", ignored);
        }
    };
    EXPECT_EQ(RunUnprivileged([&] {
                  return Found(Options()) == std::vector<std::string>{"first.zip", "s2/kept.zip"};
              }),
              1);
}

TEST_F(WalkTest, AbortStopsTheWalkAndLeavesNothingToShow) {
    top.Write({"a1.zip", "a2.zip", "sub/b.zip"});
    observer.onCandidate = [&](std::string_view) { abort = true; };
    auto result = Search(Options());
    EXPECT_EQ(result.outcome, SearchOutcome::WalkAborted);
    EXPECT_THAT(result.archives, IsEmpty());
    EXPECT_EQ(observer.paths.size(), 1u);
    EXPECT_EQ(observer.finishes, 1);
    // An abort before the run enters no folder.
    result = Search(Options());
    EXPECT_EQ(result.outcome, SearchOutcome::WalkAborted);
    EXPECT_EQ(observer.paths.size(), 1u);
}

TEST_F(WalkTest, NoLimitOnSubfoldersOrCandidates) {
    // Past the 16-bit counts of old: 32,770 folders in one, each with a candidate.
    constexpr int kCount = 32770;
    TempFolder fast(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp");
    for (int i = 0; i < kCount; ++i) {
        const std::string folder = fast.Folder() + std::to_string(i);
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        ASSERT_EQ(close(open((folder + "/a.zip").c_str(), O_CREAT | O_WRONLY, 0644)), 0);
    }
    auto options = Options();
    options.searchFolder = fast.Folder();
    options.hideFileNames = true;
    EXPECT_EQ(Search(options).archives.size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(observer.candidateCounts.back(), static_cast<std::size_t>(kCount));
}

}  // namespace
}  // namespace mervok
