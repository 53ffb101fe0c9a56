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

LookAhead::LookAhead(int threads, Examine examine, CancelToken cancel)
    : mThreads(threads < 0 ? 0 : threads),
      mExamine(std::move(examine)),
      mCancel(std::move(cancel)) {}

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
    return !mStopping && !mCancel.Cancelled();
}

void LookAhead::Run(Job& job, std::unique_lock<std::mutex>& lock) {
    job.state = State::Started;
    lock.unlock();
    CandidateFacts facts;
    std::exception_ptr error;
    try {
        facts = mExamine(job.path, job.kind);
    } catch (...) {
        // Handed to whoever takes the facts: the search fails, it does not
        // go on as if the file had gone.
        error = std::current_exception();
    }
    lock.lock();
    job.facts = facts;
    job.error = error;
    job.state = State::Done;
    std::string().swap(job.path);
}

void LookAhead::Add(std::string path, ArchiveKind kind) {
    std::unique_lock lock(mMutex);
    mJobs.push_back(Job{std::move(path), kind, State::Waiting, {}, {}});
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
        Run(job, lock);
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
    if (job.error) {
        std::rethrow_exception(job.error);
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
        Run(mJobs[index], lock);
        if (index == mAwaited) {
            mDone.notify_one();
        }
    }
    mDone.notify_one();
}

}  // namespace mervok
