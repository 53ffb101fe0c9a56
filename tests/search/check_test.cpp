// The document check against fake libraries: versions, busy libraries and the
// order of calls, which real libraries cannot show.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "archivers/fake_archiver.h"
#include "search/search_test_support.h"

namespace mervok {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using namespace mervok::testing;

constexpr const char* kDefaultList = "*.TXT *.HLP *.DOC *.HTM *.HTML *.CHM";

// Waits for a condition another thread makes true; gives up after a while so
// that a broken engine fails the test instead of hanging it.
template <typename Condition>
bool WaitFor(Condition condition) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

class CheckTest : public ::testing::Test {
  protected:
    void Add(const std::string& name, const std::string& kind) {
        FoundArchive candidate;
        candidate.folder = "/arc/";
        candidate.fileName = name;
        candidate.kind = kind;
        candidates.push_back(candidate);
    }

    std::unique_ptr<SearchEngine> MakeEngine(int threads = 1) {
        StartupValues startup;
        startup.libraries = versions;
        startup.viewerVersion = viewerVersion;
        auto engine = std::make_unique<SearchEngine>(
            SearchOptions{}, startup, ArchiverSet{&lha, &zip, &cab}, docTypes, abort, observer);
        engine->SetCheckThreads(threads);
        engine->Candidates() = candidates;
        return engine;
    }

    // Checks the candidates on one thread; the kinds afterwards.
    std::vector<std::string> Check() {
        auto engine = MakeEngine();
        engine->CheckDocuments();
        hits = engine->Hits();
        std::vector<std::string> kinds;
        for (const auto& candidate : engine->Candidates()) {
            kinds.push_back(candidate.kind);
        }
        return kinds;
    }

    // The calls after the preparation of the libraries.
    std::vector<std::string> LookUpCalls() const {
        std::vector<std::string> calls;
        for (const auto& call : log.Calls()) {
            if (call.find("GetRunning") == std::string::npos &&
                call.find("CursorMode") == std::string::npos) {
                calls.push_back(call);
            }
        }
        return calls;
    }

    CallLog log;
    FakeArchiver lha{"LHA", 100, log};
    FakeArchiver zip{"ZIP", 100, log};
    FakeArchiver cab{"CAB", 100, log};
    LibraryVersions versions{100, 100, 100};
    std::int32_t viewerVersion = 100;
    DocTypeSource docTypes;
    std::atomic<bool> abort{false};
    RecordingObserver observer;
    std::vector<FoundArchive> candidates;
    std::vector<FoundArchive> hits;
};

TEST_F(CheckTest, LibrariesAreReadiedInOrderAndAbsentOnesNeverCalled) {
    versions.cab = 0;
    lha.busyPolls = 2;
    zip.cursorMode = 1;
    lha.archives["/arc/a.lzh"] = {true, true, {"README.TXT"}};
    Add("a.lzh", "LHA?");

    EXPECT_THAT(Check(), ElementsAre("LHA"));
    EXPECT_THAT(log.Calls(),
                ElementsAre("LHA.GetRunning", "LHA.GetRunning", "LHA.GetRunning",
                            "LHA.GetCursorMode", "ZIP.GetRunning", "ZIP.GetCursorMode",
                            "ZIP.SetCursorMode 0", "LHA.OpenArchive /arc/a.lzh 8388608",
                            std::string("LHA.FindFirst ") + kDefaultList, "LHA.CloseArchive"));
}

TEST_F(CheckTest, ABusyLibraryIsWaitedForOnlySoLong) {
    lha.busyPolls = -1;
    lha.archives["/arc/a.lzh"] = {true, true, {"a.txt"}};
    Add("a.lzh", "LHA?");
    auto engine = MakeEngine();
    engine->SetRunningPollLimit(50);
    engine->CheckDocuments();

    const auto calls = log.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "LHA.GetRunning"), 50);
    EXPECT_EQ(engine->Hits().size(), 1u);
}

