// The document check against fake libraries: versions, busy libraries and the
// order of calls, which real libraries cannot show.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
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
        aborted = engine.CheckAborted();
        std::vector<std::string> kinds;
        for (const auto& candidate : engine.Candidates()) {
            kinds.emplace_back(KindLabel(candidate));
        }
        return kinds;
    }
    // A whole run over the folder (the test's own by default), every format.
    SearchResult Search(int threads, const std::string& folder = {}) {
        SearchOptions options;
        options.searchFolder = folder.empty() ? top.Folder() : folder;
        options.includeSubfolders = true;
        options.searchLha = options.searchZip = options.searchCab = options.searchExe = true;
        StartupValues startup;
        startup.libraries = versions;
        startup.viewerVersion = 100;
        SearchEngine engine(options, startup, {&lha, &zip, &cab}, {}, abort, observer);
        engine.SetCheckThreads(threads);
        return engine.Run();
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
    bool aborted = false;
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

TEST_F(CheckTest, EachFormatIsAskedOfItsLibraryAsTheCallingOrderSays) {
    // LHA and ZIP get the whole list in one call; a failed open closes 0.
    Add("good.lzh", Lha, &lha, {"PROG.EXE", "doc/Manual.Htm"});
    Add("prog.lzh", Lha, &lha, {"PROG.EXE"});
    Add("broken.lzh", Lha, &lha, {}, false);
    Add("readme.zip", Zip, &zip);
    Add("unknown.zip", Zip);
    // CAB gets one wildcard per call until one matches.
    Add("manual.cab", Cab, &cab, {"manual.htm"});
    Add("tools.cab", Cab, &cab, {"tool.dll"});
    // Self-extractors go from library to library until one recognises and
    // opens them: recognised and opened by LHA without a document is the
    // answer; recognised by LHA, which cannot open it, goes on.
    Add("setup.exe", Sfx, &lha, {"PROG.EXE"});
    zip.archives[top.Folder() + "setup.exe"] = {true, true, {"readme.txt"}};
    Add("zipsfx.exe", Sfx, &zip);
    Add("cabsfx.exe", Sfx, &lha, {}, false);
    cab.archives[top.Folder() + "cabsfx.exe"] = {true, true, {"help.hlp"}};
    Add("lhasfx.exe", Sfx, &lha, {"read.me", "INFO.DOC"});
    EXPECT_THAT(Check(), ElementsAre("LHA", "", "", "ZIP", "", "CAB", "", "", "ZIP-SFX", "CAB-SFX",
                                     "LHA-SFX"));
    const std::string cabTo[] = {"CAB.FindFirst *.TXT", "CAB.FindFirst *.HLP",
                                 "CAB.FindFirst *.DOC", "CAB.FindFirst *.HTM"};
    EXPECT_THAT(
        LookUps(),
        ElementsAre("LHA.OpenArchive good.lzh 8388608", "LHA." + kFind, "LHA.CloseArchive",
                    "LHA.OpenArchive prog.lzh 8388608", "LHA." + kFind, "LHA.CloseArchive",
                    "LHA.OpenArchive broken.lzh 8388608", "LHA.CloseArchive 0",
                    "ZIP.OpenArchive readme.zip 8388608", "ZIP." + kFind, "ZIP.CloseArchive",
                    "ZIP.OpenArchive unknown.zip 8388608", "ZIP.CloseArchive 0",
                    "CAB.OpenArchive manual.cab 8388608", cabTo[0], cabTo[1], cabTo[2], cabTo[3],
                    "CAB.CloseArchive", "CAB.OpenArchive tools.cab 8388608", cabTo[0], cabTo[1],
                    cabTo[2], cabTo[3], "CAB.FindFirst *.HTML", "CAB.FindFirst *.CHM",
                    "CAB.CloseArchive", "LHA.CheckArchive setup.exe 0",
                    "LHA.OpenArchive setup.exe 8388608", "LHA." + kFind, "LHA.CloseArchive",
                    "LHA.CheckArchive zipsfx.exe 0", "ZIP.CheckArchive zipsfx.exe 0",
                    "ZIP.OpenArchive zipsfx.exe 8388608", "ZIP." + kFind, "ZIP.CloseArchive",
                    "LHA.CheckArchive cabsfx.exe 0", "LHA.OpenArchive cabsfx.exe 8388608",
                    "LHA.CloseArchive 0", "ZIP.CheckArchive cabsfx.exe 0",
                    "CAB.CheckArchive cabsfx.exe 0", "CAB.OpenArchive cabsfx.exe 8388608", cabTo[0],
                    cabTo[1], "CAB.CloseArchive", "LHA.CheckArchive lhasfx.exe 0",
                    "LHA.OpenArchive lhasfx.exe 8388608", "LHA." + kFind, "LHA.CloseArchive"));
    EXPECT_THAT(RelativePaths(hits, top.Folder()),
                ElementsAre("good.lzh", "readme.zip", "manual.cab", "zipsfx.exe", "cabsfx.exe",
                            "lhasfx.exe"));
    EXPECT_THAT(observer.checkedCounts, ElementsAre(1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u));
    EXPECT_THAT(observer.hitCounts, ElementsAre(1u, 2u, 3u, 4u, 5u, 6u));
    EXPECT_EQ(lha.openHandles + zip.openHandles + cab.openHandles, 0);
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

// Waits, bounded so that a fault fails the test instead of hanging it, until
// ready() holds; others make it hold under mutex and call changed.notify_all().
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    template <typename Ready>
    void Wait(Ready ready) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(20), ready);
    }
};

