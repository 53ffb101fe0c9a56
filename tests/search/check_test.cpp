// The document check against fake libraries: versions, busy libraries and the
// order of calls, which real libraries cannot show.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/fakes.h"
#include "support/files.h"

namespace mervok {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace mervok::testing;
using enum ArchiveKind;

const std::string kList = "*.TXT *.HLP *.DOC *.HTM *.HTML *.CHM";
const std::string kFind = "FindFirst " + kList;

class CheckTest : public ::testing::Test {
  protected:
    // A candidate file that the given fake knows, holding entries.
    void Add(const std::string& name, ArchiveKind kind, FakeArchiver* library = nullptr,
             std::vector<std::string> entries = {"a.txt"}, bool opens = true) {
        candidates.push_back({top.Folder(), name, 1, kind, "", true});
        top.Write(name);
        if (library) {
            library->archives[top.Folder() + name] = {true, opens, std::move(entries)};
        }
    }
    // Checks the candidates; the kinds afterwards.
    std::vector<std::string> Check(int threads = 1) {
        StartupValues startup;
        startup.libraries = versions;
        startup.viewerVersion = 100;
        SearchEngine engine({}, startup, {&lha, &zip, &cab}, {}, abort, observer);
        engine.SetCheckThreads(threads);
        engine.SetRunningPollLimit(3);
        engine.SetWindow(&window);
        engine.Candidates() = candidates;
        engine.CheckDocuments();
        hits = engine.Hits();
        std::vector<std::string> kinds;
        for (const auto& candidate : engine.Candidates()) {
            kinds.emplace_back(KindLabel(candidate));
        }
        return kinds;
    }
    // The calls after the libraries have been readied.
    std::vector<std::string> LookUps() const {
        std::vector<std::string> calls;
        for (const auto& call : log.calls) {
            if (call.find("Running") == std::string::npos && call.find("Cursor") == call.npos) {
                calls.push_back(call);
            }
        }
        return calls;
    }