TEST_F(CheckTest, LhaAndZipGetTheWholeListInOneCall) {
    lha.archives["/arc/good.lzh"] = {true, true, {"PROG.EXE", "doc/Manual.Htm"}};
    lha.archives["/arc/prog.lzh"] = {true, true, {"PROG.EXE"}};
    lha.archives["/arc/broken.lzh"] = {true, false, {}};
    zip.archives["/arc/readme.zip"] = {true, true, {"readme.txt"}};
    Add("good.lzh", "LHA?");
    Add("prog.lzh", "LHA?");
    Add("broken.lzh", "LHA?");
    Add("readme.zip", "ZIP?");
    Add("unknown.zip", "ZIP?");

    EXPECT_THAT(Check(), ElementsAre("LHA", "", "", "ZIP", ""));
    const std::string find = std::string("FindFirst ") + kDefaultList;
    EXPECT_THAT(LookUpCalls(),
                ElementsAre("LHA.OpenArchive /arc/good.lzh 8388608", "LHA." + find,
                            "LHA.CloseArchive",  //
                            "LHA.OpenArchive /arc/prog.lzh 8388608", "LHA." + find,
                            "LHA.CloseArchive",  //
                            "LHA.OpenArchive /arc/broken.lzh 8388608", "LHA.CloseArchive 0",
                            "ZIP.OpenArchive /arc/readme.zip 8388608", "ZIP." + find,
                            "ZIP.CloseArchive",  //
                            "ZIP.OpenArchive /arc/unknown.zip 8388608", "ZIP.CloseArchive 0"));
    EXPECT_EQ(lha.OpenHandles() + zip.OpenHandles(), 0);
}

TEST_F(CheckTest, CabGetsOneWildcardPerCallUntilOneMatches) {
    cab.archives["/arc/manual.cab"] = {true, true, {"manual.htm"}};
    cab.archives["/arc/tools.cab"] = {true, true, {"tool.dll"}};
    Add("manual.cab", "CAB?");
    Add("tools.cab", "CAB?");

    EXPECT_THAT(Check(), ElementsAre("CAB", ""));
    EXPECT_THAT(LookUpCalls(),
                ElementsAre("CAB.OpenArchive /arc/manual.cab 8388608", "CAB.FindFirst *.TXT",
                            "CAB.FindFirst *.HLP", "CAB.FindFirst *.DOC", "CAB.FindFirst *.HTM",
                            "CAB.CloseArchive",  //
                            "CAB.OpenArchive /arc/tools.cab 8388608", "CAB.FindFirst *.TXT",
                            "CAB.FindFirst *.HLP", "CAB.FindFirst *.DOC", "CAB.FindFirst *.HTM",
                            "CAB.FindFirst *.HTML", "CAB.FindFirst *.CHM", "CAB.CloseArchive"));
}

TEST_F(CheckTest, SelfExtractorWithoutDocumentsInTheFirstLibraryEndsThere) {
    lha.archives["/arc/setup.exe"] = {true, true, {"PROG.EXE"}};
    zip.archives["/arc/setup.exe"] = {true, true, {"readme.txt"}};
    Add("setup.exe", "SFX?");

    EXPECT_THAT(Check(), ElementsAre(""));
    EXPECT_THAT(
        LookUpCalls(),
        ElementsAre("LHA.CheckArchive /arc/setup.exe 0", "LHA.OpenArchive /arc/setup.exe 8388608",
                    std::string("LHA.FindFirst ") + kDefaultList, "LHA.CloseArchive"));
}

TEST_F(CheckTest, SelfExtractorGoesOnUntilALibraryRecognisesAndOpensIt) {
    zip.archives["/arc/zipsfx.exe"] = {true, true, {"readme.txt"}};
    // Recognised by LHA, but it cannot open it: on to the next one.
    lha.archives["/arc/cabsfx.exe"] = {true, false, {}};
    cab.archives["/arc/cabsfx.exe"] = {true, true, {"help.hlp"}};
    lha.archives["/arc/lhasfx.exe"] = {true, true, {"read.me", "INFO.DOC"}};
    Add("zipsfx.exe", "SFX?");
    Add("cabsfx.exe", "SFX?");
    Add("lhasfx.exe", "SFX?");

    EXPECT_THAT(Check(), ElementsAre("ZIP-SFX", "CAB-SFX", "LHA-SFX"));
    const std::string find = std::string("FindFirst ") + kDefaultList;
    EXPECT_THAT(
        LookUpCalls(),
        ElementsAre("LHA.CheckArchive /arc/zipsfx.exe 0", "ZIP.CheckArchive /arc/zipsfx.exe 0",
                    "ZIP.OpenArchive /arc/zipsfx.exe 8388608", "ZIP." + find, "ZIP.CloseArchive",
                    "LHA.CheckArchive /arc/cabsfx.exe 0", "LHA.OpenArchive /arc/cabsfx.exe 8388608",
                    "LHA.CloseArchive 0", "ZIP.CheckArchive /arc/cabsfx.exe 0",
                    "CAB.CheckArchive /arc/cabsfx.exe 0", "CAB.OpenArchive /arc/cabsfx.exe 8388608",
                    "CAB.FindFirst *.TXT", "CAB.FindFirst *.HLP", "CAB.CloseArchive",
                    "LHA.CheckArchive /arc/lhasfx.exe 0", "LHA.OpenArchive /arc/lhasfx.exe 8388608",
                    "LHA." + find, "LHA.CloseArchive"));
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(hits[1].kind, "CAB-SFX");
}

