#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "search/search_run.h"
#include "ui/search_step.h"

namespace mervok {

// The window's searches: starts a run, aborts it, lets an aborted one go (or
// waits for it) when the next starts, reaps those let go, and stops them all
// at the close. It tells the window what to show through the two callbacks,
// on the window's thread: the latest progress at a steady rate while a run
// is active, and the outcome of the run in hand once it ends. A run aborted
// or let go reports nothing more.
class SearchRunControl final : public QObject {
    Q_OBJECT

  public:
    using OnProgress = std::function<void(const SearchProgress&)>;
    // aborted: the abort click came before the run ended (the window has
    // already shown itself idle then).
    using OnEnded = std::function<void(SearchResult result, bool aborted)>;

    SearchRunControl(OnProgress onProgress, OnEnded onEnded, QObject* parent = nullptr);
    // Aborts every run and waits for all of them: they use the libraries
    // and report to their owner.
    ~SearchRunControl() override;

    // Starts a run as the one in hand. One aborted a moment ago may still be
    // unwinding; its result is no longer wanted. It is let go while every
    // library takes calls from two runs at once, else waited for.
    void Start(SearchOptions options, const StartupValues& startup, ArchiverSet libraries,
               DocTypeSource docTypes, void* window);
    // Stops the run in hand where the walk or the check next tests for it;
    // it counts as inactive at once.
    void Abort();

    // From a run's start until it ends or is aborted (its thread may still
    // be unwinding then).
    bool Active() const { return mActive; }
    // True while the run in hand's thread exists (also after an abort, until
    // it has unwound).
    bool Running() const { return mRuns.Current() != nullptr; }
    // The run in hand's cancel token; none when no run is in hand.
    std::optional<CancelToken> Token() const;
    // Time since the latest start, as the status bar shows it.
    std::string ElapsedText() const { return mElapsed.Text(); }

    // The close: aborts every run and waits for them, at most the close wait
    // (a look-up ends within milliseconds unless its storage stopped
    // answering). Nothing is reported after it. False when a run is still
    // held: the caller saves what it must and then calls EndProcess.
    bool StopForClose();
    // Ends the process without the run held.
    void EndProcess();

    // Test seam: called on the run's thread at every step the search
    // reports, before the window hears of it.
    void SetProbeForTesting(SearchProbe probe) { mProbe = std::move(probe); }
    // Test seam: what EndProcess does instead of ending the process.
    void SetProcessEndForTesting(std::function<void()> end) { mEndProcess = std::move(end); }
    // Test seam: how long the close waits for a run to stop.
    void SetCloseWaitForTesting(std::chrono::milliseconds wait) { mCloseWait = wait; }

  private:
    void TellProgress();
    void RunEnded(std::uint64_t number, SearchResult result);

    OnProgress mOnProgress;
    OnEnded mOnEnded;
    SearchRuns mRuns;
    std::uint64_t mRunNumber = 0;
    bool mActive = false;
    bool mClosed = false;
    // Progress is shown at a steady rate from what the run last reported.
    QTimer mProgressTimer;
    ElapsedTimer mElapsed;
    SearchProbe mProbe;
    std::function<void()> mEndProcess;
    std::chrono::milliseconds mCloseWait{2000};
};

}  // namespace mervok
