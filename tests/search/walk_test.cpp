// The walk and the classification over real folders. The archiver libraries
// are fakes here only because the walk never calls them.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "archivers/fake_archiver.h"
#include "search/search_test_support.h"

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
        options.searchFolder = top.Path();
        options.includeSubfolders = subfolders;
        options.searchLha = options.searchZip = options.searchCab = options.searchExe = true;
        options.skipArchiveCheck = true;
        return options;
    }

    SearchResult Search(const SearchOptions& options, LibraryVersions versions = {100, 100, 100}) {
        StartupValues startup;
        startup.libraries = versions;
        SearchEngine engine(options, startup, ArchiverSet{&lha, &zip, &cab}, DocTypeSource{}, abort,
                            observer);
        return engine.Run();
    }

    // Sub-folder names of a folder in the order the file system lists them.
    static std::vector<std::string> ListingOrder(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.is_directory()) {
                names.push_back(entry.path().filename().string());
            }
        }
        return names;
    }

    CallLog log;
    FakeArchiver lha{"LHA", 100, log};
    FakeArchiver zip{"ZIP", 100, log};
    FakeArchiver cab{"CAB", 100, log};
    std::atomic<bool> abort{false};
    RecordingObserver observer;
    TempFolder top;
};

TEST_F(WalkTest, DepthFirstPreOrderWithEachFoldersOwnFilesFirst) {
    for (const char* name : {"s1", "s2", "s3", "s4"}) {
        top.File(std::string(name) + "/in-" + name + ".lzh");
    }
    top.File("s2/deep/in-deep.lzh");
    top.File("top.lzh");

    const auto result = Search(Options());

    std::vector<std::string> expected = {"top.lzh"};
    for (const auto& name : ListingOrder(top.Path())) {
        expected.push_back(name + "/in-" + name + ".lzh");
        if (name == "s2") {
            expected.push_back("s2/deep/in-deep.lzh");
        }
    }
    EXPECT_EQ(RelativePaths(result.archives, top.Path()), expected);
    EXPECT_FALSE(result.walkAborted);
    EXPECT_FALSE(result.checked);
    // Every folder path handed on ends with the separator.
    for (const auto& archive : result.archives) {
        EXPECT_EQ(archive.folder.back(), '/');
    }
    // Nothing opens an archive when the check is switched off.
    EXPECT_THAT(log.Calls(), IsEmpty());
}

TEST_F(WalkTest, WithoutSubfoldersOnlyTheStartFolderIsLookedAt) {
    top.File("a.zip");
    top.File("sub/b.zip");
    EXPECT_THAT(Names(Search(Options(false)).archives), ElementsAre("a.zip"));
}

TEST_F(WalkTest, FoldersBeginningWithADotAreNeverEntered) {
    top.File(".git/objects/x.zip");
    top.File(".hidden/y.zip");
    top.File("visible/z.zip");
    // The rule is about folders: a file whose name starts with a dot counts.
    top.File(".zip");
    EXPECT_THAT(RelativePaths(Search(Options()).archives, top.Path()),
                UnorderedElementsAre(".zip", "visible/z.zip"));
}

TEST_F(WalkTest, RecycleBinTestNeverMatchesPathsWithoutADrive) {
    top.File("RECYCLED/sub/a.cab");
    top.File("Recycler/S-1-5-21/b.cab");
    EXPECT_THAT(RelativePaths(Search(Options()).archives, top.Path()),
                UnorderedElementsAre("RECYCLED/sub/a.cab", "Recycler/S-1-5-21/b.cab"));
}

TEST_F(WalkTest, ClassificationGoesByTheExtensionOnly) {
    top.File("README.LZH");
    top.File("data.lzh.bak");
    top.File("lzh");
    top.File(".zip");
    top.File("Setup.Exe");
    top.File("x.cab");
    top.File("notes.txt");
    top.Folder("old.zip");

    auto options = Options(false);
    options.searchCab = false;
    const auto result = Search(options);

    std::map<std::string, std::string> kinds;
    for (const auto& archive : result.archives) {
        kinds[archive.fileName] = archive.kind;
    }
    EXPECT_EQ(
        kinds,
        (std::map<std::string, std::string>{
            {"README.LZH", "LHA?"}, {".zip", "ZIP?"}, {"Setup.Exe", "SFX?"}, {"old.zip", "ZIP?"}}));
    for (const auto& archive : result.archives) {
        if (archive.fileName == "old.zip") {
            EXPECT_EQ(archive.size, 0);  // a folder has no size in the listing
        } else {
            EXPECT_EQ(archive.size, 1);
        }
    }
}

