// A search run on its own thread: its result, its error, its progress, and
// the runs let go while a look-up of theirs is held.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "search/search_run.h"
#include "support/fakes.h"
#include "support/gate.h"
#include "support/memory_file_system.h"

namespace mervok {
namespace {

using ::testing::ElementsAre;
using namespace mervok::testing;

class SearchRunTest : public ::testing::Test {
  protected:
    // A run over the folder in memory; the observer, when given, is the test's.
    std::unique_ptr<SearchRun> MakeRun(std::unique_ptr<SearchObserver> observer = nullptr) {
        SearchOptions options;
        options.searchFolder = MemoryFileSystem::kRoot;
        options.searchLha = options.searchZip = options.searchCab = options.searchExe = true;
        StartupValues startup;
        startup.libraries = {100, 100, 100};
        auto run = std::make_unique<SearchRun>(options, startup, ArchiverSet{&lha, &zip, &cab},
                                               DocTypeSource{}, std::move(observer));
        run->Engine().SetFileSystem(files);
        return run;
    }
    void AddArchive(const std::string& name) {
        lha.archives[files.AddFile(name)] = {true, true, {"a.txt"}};
    }

    MemoryFileSystem files;
    CallLog log;
    FakeArchiver lha{"LHA", log}, zip{"ZIP", log}, cab{"CAB", log};
    Gate gate;  // declared before the runs that may wait at it
};

TEST_F(SearchRunTest, TheResultProgressAndAnErrorOfAWorkerThreadComeBackFromTheRun) {
    for (const char* name : {"a.lzh", "b.lzh", "c.lzh"}) {
        AddArchive(name);
    }
    auto observer = std::make_unique<RecordingObserver>();
    RecordingObserver& seen = *observer;
    auto run = MakeRun(std::move(observer));
    int ended = 0;
    run->Start([&](const SearchResult& result) { ended += result.archives.size() == 3 ? 1 : 100; });
    ASSERT_TRUE(run->WaitFor());
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(run->Result().outcome, SearchOutcome::Checked);
    EXPECT_THAT(RelativePaths(run->Result().archives, MemoryFileSystem::kRoot),
                ElementsAre("a.lzh", "b.lzh", "c.lzh"));
    const std::optional<SearchProgress> progress = run->TakeProgress();
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress->candidates, 3u);
    EXPECT_EQ(progress->checked, 3u);
    EXPECT_EQ(progress->hits, 3u);
    EXPECT_FALSE(run->TakeProgress()) << "nothing changed since";
    EXPECT_THAT(seen.hitCounts, ElementsAre(1u, 2u, 3u));

    // A look-up that throws on one of the helper threads ends the run with
    // its error; nothing is listed, and the observer hears of the end.
    lha.onFindFirst = [](const std::string& path) {
        if (path.ends_with("b.lzh")) {
            throw std::runtime_error("storage gave up");
        }
    };
    observer = std::make_unique<RecordingObserver>();
    RecordingObserver& failed = *observer;
    run = MakeRun(std::move(observer));
    run->Start();
    ASSERT_TRUE(run->WaitFor());
    EXPECT_EQ(run->Result().outcome, SearchOutcome::Failed);
    EXPECT_EQ(run->Result().error, "storage gave up");
    EXPECT_TRUE(run->Result().archives.empty());
    EXPECT_EQ(failed.finishes, 1);
}

TEST(CancelTokenTest, ACancelOfAnyCopyEndsAPauseUnderWay) {
    CancelToken token;
    EXPECT_FALSE(token.WaitFor(std::chrono::milliseconds(0)));
    bool cancelled = false;
    std::thread waiter(
        [copy = token, &cancelled] { cancelled = copy.WaitFor(std::chrono::hours(1)); });
    token.Cancel();
    waiter.join();
    EXPECT_TRUE(cancelled);
}

TEST_F(SearchRunTest, ARunHeldInALookUpIsLetGoForTheNextAndWaitedForAtTheEnd) {
    AddArchive("held.lzh");
    lha.onFindFirst = [&](const std::string&) { gate.Wait(); };
    SearchRuns runs;
    SearchRun& held = runs.Start(MakeRun(), true, {});
    ASSERT_TRUE(gate.AwaitReached());
    EXPECT_FALSE(held.WaitFor(std::chrono::milliseconds(0)));

    // Let go: the next run starts at once and ends on its own.
    lha.onFindFirst = nullptr;
    SearchRun& next = runs.Start(MakeRun(), true, {});
    EXPECT_EQ(runs.Current(), &next);
    EXPECT_TRUE(next.WaitFor());
    EXPECT_EQ(next.Result().outcome, SearchOutcome::Checked);
    runs.Finish();
    EXPECT_EQ(runs.Current(), nullptr);
    runs.Reap();
    EXPECT_FALSE(runs.StopAll(std::chrono::milliseconds(0))) << "the held run is still there";

    gate.Open();
    EXPECT_TRUE(runs.StopAll());
}

}  // namespace
}  // namespace mervok
