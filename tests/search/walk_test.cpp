// The walk and the classification over folders in memory, and over real
// ones for what only the kernel decides (links, permissions); the libraries
// are fakes because the walk never calls them.

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/fakes.h"
#include "support/files.h"
#include "support/memory_file_system.h"

namespace mervok {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using namespace mervok::testing;

class WalkTest : public ::testing::Test {
  protected:
    // Over the folder in memory unless another is named.
    SearchOptions Options(bool subfolders = true, std::string folder = kRoot) const {
        SearchOptions options;
        options.searchFolder = std::move(folder);
        options.includeSubfolders = subfolders;
        options.searchLha = options.searchZip = options.searchCab = options.searchExe = true;
        options.skipArchiveCheck = true;
        return options;
    }
    SearchResult Search(const SearchOptions& options, LibraryVersions versions = {100, 100, 100}) {
        StartupValues startup;
        startup.libraries = versions;
        SearchEngine engine(options, startup, set, DocTypeSource{}, cancel, observer);
        if (options.searchFolder == kRoot) {
            engine.SetFileSystem(files);
        }
        return engine.Run();
    }
    std::vector<std::string> Found(const SearchOptions& options,
                                   LibraryVersions versions = {100, 100, 100}) {
        return RelativePaths(Search(options, versions).archives, options.searchFolder);
    }
    std::vector<std::string> Listed() {
        std::vector<std::string> listed;
        for (const auto& access : files.Accesses()) {
            if (access.starts_with("list ")) {
                listed.push_back(access.substr(5));
            }
        }
        return listed;
    }

    static constexpr const char* kRoot = MemoryFileSystem::kRoot;
    MemoryFileSystem files;

    CallLog log;
    FakeArchiver lha{"LHA", log}, zip{"ZIP", log}, cab{"CAB", log};
    ArchiverSet set{&lha, &zip, &cab};
    CancelToken cancel;
    RecordingObserver observer;
};

TEST_F(WalkTest, DepthFirstPreOrderWithEachFoldersOwnFilesFirst) {
    files.Add({"s1/in-s1.lzh", "s2/in-s2.lzh", "s2/deep/in-deep.lzh", "top.lzh", "empty/"});
    const auto result = Search(Options());
    EXPECT_THAT(RelativePaths(result.archives, kRoot),
                ElementsAre("top.lzh", "s1/in-s1.lzh", "s2/in-s2.lzh", "s2/deep/in-deep.lzh"));
    EXPECT_THAT(Listed(), ElementsAre("", "empty/", "s1/", "s2/", "s2/deep/"));
    EXPECT_EQ(result.archives.back().folder.back(), '/');
    EXPECT_EQ(result.outcome, SearchOutcome::Listed);
    EXPECT_THAT(log.calls, IsEmpty());  // nothing is opened without the check
    EXPECT_THAT(Found(Options(false)), ElementsAre("top.lzh"));
}

TEST_F(WalkTest, CandidatesGoByExtensionAndDotFoldersAreNeverEntered) {
    files.Add({"README.LZH", "data.lzh.bak", "lzh", ".zip", "Setup.Exe", "x.cab", "notes.txt",
               ".git/objects/x.zip", "RECYCLED/sub/a.lzh", "old.zip/"});
    auto options = Options();
    options.searchCab = false;
    std::map<std::string, std::string> found;
    for (const auto& archive : Search(options).archives) {
        found[archive.Path().substr(std::string_view(kRoot).size())] =
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
    files.Add({"setup.exe", "data.cab", "b.zip", "a.lzh"});
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
    const std::string path = files.AddFile("a.lzh", 5, 1110153901);  // 2005-03-07 00:05:01 UTC
    const std::string oldTz = std::getenv("TZ") ? std::getenv("TZ") : "UTC0";
    setenv("TZ", "JST-9", 1);
    tzset();
    const auto archives = Search(Options()).archives;
    setenv("TZ", oldTz.c_str(), 1);
    tzset();
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(archives[0].modified, "2005/03/07 09:05:01");
    EXPECT_EQ(archives[0].size, 5);
    EXPECT_EQ(archives[0].folder, kRoot);
    EXPECT_THAT(observer.paths, ElementsAre(path));

    files.AddFile("b.lzh");
    observer.paths.clear();
    observer.candidateCounts.clear();
    auto options = Options();
    options.hideFileNames = true;
    Search(options);
    EXPECT_THAT(observer.paths, ElementsAre("", ""));
    EXPECT_THAT(observer.candidateCounts, ElementsAre(1u, 2u));
}

TEST_F(WalkTest, LinksAreFollowedAndEachFolderIsWalkedOnceUnderTheFirstPathToIt) {
    TempFolder top;
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
    for (const auto& archive : Search(Options(true, top.Folder())).archives) {
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
    files.Add({"first.zip", "s1/gone.zip", "s2/kept.zip"});
    observer.onCandidate = [&](std::string_view path) {
        if (path == kRoot + std::string("first.zip")) {
            files.Remove("s1");
        }
        return ObserverAnswer::Continue;
    };
    EXPECT_THAT(Found(Options()), ElementsAre("first.zip", "s2/kept.zip"));
    observer.onCandidate = nullptr;

    // Searched as an ordinary user, who may not read locked.
    TempFolder top;
    top.Write({"first.zip", "locked/hidden.zip", "locked/sub/deep.zip"});
    ASSERT_EQ(chmod((top.Folder() + "locked").c_str(), 0), 0);
    ASSERT_EQ(chmod(top.Folder().c_str(), 0777), 0);
    EXPECT_EQ(RunUnprivileged([&] {
                  return Found(Options(true, top.Folder())) ==
                         std::vector<std::string>{"first.zip"};
              }),
              1);
}

TEST_F(WalkTest, AbortStopsTheWalkAndLeavesNothingToShow) {
    files.Add({"a1.zip", "a2.zip", "sub/b.zip"});
    observer.onCandidate = [](std::string_view) { return ObserverAnswer::Stop; };
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
    for (int i = 0; i < kCount; ++i) {
        files.AddFile(std::to_string(i) + "/a.zip");
    }
    auto options = Options();
    options.hideFileNames = true;
    EXPECT_EQ(Search(options).archives.size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(observer.candidateCounts.back(), static_cast<std::size_t>(kCount));
}

}  // namespace
}  // namespace mervok
