#include "ui/search_run_control.h"

#include <cstdlib>
#include <memory>
#include <utility>

#include "search/search_engine.h"

namespace mervok {

namespace {

// About 30 progress updates a second while a search runs.
constexpr int kProgressInterval = 33;

// Lets a test hold the run at a known step.
class ProbeObserver final : public SearchObserver {
  public:
    explicit ProbeObserver(SearchProbe probe) : mProbe(std::move(probe)) {}

    Answer OnCandidate(std::string_view, std::size_t) override {
        return Tell(SearchStep::kCandidate);
    }
    Answer OnCheckStarted(std::size_t) override { return Tell(SearchStep::kCheckStarted); }
    Answer OnCandidateChecked(std::size_t) override { return Tell(SearchStep::kCandidateChecked); }
    Answer OnHit(std::size_t) override { return Tell(SearchStep::kHit); }
    void OnFinished(const SearchResult&) override { Tell(SearchStep::kFinished); }

  private:
    Answer Tell(SearchStep step) {
        mProbe(step);
        return Answer::Continue;
    }
    SearchProbe mProbe;
};

}  // namespace

SearchRunControl::SearchRunControl(OnProgress onProgress, OnEnded onEnded, QObject* parent)
    : QObject(parent), mOnProgress(std::move(onProgress)), mOnEnded(std::move(onEnded)) {
    mProgressTimer.setInterval(kProgressInterval);
    connect(&mProgressTimer, &QTimer::timeout, this, &SearchRunControl::TellProgress);
}

SearchRunControl::~SearchRunControl() {
    mRuns.StopAll();
}

std::optional<CancelToken> SearchRunControl::Token() const {
    if (SearchRun* run = mRuns.Current()) {
        return run->Token();
    }
    return std::nullopt;
}

void SearchRunControl::Start(SearchOptions options, const StartupValues& startup,
                             ArchiverSet libraries, DocTypeSource docTypes, void* window) {
    mElapsed.Restart();
    auto run =
        std::make_unique<SearchRun>(std::move(options), startup, libraries, std::move(docTypes),
                                    mProbe ? std::make_unique<ProbeObserver>(mProbe) : nullptr);
    run->Engine().SetWindow(window);
    const std::uint64_t number = ++mRunNumber;
    mActive = true;
    mRuns.Start(std::move(run), IndependentHandles(libraries, startup.libraries),
                [this, number](const SearchResult& result) {
                    // Delivered only while this lives; it waits for every
                    // run before it goes.
                    QMetaObject::invokeMethod(
                        this,
                        [this, number, result]() mutable { RunEnded(number, std::move(result)); },
                        Qt::QueuedConnection);
                });
    mProgressTimer.start();
}

void SearchRunControl::Abort() {
    if (SearchRun* run = mRuns.Current()) {
        run->Abort();
    }
    mActive = false;
    mProgressTimer.stop();
}

void SearchRunControl::TellProgress() {
    SearchRun* run = mRuns.Current();
    if (!mActive || run == nullptr) {
        return;
    }
    if (const std::optional<SearchProgress> progress = run->TakeProgress()) {
        mOnProgress(*progress);
    }
}

void SearchRunControl::RunEnded(std::uint64_t number, SearchResult result) {
    if (number != mRunNumber || mClosed || mRuns.Current() == nullptr) {
        // A run let go, or the close.
        mRuns.Reap();
        return;
    }
    TellProgress();
    mProgressTimer.stop();
    mActive = false;
    const bool aborted = mRuns.Current()->AbortRequested();
    mRuns.Finish();
    mOnEnded(std::move(result), aborted);
}

bool SearchRunControl::StopForClose() {
    mClosed = true;
    mActive = false;
    mProgressTimer.stop();
    return mRuns.StopAll(mCloseWait);
}

void SearchRunControl::EndProcess() {
    if (mEndProcess) {
        mEndProcess();
    } else {
        std::_Exit(0);
    }
}

}  // namespace mervok
