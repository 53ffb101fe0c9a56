#include "ui/search_worker.h"

#include <memory>
#include <utility>

namespace mervok {

SearchWorker::SearchWorker(SearchOptions options, StartupValues startup, ArchiverSet libraries,
                           DocTypeSource docTypes, std::atomic<bool>& abortRequested, void* window,
                           QObject* receiver, Finished onFinished, Probe probe)
    : mEngine(std::move(options), std::move(startup), libraries, std::move(docTypes),
              abortRequested, *this),
      mProbe(std::move(probe)) {
    mEngine.SetWindow(window);
    mThread = std::thread([this, receiver, onFinished = std::move(onFinished)]() mutable {
        auto result = std::make_shared<SearchResult>(mEngine.Run());
        // Ended before the result is posted, so that whoever gets it finds
        // the thread ready to join.
        {
            std::lock_guard lock(mMutex);
            mEnded = true;
        }
        mEnd.notify_all();
        // Delivered only while the receiver lives; the window waits for this
        // thread before it goes.
        QMetaObject::invokeMethod(
            receiver, [onFinished = std::move(onFinished), result] { onFinished(*result); },
            Qt::QueuedConnection);
    });
}

SearchWorker::~SearchWorker() {
    Join();
}

void SearchWorker::Join() {
    if (mThread.joinable()) {
        mThread.join();
    }
}

bool SearchWorker::JoinFor(std::chrono::milliseconds limit) {
    {
        std::unique_lock lock(mMutex);
        if (!mEnd.wait_for(lock, limit, [this] { return mEnded; })) {
            return false;
        }
    }
    Join();
    return true;
}

std::optional<SearchProgress> SearchWorker::TakeProgress() {
    std::lock_guard lock(mMutex);
    if (!mChanged) {
        return std::nullopt;
    }
    mChanged = false;
    return mProgress;
}

template <typename Change>
void SearchWorker::Publish(SearchStep step, Change change) {
    if (mProbe) {
        mProbe(step);
    }
    std::lock_guard lock(mMutex);
    change(mProgress);
    mChanged = true;
}

void SearchWorker::OnCandidate(std::string_view path, std::size_t count) {
    Publish(SearchStep::kCandidate, [&](SearchProgress& progress) {
        progress.currentPath.assign(path);
        progress.candidates = count;
    });
}

void SearchWorker::OnCheckStarted(std::size_t total) {
    Publish(SearchStep::kCheckStarted, [&](SearchProgress& progress) {
        progress.checking = true;
        progress.checkTotal = total;
        progress.checked = 0;
        progress.hits = 0;
    });
}

void SearchWorker::OnCandidateChecked(std::size_t checked) {
    Publish(SearchStep::kCandidateChecked,
            [&](SearchProgress& progress) { progress.checked = checked; });
}

void SearchWorker::OnHit(std::size_t count) {
    Publish(SearchStep::kHit, [&](SearchProgress& progress) { progress.hits = count; });
}

void SearchWorker::OnFinished(const SearchResult& /*result*/) {
    // The result goes to the window when Run returns.
    if (mProbe) {
        mProbe(SearchStep::kFinished);
    }
}

}  // namespace mervok