TEST_F(CheckTest, SelfExtractingCabNeedsCabLibraryFromVersion90) {
    cab.archives["/arc/cabsfx.exe"] = {true, true, {"help.hlp"}};
    Add("cabsfx.exe", "SFX?");
    Add("plain.cab", "CAB?");
    cab.archives["/arc/plain.cab"] = {true, true, {"a.txt"}};

    versions = {100, 100, 89};
    EXPECT_THAT(Check(), ElementsAre("", "CAB"));
    for (const auto& call : log.Calls()) {
        EXPECT_EQ(call.find("CAB.CheckArchive"), std::string::npos) << call;
    }

    log.Clear();
    versions = {100, 100, 0};
    EXPECT_THAT(Check(), ElementsAre("", ""));
    for (const auto& call : log.Calls()) {
        EXPECT_NE(call.rfind("CAB.", 0), 0u) << call;
    }

    log.Clear();
    versions = {100, 100, 90};
    EXPECT_THAT(Check(), ElementsAre("CAB-SFX", "CAB"));
}

TEST_F(CheckTest, WithoutTheLhaLibraryASelfExtractorGoesStraightToZip) {
    versions.unlha = 0;
    zip.archives["/arc/setup.exe"] = {true, true, {"readme.txt"}};
    Add("setup.exe", "SFX?");
    EXPECT_THAT(Check(), ElementsAre("ZIP-SFX"));
    EXPECT_THAT(log.Calls().front(), "ZIP.GetRunning");
    EXPECT_EQ(LookUpCalls().front(), "ZIP.CheckArchive /arc/setup.exe 0");
    for (const auto& call : log.Calls()) {
        EXPECT_NE(call.rfind("LHA.", 0), 0u) << call;
    }
}

TEST_F(CheckTest, HitsComeInCandidateOrderAndAreCountedAsFound) {
    lha.archives["/arc/1.lzh"] = {true, true, {"a.txt"}};
    zip.archives["/arc/2.zip"] = {true, true, {"a.bin"}};
    cab.archives["/arc/3.cab"] = {true, true, {"a.chm"}};
    Add("1.lzh", "LHA?");
    Add("2.zip", "ZIP?");
    Add("3.cab", "CAB?");
    Add("4.lzh", "LHA?");

    EXPECT_THAT(Check(), ElementsAre("LHA", "", "CAB", ""));
    EXPECT_THAT(Names(hits), ElementsAre("1.lzh", "3.cab"));
    EXPECT_EQ(hits[1].folder, "/arc/");
    EXPECT_EQ(observer.checkTotal, 4u);
    EXPECT_THAT(observer.checkedCounts, ElementsAre(1u, 2u, 3u, 4u));
    EXPECT_THAT(observer.hitCounts, ElementsAre(1u, 2u));
}

TEST_F(CheckTest, TheWindowIsHandedToTheLibrary) {
    int window = 0;
    lha.archives["/arc/a.lzh"] = {true, true, {"a.txt"}};
    Add("a.lzh", "LHA?");
    auto engine = MakeEngine();
    engine->SetWindow(&window);
    engine->CheckDocuments();
    EXPECT_EQ(lha.lastWindow, &window);
}

