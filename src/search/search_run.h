#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "search/cancel_token.h"
#include "search/search_engine.h"

namespace mervok {

// What a path names, as a folder to search.
enum class FolderState {
    Folder,      // a folder, or a link to one
    NotAFolder,  // something else that exists
    Unknown,     // cannot be examined (missing, no permission)
};
FolderState ExamineFolder(const std::string& path);

// Why a folder text cannot be searched.
enum class FolderProblem { NotGiven, NotFound };
// The message that says so.
std::string_view FolderProblemText(FolderProblem problem);
// The problem that stops a run before it starts; none when the folder text
// (trimmed of blanks) names an existing folder.
std::optional<FolderProblem> ValidateSearchFolder(std::string_view folderText);

// Measures a run's duration on a monotonic clock, so that a run spanning
// midnight or a clock change still shows a sound figure.
class ElapsedTimer {
  public:
    ElapsedTimer() : mStart(std::chrono::steady_clock::now()) {}
    void Restart() { mStart = std::chrono::steady_clock::now(); }
    // Whole seconds, rounded to the nearest, followed by " sec": "12 sec".
    std::string Text() const;
    std::chrono::steady_clock::duration Elapsed() const {
        return std::chrono::steady_clock::now() - mStart;
    }

  private:
    std::chrono::steady_clock::time_point mStart;
};

// The text ElapsedTimer::Text gives for a duration.
std::string ElapsedText(std::chrono::steady_clock::duration elapsed);

// What a running search has got to: the latest state only.
struct SearchProgress {
    // Path of the latest candidate; empty when names are hidden.
    std::string currentPath;
    std::size_t candidates = 0;
    bool checking = false;
    std::size_t checkTotal = 0;
    std::size_t checked = 0;
    std::size_t hits = 0;
};

// One search on a thread of its own: it owns the engine, the thread and the
// cancel token. The engine's reports go to the observer given (on the run's
// thread, which waits for the answer) and then only overwrite the latest
// progress, which a front end takes at its own pace, so that a million
// candidates do not mean a million repaints. Whatever the engine throws ends
// the run as Failed, with the exception's text.
class SearchRun final : private SearchObserver {
  public:
    // Called on the run's thread once the run counts as ended (WaitFor then
    // returns at once).
    using OnEnded = std::function<void(const SearchResult&)>;

    SearchRun(SearchOptions options, StartupValues startup, ArchiverSet libraries,
              DocTypeSource docTypes, std::unique_ptr<SearchObserver> observer = nullptr);
    // Aborts the run and waits for it (a library call in flight finishes).
    ~SearchRun() override;
    SearchRun(const SearchRun&) = delete;
    SearchRun& operator=(const SearchRun&) = delete;

    // The engine, to be set up before Start.
    SearchEngine& Engine() { return mEngine; }
    void Start(OnEnded onEnded = {});

    // Stops the run where the walk or the check next tests for it.
    void Abort() { mCancel.Cancel(); }
    bool AbortRequested() const { return mCancel.Cancelled(); }
    CancelToken Token() const { return mCancel; }

    // The latest progress when it changed since the last call.
    std::optional<SearchProgress> TakeProgress();
    // Whether the run has ended, without waiting.
    bool Ended();
    // Waits for the end of a started run, at most limit when one is given;
    // false when it is still running then (a library call stuck on storage
    // that stopped answering).
    bool WaitFor(std::optional<std::chrono::milliseconds> limit = std::nullopt);
    // What the run left; valid once it has ended.
    const SearchResult& Result() const { return mResult; }

  private:
    Answer OnCandidate(std::string_view path, std::size_t count) override;
    Answer OnCheckStarted(std::size_t total) override;
    Answer OnCandidateChecked(std::size_t checked) override;
    Answer OnHit(std::size_t count) override;
    void OnFinished(const SearchResult& result) override;
    template <typename Change>
    void Publish(Change change);
    void Body(const OnEnded& onEnded);

    CancelToken mCancel;
    std::unique_ptr<SearchObserver> mObserver;
    SearchEngine mEngine;
    std::mutex mMutex;
    std::condition_variable mEndedChanged;
    SearchProgress mProgress;
    bool mChanged = false;
    bool mEnded = false;
    SearchResult mResult;
    std::thread mThread;
};

// The runs of one front end: the one in hand, and aborted ones let go while
// a look-up of theirs waits on storage that stopped answering, so that a new
// search need not wait for them.
class SearchRuns {
  public:
    SearchRuns() = default;
    // Aborts every run and waits for all of them.
    ~SearchRuns();
    SearchRuns(const SearchRuns&) = delete;
    SearchRuns& operator=(const SearchRuns&) = delete;

    // The run in hand, from its start until Finish or Retire; null otherwise.
    SearchRun* Current() const { return mCurrent.get(); }
    // Starts run as the one in hand; the one before is retired first.
    SearchRun& Start(std::unique_ptr<SearchRun> run, bool letGo, SearchRun::OnEnded onEnded);
    // Aborts the run in hand and makes way for the next: it is let go to
    // unwind by itself when letGo (every library promises independent
    // handles), otherwise waited for.
    void Retire(bool letGo);
    // Forgets the let-go runs that have ended.
    void Reap();
    // Waits for the run in hand (it has ended or is about to) and forgets it.
    void Finish();
    // Aborts every run and waits at most limit for all of them together (no
    // limit: as long as they take); the ended ones are forgotten. False when
    // one is still running then.
    bool StopAll(std::optional<std::chrono::milliseconds> limit = std::nullopt);

  private:
    std::unique_ptr<SearchRun> mCurrent;
    std::vector<std::unique_ptr<SearchRun>> mRetired;
};

}  // namespace mervok
