#include "search/look_ahead.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace mervok {

namespace {

// Queued jobs that wake the workers without waiting for Dispatch: enough to
// spare a wake-up per candidate when they are quick, few enough that a large
// folder on slow storage keeps them busy while it is still being listed.
constexpr std::size_t kBatch = 16;

}  // namespace

LookAhead::LookAhead(int threads, Examine examine, const std::atomic<bool>& abortRequested)
    : mThreads(threads < 0 ? 0 : threads),
      mExamine(std::move(examine)),
      mAbortRequested(abortRequested) {}

LookAhead::~LookAhead() {
    {
        std::lock_guard lock(mMutex);
        mStopping = true;
    }
    mWork.notify_all();
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
    std::unique_lock lock(mMutex);
    mJobs.push_back(Job{std::move(path), kind, State::Waiting, {}});
    if (mThreads > 0 && mWorkers.empty()) {
        // Started with the first candidate: a walk that finds none costs no
        // thread. When none can be started, Take examines on its own.
        try {
            for (int i = 0; i < mThreads; ++i) {
                mWorkers.emplace_back([this] { Work(); });
            }
        } catch (const std::system_error&) {
        }
    }
    if (mJobs.size() - mNext >= kBatch) {
        WakeWorkers(lock);
    }
}

void LookAhead::Dispatch() {
    std::unique_lock lock(mMutex);
    WakeWorkers(lock);
}

void LookAhead::WakeWorkers(std::unique_lock<std::mutex>& lock) {
    const std::size_t wake = std::min(mJobs.size() - mNext, mIdle);
    lock.unlock();
    for (std::size_t i = 0; i < wake; ++i) {
        mWork.notify_one();
    }
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
    const auto ready = [&] {
        return job.state == State::Done || (job.state == State::Waiting && !MayStart());
    };
    if (!ready()) {
        WakeWorkers(lock);
        lock.lock();
        // A job not yet started is left alone after an abort; the wait ends
        // at the latest when a job in flight finishes, since its worker then
        // sees the abort and tells.
        mAwaited = index;
        mDone.wait(lock, ready);
        mAwaited = kNone;
    }
    if (job.state != State::Done) {
        return std::nullopt;
    }
    return job.facts;
}

void LookAhead::Work() {
    std::unique_lock lock(mMutex);
    while (true) {
        if (mNext >= mJobs.size() && MayStart()) {
            ++mIdle;
            mWork.wait(lock, [&] { return mNext < mJobs.size() || !MayStart(); });
            --mIdle;
        }
        if (!MayStart()) {
            break;
        }
        const std::size_t index = mNext++;
        Job& job = mJobs[index];
        job.state = State::Started;
        lock.unlock();
        CandidateFacts facts = Run(job);
        lock.lock();
        job.facts = facts;
        job.state = State::Done;
        std::string().swap(job.path);
        if (index == mAwaited) {
            mDone.notify_one();
        }
    }
    mDone.notify_one();
}

}  // namespace mervok