TEST_F(CheckTest, LookUpsThatFinishOutOfOrderGiveWhatOneThreadGives) {
    // Every kind, some without documents, in nested folders; self-extractors
    // for each library.
    FakeArchiver* const sfxLibraries[] = {&lha, &zip, &cab};
    const std::pair<const char*, FakeArchiver*> kinds[] = {
        {".lzh", &lha}, {".zip", &zip}, {".cab", &cab}, {".exe", nullptr}};
    for (int i = 0; i < 48; ++i) {
        const auto& [ext, library] = kinds[i % 4];
        const std::string name = std::string(i % 3 == 0   ? ""
                                             : i % 3 == 1 ? "s/"
                                                          : "s/t/") +
                                 std::to_string(i) + ext;
        top.Write(name);
        FakeArchiver* owner = library ? library : sfxLibraries[i / 4 % 3];
        owner->archives[top.Folder() + name] = {true, true, {i % 5 ? "a.txt" : "a.bin"}};
    }
    const auto summary = [&](const SearchResult& result) {
        std::vector<std::string> rows;
        for (const auto& archive : result.archives) {
            rows.push_back(archive.Path() + " " + std::string(KindLabel(archive)) + " " +
                           std::to_string(archive.size) + " " + archive.modified);
        }
        return rows;
    };
    const auto oneThread = Search(1);
    const auto order = observer.paths;
    const auto calls = observer.calls;
    ASSERT_EQ(oneThread.outcome, SearchOutcome::Checked);
    ASSERT_EQ(oneThread.archives.size(), 38u);

    // Every fourth look-up through LHA or ZIP waits until the next candidate's
    // look-up has finished.
    Gate gate;
    std::map<std::string, std::string> waitsFor;
    std::set<std::string> finished;
    std::vector<std::string> finishOrder;
    for (std::size_t i = 0; i + 1 < order.size(); i += 4) {
        waitsFor[order[i]] = order[i + 1];
    }
    const auto delay = [&](const std::string& path) {
        if (const auto found = waitsFor.find(path); found != waitsFor.end()) {
            gate.Wait([&] { return finished.contains(found->second); });
        }
    };
    const auto finish = [&](const std::string& path) {
        {
            std::lock_guard lock(gate.mutex);
            finished.insert(path);
            finishOrder.push_back(path);
        }
        gate.changed.notify_all();
    };
    lha.onClose = zip.onClose = cab.onClose = finish;
    const auto runs = [&](int threads) {
        finished.clear();
        finishOrder.clear();
        observer = RecordingObserver();
        const auto result = Search(threads);
        EXPECT_EQ(observer.calls, calls) << threads;
        EXPECT_EQ(summary(result), summary(oneThread)) << threads;
        EXPECT_EQ(result.outcome, SearchOutcome::Checked);
    };
    lha.onFindFirst = zip.onFindFirst = delay;
    for (const int threads : {2, SearchEngine::kDefaultCheckThreads}) {
        runs(threads);
        EXPECT_NE(finishOrder, order) << threads;
    }
    // A library without the promise gets one call at a time, in candidate
    // order, though the first look-up gives others a while to start beside it.
    cab.independent = false;
    std::atomic<bool> waited{false};
    lha.onFindFirst = zip.onFindFirst = cab.onFindFirst = [&](const std::string&) {
        for (int i = 0;
             i < 100 && !waited && lha.openHandles + zip.openHandles + cab.openHandles < 2; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        waited = true;
    };
    runs(SearchEngine::kDefaultCheckThreads);
    EXPECT_EQ(finishOrder, order);
    EXPECT_EQ(lha.openHandles + zip.openHandles + cab.openHandles, 0);
}

TEST_F(CheckTest, AnAbortStopsAfterTheLookUpsInFlightAndListsWhereTheCountsStood) {
    for (int i = 0; i < 200; ++i) {
        Add(std::to_string(i) + ".lzh", Lha, &lha);
    }
    // The click comes while every thread waits on a slow look-up: those
    // finish, no other starts, and the list ends where the counts stood.
    for (const int threads : {1, 2, SearchEngine::kDefaultCheckThreads}) {
        Gate gate;
        int waiting = 0;
        lha.onFindFirst = [&](const std::string&) {
            {
                std::lock_guard lock(gate.mutex);
                abort = ++waiting == threads;
            }
            gate.changed.notify_all();
            gate.Wait([&] { return waiting >= threads; });
        };
        abort = false;
        log.calls.clear();
        observer = RecordingObserver();
        Check(threads);
        EXPECT_TRUE(aborted);
        EXPECT_EQ(std::count_if(
                      log.calls.begin(), log.calls.end(),
                      [](const std::string& call) { return call.starts_with("LHA.OpenArchive"); }),
                  threads);
        EXPECT_EQ(hits.size(), observer.hitCounts.size());
        EXPECT_EQ(observer.checkedCounts.size(), hits.size());
    }
    lha.onFindFirst = nullptr;
    // An abort at the tenth hit of two hundred, answers found ahead or not.
    observer.onHit = [&](std::size_t count) { abort = abort || count == 10; };
    for (const int threads : {1, SearchEngine::kDefaultCheckThreads}) {
        abort = false;
        const auto result = Search(threads);
        EXPECT_EQ(result.outcome, SearchOutcome::CheckAborted);
        EXPECT_EQ(result.archives.size(), 10u) << threads;
    }
    EXPECT_EQ(lha.openHandles, 0);
    // Without candidates there is no check at all.
    TempFolder none;
    none.Write("readme.txt");
    log.calls.clear();
    abort = false;
    EXPECT_EQ(Search(2, none.Folder()).outcome, SearchOutcome::Listed);
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