TEST_F(CheckTest, AbortKeepsTheHitsFoundSoFar) {
    for (const char* name : {"1.lzh", "2.lzh", "3.lzh", "4.lzh"}) {
        lha.archives[std::string("/arc/") + name] = {true, true, {"a.txt"}};
        Add(name, "LHA?");
    }
    observer.onHit = [&](std::size_t count) {
        if (count == 2) {
            abort = true;
        }
    };
    auto engine = MakeEngine();
    engine->CheckDocuments();

    EXPECT_TRUE(engine->CheckAborted());
    EXPECT_THAT(Names(engine->Hits()), ElementsAre("1.lzh", "2.lzh"));
    for (const auto& call : log.Calls()) {
        EXPECT_EQ(call.find("3.lzh"), std::string::npos) << call;
    }
}

TEST_F(CheckTest, TwoThreadsGiveTheHitsInCandidateOrder) {
    // The second look-up finishes before the first one answers.
    std::atomic<bool> secondDone{false};
    std::atomic<bool> waited{true};
    lha.onFindFirst = [&](const std::string& path) {
        if (path == "/arc/0.lzh") {
            waited = WaitFor([&] { return secondDone.load(); });
        } else if (path == "/arc/1.lzh") {
            secondDone = true;
        }
    };
    for (int i = 0; i < 8; ++i) {
        const std::string name = std::to_string(i) + ".lzh";
        lha.archives["/arc/" + name] = {true, true, {i % 3 == 2 ? "a.bin" : "a.txt"}};
        Add(name, "LHA?");
    }
    auto engine = MakeEngine(2);
    engine->CheckDocuments();

    EXPECT_TRUE(waited);
    EXPECT_FALSE(engine->CheckAborted());
    EXPECT_THAT(Names(engine->Hits()),
                ElementsAre("0.lzh", "1.lzh", "3.lzh", "4.lzh", "6.lzh", "7.lzh"));
    EXPECT_THAT(observer.checkedCounts, ElementsAre(1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u));
    EXPECT_THAT(observer.hitCounts, ElementsAre(1u, 2u, 3u, 4u, 5u, 6u));
    EXPECT_EQ(lha.OpenHandles(), 0);
}

TEST_F(CheckTest, AbortWithTwoThreadsKeepsEveryHitTakenInOrder) {
    // The first look-up answers once the second is under way; that one and
    // any later one wait for the abort, which the first hit brings.
    std::atomic<bool> secondStarted{false};
    lha.onFindFirst = [&](const std::string& path) {
        if (path == "/arc/0.lzh") {
            WaitFor([&] { return secondStarted.load(); });
        } else {
            secondStarted = true;
            WaitFor([&] { return abort.load(); });
        }
    };
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
        names.push_back(std::to_string(i) + ".lzh");
        lha.archives["/arc/" + names.back()] = {true, true, {"a.txt"}};
        Add(names.back(), "LHA?");
    }
    observer.onHit = [&](std::size_t) { abort = true; };
    auto engine = MakeEngine(2);
    engine->CheckDocuments();

    EXPECT_TRUE(engine->CheckAborted());
    const auto found = Names(engine->Hits());
    // The first one and what was under way when the abort came; never a gap.
    ASSERT_GE(found.size(), 2u);
    ASSERT_LE(found.size(), 3u);
    EXPECT_THAT(found, ElementsAreArray(names.begin(), names.begin() + found.size()));
    EXPECT_EQ(observer.hitCounts.size(), found.size());
    EXPECT_EQ(lha.OpenHandles(), 0);
}

TEST_F(CheckTest, AbortWithTwoThreadsStopsCloseToWhereTheCountsStood) {
    // Workers must not run far ahead of the hits handed on: an abort at the
    // tenth hit of a thousand lists about ten, not nearly all of them.
    for (int i = 0; i < 1000; ++i) {
        const std::string name = std::to_string(i) + ".lzh";
        lha.archives["/arc/" + name] = {true, true, {"a.txt"}};
        Add(name, "LHA?");
    }
    observer.onHit = [&](std::size_t count) {
        if (count == 10) {
            abort = true;
        }
    };
    auto engine = MakeEngine(2);
    engine->CheckDocuments();

    EXPECT_TRUE(engine->CheckAborted());
    EXPECT_GE(engine->Hits().size(), 10u);
    EXPECT_LE(engine->Hits().size(), 10u + 4u);
}