    TempFolder top;
    CallLog log;
    FakeArchiver lha{"LHA", log}, zip{"ZIP", log}, cab{"CAB", log};
    LibraryVersions versions{100, 100, 100};
    std::atomic<bool> abort{false};
    RecordingObserver observer;
    int window = 0;
    std::vector<FoundArchive> candidates;
    std::vector<FoundArchive> hits;
};

TEST_F(CheckTest, LibrariesAreReadiedInOrderABusyOneOnlySoLongAndAbsentOnesNever) {
    versions.cab = 0;
    lha.busyPolls = -1;
    zip.cursorMode = 1;
    Add("a.lzh", Lha, &lha);
    EXPECT_THAT(Check(), ElementsAre("LHA"));
    EXPECT_THAT(log.calls, ElementsAre("LHA.GetRunning", "LHA.GetRunning", "LHA.GetRunning",
                                       "LHA.GetCursorMode", "ZIP.GetRunning", "ZIP.GetCursorMode",
                                       "ZIP.SetCursorMode 0", "LHA.OpenArchive a.lzh 8388608",
                                       "LHA." + kFind, "LHA.CloseArchive"));
    EXPECT_EQ(lha.lastWindow, &window);
}

TEST_F(CheckTest, LhaAndZipGetTheWholeListInOneCallAndAFailedOpenClosesZero) {
    Add("good.lzh", Lha, &lha, {"PROG.EXE", "doc/Manual.Htm"});
    Add("prog.lzh", Lha, &lha, {"PROG.EXE"});
    Add("broken.lzh", Lha, &lha, {}, false);
    Add("readme.zip", Zip, &zip);
    Add("unknown.zip", Zip);
    EXPECT_THAT(Check(), ElementsAre("LHA", "", "", "ZIP", ""));
    EXPECT_THAT(
        LookUps(),
        ElementsAre("LHA.OpenArchive good.lzh 8388608", "LHA." + kFind, "LHA.CloseArchive",
                    "LHA.OpenArchive prog.lzh 8388608", "LHA." + kFind, "LHA.CloseArchive",
                    "LHA.OpenArchive broken.lzh 8388608", "LHA.CloseArchive 0",
                    "ZIP.OpenArchive readme.zip 8388608", "ZIP." + kFind, "ZIP.CloseArchive",
                    "ZIP.OpenArchive unknown.zip 8388608", "ZIP.CloseArchive 0"));
    EXPECT_THAT(RelativePaths(hits, top.Folder()), ElementsAre("good.lzh", "readme.zip"));
    EXPECT_THAT(observer.checkedCounts, ElementsAre(1u, 2u, 3u, 4u, 5u));
    EXPECT_THAT(observer.hitCounts, ElementsAre(1u, 2u));
    EXPECT_EQ(lha.openHandles + zip.openHandles, 0);
}

TEST_F(CheckTest, CabGetsOneWildcardPerCallUntilOneMatches) {
    Add("manual.cab", Cab, &cab, {"manual.htm"});
    Add("tools.cab", Cab, &cab, {"tool.dll"});
    EXPECT_THAT(Check(), ElementsAre("CAB", ""));
    EXPECT_THAT(
        LookUps(),
        ElementsAre("CAB.OpenArchive manual.cab 8388608", "CAB.FindFirst *.TXT",
                    "CAB.FindFirst *.HLP", "CAB.FindFirst *.DOC", "CAB.FindFirst *.HTM",
                    "CAB.CloseArchive", "CAB.OpenArchive tools.cab 8388608", "CAB.FindFirst *.TXT",
                    "CAB.FindFirst *.HLP", "CAB.FindFirst *.DOC", "CAB.FindFirst *.HTM",
                    "CAB.FindFirst *.HTML", "CAB.FindFirst *.CHM", "CAB.CloseArchive"));
}

TEST_F(CheckTest, SelfExtractorsGoFromLibraryToLibraryUntilOneRecognisesAndOpensThem) {
    // Recognised and opened by LHA without a document: that is the answer.
    Add("setup.exe", Sfx, &lha, {"PROG.EXE"});
    zip.archives[top.Folder() + "setup.exe"] = {true, true, {"readme.txt"}};
    Add("zipsfx.exe", Sfx, &zip);
    // Recognised by LHA, which cannot open it: on to the next one.
    Add("cabsfx.exe", Sfx, &lha, {}, false);
    cab.archives[top.Folder() + "cabsfx.exe"] = {true, true, {"help.hlp"}};
    Add("lhasfx.exe", Sfx, &lha, {"read.me", "INFO.DOC"});
    EXPECT_THAT(Check(), ElementsAre("", "ZIP-SFX", "CAB-SFX", "LHA-SFX"));
    EXPECT_THAT(
        LookUps(),
        ElementsAre("LHA.CheckArchive setup.exe 0", "LHA.OpenArchive setup.exe 8388608",
                    "LHA." + kFind, "LHA.CloseArchive", "LHA.CheckArchive zipsfx.exe 0",
                    "ZIP.CheckArchive zipsfx.exe 0", "ZIP.OpenArchive zipsfx.exe 8388608",
                    "ZIP." + kFind, "ZIP.CloseArchive", "LHA.CheckArchive cabsfx.exe 0",
                    "LHA.OpenArchive cabsfx.exe 8388608", "LHA.CloseArchive 0",
                    "ZIP.CheckArchive cabsfx.exe 0", "CAB.CheckArchive cabsfx.exe 0",
                    "CAB.OpenArchive cabsfx.exe 8388608", "CAB.FindFirst *.TXT",
                    "CAB.FindFirst *.HLP", "CAB.CloseArchive", "LHA.CheckArchive lhasfx.exe 0",
                    "LHA.OpenArchive lhasfx.exe 8388608", "LHA." + kFind, "LHA.CloseArchive"));
}

TEST_F(CheckTest, SelfExtractingCabNeedsVersion90AndAbsentLibrariesAreNeverCalled) {
    Add("sfx.exe", Sfx, &cab, {"help.hlp"});
    Add("plain.cab", Cab, &cab);
    zip.archives[top.Folder() + "sfx.exe"] = {false, true, {}};
    const std::tuple<LibraryVersions, std::vector<std::string>, const char*> cases[] = {
        {{100, 100, 89}, {"", "CAB"}, "CAB.CheckArchive"},
        {{100, 100, 90}, {"CAB-SFX", "CAB"}, "-"},
        {{100, 100, 0}, {"", ""}, "CAB."},
        {{0, 100, 90}, {"CAB-SFX", "CAB"}, "LHA."},
    };
    for (const auto& [given, kinds, never] : cases) {
        log.calls.clear();
        versions = given;
        EXPECT_EQ(Check(), kinds) << never;
        for (const auto& call : log.calls) {
            EXPECT_NE(call.rfind(never, 0), 0u) << call;
        }
    }
}

TEST_F(CheckTest, TwoThreadsGiveTheHitsInCandidateOrder) {
    // The second look-up finishes before the first one answers.
    std::atomic<bool> secondDone{false};
    std::atomic<bool> firstWaited{false};
    lha.onFindFirst = [&](const std::string& path) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (path.ends_with("/0.lzh") && !secondDone &&
               std::chrono::steady_clock::now() < limit) {
            std::this_thread::yield();
        }
        if (path.ends_with("/0.lzh")) {
            firstWaited = secondDone.load();
        } else if (path.ends_with("/1.lzh")) {
            secondDone = true;
        }
    };
    for (int i = 0; i < 8; ++i) {
        Add(std::to_string(i) + ".lzh", Lha, &lha, {i % 3 == 2 ? "a.bin" : "a.txt"});
    }
    Check(2);
    EXPECT_TRUE(firstWaited);
    EXPECT_THAT(RelativePaths(hits, top.Folder()),
                ElementsAre("0.lzh", "1.lzh", "3.lzh", "4.lzh", "6.lzh", "7.lzh"));
    EXPECT_THAT(observer.checkedCounts, ElementsAre(1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u));
    EXPECT_THAT(observer.hitCounts, ElementsAre(1u, 2u, 3u, 4u, 5u, 6u));
    EXPECT_EQ(lha.openHandles, 0);
}