TEST_F(WalkTest, SelfExtractorsNeedALibraryThatCanRecogniseThem) {
    top.File("setup.exe");
    top.File("data.cab");
    auto options = Options(false);
    EXPECT_THAT(Names(Search(options, {0, 0, 89}).archives), ElementsAre("data.cab"));
    EXPECT_THAT(Names(Search(options, {0, 0, 90}).archives),
                UnorderedElementsAre("data.cab", "setup.exe"));
    EXPECT_THAT(Names(Search(options, {1, 0, 0}).archives), ElementsAre("setup.exe"));
    // A chosen format whose library is absent finds nothing.
    options.searchExe = false;
    EXPECT_THAT(Names(Search(options, {100, 100, 0}).archives), IsEmpty());
}

TEST_F(WalkTest, ALibraryMissingFromTheSetCountsAsAbsent) {
    top.File("a.lzh");
    top.File("b.zip");
    StartupValues startup;
    startup.libraries = {100, 100, 100};
    SearchEngine engine(Options(false), startup, ArchiverSet{nullptr, &zip, nullptr},
                        DocTypeSource{}, abort, observer);
    EXPECT_THAT(Names(engine.Run().archives), ElementsAre("b.zip"));
}

TEST_F(WalkTest, SingleFormatPatternListsOnlyThatExtensionInAnyCase) {
    top.File("README.LZH");
    top.File("b.lzh");
    top.File("c.zip");
    top.File("d.lzh.zip");
    StartupValues startup;
    startup.libraries = {100, 100, 100};
    SearchEngine engine(Options(false), startup, ArchiverSet{&lha, &zip, &cab}, DocTypeSource{},
                        abort, observer);
    engine.ClassifyFiles(top.Path(), "*.lzh");
    EXPECT_THAT(Names(engine.Candidates()), UnorderedElementsAre("README.LZH", "b.lzh"));
}