TEST(DocumentWildcardsTest, ListStartsWithTxtAndFollowsTheViewersTypes) {
    EXPECT_EQ(DocumentWildcards(100, {}), kDefaultList);
    int reads = 0;
    DocTypeSource source;
    source.read = [&] {
        ++reads;
        return std::string("  pdf   rtf  ");
    };
    EXPECT_EQ(DocumentWildcards(123, source), "*.TXT *.pdf *.rtf");
    EXPECT_EQ(reads, 1);
    // A viewer older than 1.00, or one whose version is unknown.
    EXPECT_EQ(DocumentWildcards(99, source), "*.TXT");
    EXPECT_EQ(DocumentWildcards(0, source), "*.TXT");
    EXPECT_EQ(reads, 1);
    source.read = [] { return std::string(); };
    EXPECT_EQ(DocumentWildcards(100, source), "*.TXT");
    source.read = [] { return std::string("   "); };
    EXPECT_EQ(DocumentWildcards(100, source), "*.TXT");
    source.read = [] { return std::string("pdf\0junk", 8); };
    EXPECT_EQ(DocumentWildcards(100, source), "*.TXT *.pdf");
}

TEST(DocumentWildcardsTest, AFixedListReplacesTheValueAndTheVersionGate) {
    DocTypeSource source;
    source.read = [] { return std::string("never"); };
    source.fixed = "htm md";
    EXPECT_EQ(DocumentWildcards(0, source), "*.TXT *.htm *.md");
    source.fixed = "";
    EXPECT_EQ(DocumentWildcards(500, source), "*.TXT");
}

TEST(BuildDocPatternsTest, OnePatternPerWordWordsKeptAsTheyAre) {
    EXPECT_EQ(BuildDocPatterns("HLP DOC HTM HTML CHM"), "*.HLP *.DOC *.HTM *.HTML *.CHM");
    EXPECT_EQ(BuildDocPatterns("txt  doc"), "*.txt *.doc");
    EXPECT_EQ(BuildDocPatterns(" .md a.b TXT TXT "), "*..md *.a.b *.TXT *.TXT");
    EXPECT_EQ(BuildDocPatterns("one"), "*.one");
    EXPECT_EQ(BuildDocPatterns(""), "");
    EXPECT_EQ(BuildDocPatterns("    "), "");
    // Only the blank separates; a tab is part of a word.
    EXPECT_EQ(BuildDocPatterns("a\tb"), "*.a\tb");
}

// A whole run over real files, the libraries faked.
class RunTest : public CheckTest {
  protected:
    SearchResult Run(int threads) {
        SearchOptions options;
        options.searchFolder = top.Path();
        options.includeSubfolders = true;
        options.searchLha = options.searchZip = true;
        StartupValues startup;
        startup.libraries = versions;
        startup.viewerVersion = 100;
        SearchEngine engine(options, startup, ArchiverSet{&lha, &zip, &cab}, DocTypeSource{}, abort,
                            observer);
        engine.SetCheckThreads(threads);
        return engine.Run();
    }

    TempFolder top;
};

TEST_F(RunTest, AbortDuringTheCheckListsTheHitsFoundSoFar) {
    for (const char* name : {"1.lzh", "2.lzh", "3.lzh"}) {
        top.File(name);
        lha.archives[top.Path() + name] = {true, true, {"x.txt"}};
    }
    observer.onHit = [&](std::size_t) { abort = true; };
    const auto result = Run(1);
    EXPECT_TRUE(result.checked);
    EXPECT_TRUE(result.checkAborted);
    EXPECT_FALSE(result.walkAborted);
    EXPECT_EQ(result.archives.size(), 1u);
    EXPECT_EQ(observer.finishes, 1);
}

TEST_F(RunTest, NoCandidatesNoCheck) {
    top.File("readme.txt");
    const auto result = Run(2);
    EXPECT_FALSE(result.checked);
    EXPECT_THAT(result.archives, IsEmpty());
    EXPECT_EQ(observer.checkStarts, 0);
    EXPECT_THAT(log.Calls(), IsEmpty());
    EXPECT_EQ(observer.finishes, 1);
}

}  // namespace
}  // namespace mervok