TEST_F(CheckTest, AnAbortInTheCheckListsTheHitsFoundUpToWhereTheCountsStood) {
    for (int i = 0; i < 1000; ++i) {
        Add(std::to_string(i) + ".lzh", Lha, &lha);
    }
    const auto run = [&](const std::string& folder, int threads) {
        SearchOptions options;
        options.searchFolder = folder;
        options.searchLha = true;
        StartupValues startup;
        startup.libraries = versions;
        SearchEngine engine(options, startup, {&lha, &zip, &cab}, {}, abort, observer);
        engine.SetCheckThreads(threads);
        return engine.Run();
    };
    // An abort at the tenth hit of a thousand: one thread stops there, two
    // may not run far ahead of the hits handed on.
    observer.onHit = [&](std::size_t count) { abort = abort || count == 10; };
    for (const auto& [threads, most] : {std::pair{1, 10u}, std::pair{2, 14u}}) {
        abort = false;
        const auto result = run(top.Folder(), threads);
        EXPECT_EQ(result.outcome, SearchOutcome::CheckAborted);
        EXPECT_GE(result.archives.size(), 10u);
        EXPECT_LE(result.archives.size(), most) << threads;
    }
    EXPECT_EQ(observer.finishes, 2);
    EXPECT_EQ(lha.openHandles, 0);
    // Without candidates there is no check at all.
    TempFolder none;
    none.Write("readme.txt");
    log.calls.clear();
    abort = false;
    EXPECT_EQ(run(none.Folder(), 2).outcome, SearchOutcome::Listed);
    EXPECT_THAT(log.calls, IsEmpty());
}

TEST(DocumentWildcardsTest, TxtThenTheViewersTypesFromVersion100OrAFixedList) {
    EXPECT_EQ(DocumentWildcards(100, {}), kList);
    int reads = 0;
    DocTypeSource source{[&] { return ++reads, std::string("  pdf   rtf  \0junk", 18); }, {}};
    EXPECT_EQ(DocumentWildcards(123, source), "*.TXT *.pdf *.rtf");
    EXPECT_EQ(DocumentWildcards(99, source), "*.TXT");  // older than 1.00, or unknown
    EXPECT_EQ(DocumentWildcards(0, source), "*.TXT");
    EXPECT_EQ(reads, 1);
    source.read = [] { return std::string("   "); };
    EXPECT_EQ(DocumentWildcards(100, source), "*.TXT");
    // A fixed list replaces both the value and the version gate; only the
    // blank separates words, which are kept as they are.
    source.fixed = " .md a.b\tc TXT  TXT ";
    EXPECT_EQ(DocumentWildcards(0, source), "*.TXT *..md *.a.b\tc *.TXT *.TXT");
    EXPECT_EQ(BuildDocPatterns("HLP DOC"), "*.HLP *.DOC");
}

}  // namespace
}  // namespace mervok