TEST_F(WalkTest, CandidatesCarrySizeTimeAndAreReportedAsFound) {
    const std::string path = top.File("a.lzh", "12345");
    std::tm when{};
    when.tm_year = 2005 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 7;
    when.tm_hour = 0;
    when.tm_min = 5;
    when.tm_sec = 1;
    const timespec times[2] = {{timegm(&when), 0}, {timegm(&when), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    setenv("TZ", "JST-9", 1);
    tzset();
    const auto tokyo = Search(Options());
    setenv("TZ", "UTC0", 1);
    tzset();
    const auto utc = Search(Options());
    if (oldTz) {
        setenv("TZ", savedTz.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();

    ASSERT_EQ(tokyo.archives.size(), 1u);
    EXPECT_EQ(tokyo.archives[0].modified, "2005/03/07 09:05:01");
    EXPECT_EQ(tokyo.archives[0].size, 5);
    EXPECT_EQ(tokyo.archives[0].folder, top.Path());
    ASSERT_EQ(utc.archives.size(), 1u);
    EXPECT_EQ(utc.archives[0].modified, "2005/03/07 00:05:01");
    EXPECT_EQ(observer.paths.front(), path);
    EXPECT_EQ(observer.candidateCounts.front(), 1u);
}

TEST_F(WalkTest, HiddenFileNamesAreNotReportedButCounted) {
    top.File("a.zip");
    top.File("b.zip");
    auto options = Options();
    options.hideFileNames = true;
    Search(options);
    EXPECT_THAT(observer.paths, ElementsAre("", ""));
    EXPECT_THAT(observer.candidateCounts, ElementsAre(1u, 2u));
}

TEST_F(WalkTest, SizesBeyondFourGigabytesAreKeptWhole) {
    const std::string path = top.File("big.zip", "");
    ASSERT_EQ(truncate(path.c_str(), 3221225472LL), 0);
    const std::string larger = top.File("larger.zip", "");
    ASSERT_EQ(truncate(larger.c_str(), 5LL * 1024 * 1024 * 1024 + 7), 0);
    std::map<std::string, std::int64_t> sizes;
    for (const auto& archive : Search(Options()).archives) {
        sizes[archive.fileName] = archive.size;
    }
    EXPECT_EQ(sizes["big.zip"], 3221225472LL);
    EXPECT_EQ(sizes["larger.zip"], 5368709127LL);
}

TEST_F(WalkTest, LinksToFoldersAreFollowedButALoopEnds) {
    top.File("a/x.zip");
    top.File("b/y.zip");
    ASSERT_EQ(symlink("../a", (top.Path() + "a/again").c_str()), 0);
    ASSERT_EQ(symlink(".", (top.Path() + "a/self").c_str()), 0);
    ASSERT_EQ(symlink("..", (top.Path() + "b/up").c_str()), 0);
    // Not on the way down: a link to a sibling is walked like a folder.
    ASSERT_EQ(symlink("../b", (top.Path() + "a/tob").c_str()), 0);
    // A link to a file is a file, with its target's size.
    ASSERT_EQ(symlink("b/y.zip", (top.Path() + "link.zip").c_str()), 0);
    ASSERT_EQ(symlink("nowhere.zip", (top.Path() + "dangling.zip").c_str()), 0);

    const auto result = Search(Options());

    // a/again, a/self, b/up and a/tob/up lead back to a folder on the way
    // down and are not entered.
    EXPECT_THAT(
        RelativePaths(result.archives, top.Path()),
        UnorderedElementsAre("link.zip", "dangling.zip", "a/x.zip", "a/tob/y.zip", "b/y.zip"));
    for (const auto& archive : result.archives) {
        if (archive.fileName == "link.zip") {
            EXPECT_EQ(archive.size, 1);
        }
    }
}

TEST_F(WalkTest, AFolderRemovedDuringTheWalkIsPassedOverQuietly) {
    top.File("first.zip");
    top.File("s1/gone.zip");
    top.File("s2/kept.zip");
    top.File("s3/kept.zip");
    observer.onCandidate = [&](std::string_view path, std::size_t) {
        if (path == top.Path() + "first.zip") {
            std::filesystem::remove_all(top.Path() + "s1");
        }
    };
    const auto result = Search(Options());
    EXPECT_THAT(RelativePaths(result.archives, top.Path()),
                UnorderedElementsAre("first.zip", "s2/kept.zip", "s3/kept.zip"));
}

TEST_F(WalkTest, NamesKeepTheirExactBytes) {
    // Shift-JIS names, which are not UTF-8.
    const std::string folderName = "\x8e\x9a\x97\xbf";
    const std::string fileName = "\x83\x65\x83\x58\x83\x67.lzh";
    top.File(folderName + "/" + fileName, "abc");
    top.File("plain\xff.zip");

    const auto result = Search(Options());

    ASSERT_EQ(result.archives.size(), 2u);
    for (const auto& archive : result.archives) {
        struct stat info {};
        EXPECT_EQ(stat(archive.Path().c_str(), &info), 0) << archive.Path();
    }
    EXPECT_THAT(RelativePaths(result.archives, top.Path()),
                UnorderedElementsAre(folderName + "/" + fileName, "plain\xff.zip"));
}

TEST_F(WalkTest, UnreadableFolderYieldsNothingAndHidesNothingElse) {
    top.File("a.zip");
    top.File("locked/hidden.zip");
    top.File("locked/sub/deeper.zip");
    top.File("open/b.zip");
    ASSERT_EQ(chmod((top.Path() + "locked").c_str(), 0), 0);
    chmod(top.Path().c_str(), 0755);

    // Permissions do not bind the superuser: search as nobody then.
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(channel[0]);
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(2);
        }
        std::string found;
        for (const auto& archive : Search(Options()).archives) {
            found += archive.Path().substr(top.Path().size()) + "\n";
        }
        const bool written =
            write(channel[1], found.data(), found.size()) == static_cast<ssize_t>(found.size());
        _exit(written ? 0 : 3);
    }
    close(channel[1]);
    std::string found;
    char buffer[256];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) {
        found.append(buffer, static_cast<std::size_t>(n));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (auto end = found.find('\n'); end != std::string::npos; end = found.find('\n', start)) {
        lines.push_back(found.substr(start, end - start));
        start = end + 1;
    }
    EXPECT_THAT(lines, UnorderedElementsAre("a.zip", "open/b.zip"));
}

TEST_F(WalkTest, AbortStopsTheWalkAndLeavesNothingToShow) {
    top.File("a1.zip");
    top.File("a2.zip");
    top.File("a3.zip");
    top.File("sub/b.zip");
    top.File("sub/deeper/c.zip");
    observer.onCandidate = [&](std::string_view, std::size_t) { abort = true; };

    const auto result = Search(Options());

    EXPECT_TRUE(result.walkAborted);
    EXPECT_THAT(result.archives, IsEmpty());
    EXPECT_EQ(observer.paths.size(), 1u);
    EXPECT_EQ(observer.finishes, 1);
    EXPECT_THAT(log.Calls(), IsEmpty());
}

TEST_F(WalkTest, AnAbortBeforeTheRunEntersNoFolder) {
    top.File("a.zip");
    abort = true;
    const auto result = Search(Options());
    EXPECT_TRUE(result.walkAborted);
    EXPECT_THAT(observer.paths, IsEmpty());
}

TEST_F(WalkTest, NoLimitOnSubfoldersOrCandidates) {
    // Past the 16-bit counts of the original: 32,770 folders in one folder,
    // each with a candidate.
    constexpr int kCount = 32770;
    TempFolder fast(FastTempBase());
    for (int i = 0; i < kCount; ++i) {
        const std::string folder = fast.Path() + std::to_string(i);
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
        const int fd = open((folder + "/a.zip").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    auto options = Options();
    options.searchFolder = fast.Path();
    options.hideFileNames = true;
    const auto result = Search(options);
    EXPECT_EQ(result.archives.size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(observer.candidateCounts.back(), static_cast<std::size_t>(kCount));
}

}  // namespace
}  // namespace mervok
