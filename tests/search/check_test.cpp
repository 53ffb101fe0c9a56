// The document check against fake libraries: versions, busy libraries and the
// order of calls, which real libraries cannot show; FIFOs and devices named
// like archives, which never reach a library.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "support/fakes.h"
#include "support/files.h"
#include "support/gate.h"
#include "support/memory_file_system.h"

namespace mervok {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace mervok::testing;
using enum ArchiveKind;

const std::string kRoot = MemoryFileSystem::kRoot;
const std::string kList = "*.TXT *.HLP *.DOC *.HTM *.HTML *.CHM";
const std::string kFind = "FindFirst " + kList;

class CheckTest : public ::testing::Test {
  protected:
    // A candidate file that the given fake knows, holding entries.
    void Add(const std::string& name, ArchiveKind kind, FakeArchiver* library = nullptr,
             std::vector<std::string> entries = {"a.txt"}, bool opens = true) {
        candidates.push_back({kRoot, name, 1, kind, "", true});
        files.AddFile(name);
        if (library) {
            library->archives[kRoot + name] = {true, opens, std::move(entries)};
        }
    }
    // Checks the candidates; the kinds afterwards.
    std::vector<std::string> Check(int threads = 1) {
        StartupValues startup;
        startup.libraries = versions;
        startup.viewerVersion = 100;
        SearchEngine engine({}, startup, {&lha, &zip, &cab}, {}, cancel, observer);
        engine.SetCheckThreads(threads);
        engine.SetRunningPollLimit(pollLimit);
        engine.SetWindow(&window);
        engine.SetFileSystem(files);
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
    // A whole run over the folder (the root by default), every format.
    SearchResult Search(int threads, const std::string& folder = kRoot) {
        SearchOptions options;
        options.searchFolder = folder;
        options.includeSubfolders = true;
        options.searchLha = options.searchZip = options.searchCab = options.searchExe = true;
        StartupValues startup;
        startup.libraries = versions;
        startup.viewerVersion = 100;
        SearchEngine engine(options, startup, {&lha, &zip, &cab}, {}, cancel, observer);
        engine.SetCheckThreads(threads);
        engine.SetFileSystem(files);
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

    MemoryFileSystem files;
    CallLog log;
    FakeArchiver lha{"LHA", log}, zip{"ZIP", log}, cab{"CAB", log};
    LibraryVersions versions{100, 100, 100};
    CancelToken cancel;
    RecordingObserver observer;
    int window = 0;
    long pollLimit = 3;
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

    // An abort ends the wait for a library that stays busy.
    log.calls.clear();
    pollLimit = std::numeric_limits<long>::max();
    cancel.Cancel();
    Check();
    EXPECT_THAT(log.calls, ::testing::Contains("LHA.GetRunning").Times(1));
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
    zip.archives[kRoot + "setup.exe"] = {true, true, {"readme.txt"}};
    Add("zipsfx.exe", Sfx, &zip);
    Add("cabsfx.exe", Sfx, &lha, {}, false);
    cab.archives[kRoot + "cabsfx.exe"] = {true, true, {"help.hlp"}};
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
    EXPECT_THAT(RelativePaths(hits, kRoot), ElementsAre("good.lzh", "readme.zip", "manual.cab",
                                                        "zipsfx.exe", "cabsfx.exe", "lhasfx.exe"));
    EXPECT_THAT(observer.checkedCounts, ElementsAre(1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u));
    EXPECT_THAT(observer.hitCounts, ElementsAre(1u, 2u, 3u, 4u, 5u, 6u));
    EXPECT_EQ(lha.openHandles + zip.openHandles + cab.openHandles, 0);
}

TEST_F(CheckTest, SelfExtractingCabNeedsVersion90AndAbsentLibrariesAreNeverCalled) {
    Add("sfx.exe", Sfx, &cab, {"help.hlp"});
    Add("plain.cab", Cab, &cab);
    zip.archives[kRoot + "sfx.exe"] = {false, true, {}};
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
        files.AddFile(name);
        FakeArchiver* owner = library ? library : sfxLibraries[i / 4 % 3];
        owner->archives[kRoot + name] = {true, true, {i % 5 ? "a.txt" : "a.bin"}};
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
            gate.WaitUntil([&] { return finished.contains(found->second); });
        }
    };
    const auto finish = [&](const std::string& path) {
        gate.Update([&] {
            finished.insert(path);
            finishOrder.push_back(path);
        });
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
            gate.Update([&] {
                if (++waiting == threads) {
                    cancel.Cancel();
                }
            });
            gate.WaitUntil([&] { return waiting >= threads; });
        };
        cancel = CancelToken();
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
    observer.onHit = [](std::size_t count) {
        return count == 10 ? ObserverAnswer::Stop : ObserverAnswer::Continue;
    };
    for (const int threads : {1, SearchEngine::kDefaultCheckThreads}) {
        cancel = CancelToken();
        const auto result = Search(threads);
        EXPECT_EQ(result.outcome, SearchOutcome::CheckAborted);
        EXPECT_EQ(result.archives.size(), 10u) << threads;
    }
    EXPECT_EQ(lha.openHandles, 0);
    // Without candidates there is no check at all.
    files.AddFile("none/readme.txt");
    log.calls.clear();
    cancel = CancelToken();
    EXPECT_EQ(Search(2, kRoot + "none/").outcome, SearchOutcome::Listed);
    EXPECT_THAT(log.calls, IsEmpty());
}

// True once pid sits in the open() of a FIFO waiting for a reader.
bool WaitingInOpen(pid_t pid) {
    for (int polls = 0; polls < 100000; ++polls) {
        std::ifstream syscall("/proc/" + std::to_string(pid) + "/syscall");
        long number = -1;
        if (syscall >> number && (number == SYS_openat || number == SYS_open)) {
            return true;
        }
        usleep(100);
    }
    return false;
}

// On real files: only the kernel makes FIFOs and devices.
TEST_F(CheckTest, FifosDevicesAndFoldersNamedLikeArchivesNeverReachALibrary) {
    TempFolder top;
    top.Write("real.lzh");
    top.Folder("folder.cab");
    ASSERT_EQ(mkfifo((top.Folder() + "f.lzh").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (top.Folder() + "z.zip").c_str()), 0);
    // A writer that waits in open() until someone opens the FIFO to read.
    const std::string fifo = top.Folder() + "f.lzh";
    const pid_t writer = fork();
    if (writer == 0) {
        _exit(open(fifo.c_str(), O_WRONLY) >= 0 ? 0 : 1);
    }
    ASSERT_GT(writer, 0);
    ASSERT_TRUE(WaitingInOpen(writer));

    // Each would be found, were it asked about.
    lha.archives[top.Folder() + "real.lzh"] = {true, true, {"a.txt"}};
    lha.archives[top.Folder() + "f.lzh"] = {true, true, {"a.txt"}};
    zip.archives[top.Folder() + "z.zip"] = {true, true, {"a.txt"}};
    cab.archives[top.Folder() + "folder.cab"] = {true, true, {"a.txt"}};
    SearchOptions options;
    options.searchFolder = top.Folder();
    options.includeSubfolders = true;
    options.searchLha = options.searchZip = options.searchCab = options.searchExe = true;
    StartupValues startup;
    startup.libraries = {100, 100, 100};
    const auto result =
        SearchEngine(options, startup, {&lha, &zip, &cab}, {}, cancel, observer).Run();

    int status = 0;
    EXPECT_EQ(waitpid(writer, &status, WNOHANG), 0) << "the FIFO was opened";
    kill(writer, SIGKILL);
    waitpid(writer, &status, 0);
    EXPECT_THAT(RelativePaths(result.archives, top.Folder()), ::testing::ElementsAre("real.lzh"));
    EXPECT_THAT(log.calls, ::testing::Contains("LHA.OpenArchive real.lzh 8388608"));
    for (const auto& call : log.calls) {
        EXPECT_THAT(call, ::testing::Not(::testing::AnyOf(::testing::HasSubstr("f.lzh"),
                                                          ::testing::HasSubstr("z.zip"),
                                                          ::testing::HasSubstr("folder.cab"))));
    }
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
