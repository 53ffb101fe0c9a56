#include "search/look_ahead.h"

#include <system_error>
#include <utility>

namespace mervok {

LookAhead::LookAhead(int threads, Examine examine, const std::atomic<bool>& abortRequested)
    : mThreads(threads < 0 ? 0 : threads),
      mExamine(std::move(examine)),
      mAbortRequested(abortRequested) {}

LookAhead::~LookAhead() {
    {
        std::lock_guard lock(mMutex);
        mStopping = true;
    }
    mChanged.notify_all();
    for (auto& worker : mWorkers) {
        worker.join();
    }
}

bool LookAhead::MayStart() const {
    return !mStopping && !mAbortRequested.load(std::memory_order_relaxed);
}

CandidateFacts LookAhead::Run(const Job& job) const {
    try {
        return mExamine(job.path, job.kind);
    } catch (...) {
        return {};
    }
}

void LookAhead::Add(std::string path, ArchiveKind kind) {
    {
        std::lock_guard lock(mMutex);
        mJobs.push_back(Job{std::move(path), kind, State::Waiting, {}});
    }
    if (mThreads == 0) {
        return;
    }
    if (mWorkers.empty()) {
        // Started with the first candidate: a walk that finds none costs no
        // thread. When none can be started, Take examines on its own.
        try {
            for (int i = 0; i < mThreads; ++i) {
                mWorkers.emplace_back([this] { Work(); });
            }
        } catch (const std::system_error&) {
        }
    }
    mChanged.notify_one();
}

std::optional<CandidateFacts> LookAhead::Take(std::size_t index) {
    std::unique_lock lock(mMutex);
    Job& job = mJobs[index];
    if (mWorkers.empty() && job.state == State::Waiting) {
        if (!MayStart()) {
            return std::nullopt;
        }
        lock.unlock();
        CandidateFacts facts = Run(job);
        lock.lock();
        job.facts = facts;
        job.state = State::Done;
    }
    // A job not yet started is left alone after an abort; the wait ends at
    // the latest when one in flight finishes, since its worker tells.
    mChanged.wait(lock, [&] {
        return job.state == State::Done || (job.state == State::Waiting && !MayStart());
    });
    if (job.state != State::Done) {
        return std::nullopt;
    }
    return job.facts;
}

void LookAhead::Work() {
    std::unique_lock lock(mMutex);
    while (true) {
        mChanged.wait(lock, [&] { return mNext < mJobs.size() || !MayStart(); });
        if (!MayStart()) {
            break;
        }
        Job& job = mJobs[mNext++];
        job.state = State::Started;
        lock.unlock();
        CandidateFacts facts = Run(job);
        lock.lock();
        job.facts = facts;
        job.state = State::Done;
        std::string().swap(job.path);
        mChanged.notify_all();
    }
    mChanged.notify_all();
}

}  // namespace mervok
