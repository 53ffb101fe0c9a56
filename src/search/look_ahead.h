#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "search/cancel_token.h"
#include "search/found_archive.h"

namespace mervok {

// What examining one candidate found out.
struct CandidateFacts {
    bool exists = false;  // the path (or a dangling link by that name) could be examined
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    bool isFolder = false;                 // a folder, or a link to one, named like an archive
    ArchiveKind kind = ArchiveKind::None;  // the look-up's answer, when one was asked for
};

// Examines candidates on a few threads while the walk still adds them, and
// hands the facts on in the order the candidates were added. On slow storage
// each examination waits for several round trips; with several in flight the
// search is bound by the storage's throughput, not by its latency. Only the
// I/O runs ahead: whoever takes the facts decides what they mean, in order.
class LookAhead {
  public:
    using Examine = std::function<CandidateFacts(const std::string& path, ArchiveKind kind)>;

    // threads 0: nothing runs ahead; each candidate is examined by Take, on
    // the calling thread. Examinations start only until cancel is set.
    LookAhead(int threads, Examine examine, CancelToken cancel);
    // Starts no further examination and waits for those in hand.
    ~LookAhead();
    LookAhead(const LookAhead&) = delete;
    LookAhead& operator=(const LookAhead&) = delete;

    // Queues a candidate; the workers may wait for a few more, or for
    // Dispatch, before they start on it.
    void Add(std::string path, ArchiveKind kind);
    // Sets the workers going on every candidate queued.
    void Dispatch();
    // The facts of the index-th candidate added, waiting for them; nullopt
    // when an abort came before its examination started. An examination that
    // threw throws here again, on the caller's thread.
    std::optional<CandidateFacts> Take(std::size_t index);

  private:
    enum class State : std::uint8_t { Waiting, Started, Done };
    struct Job {
        std::string path;  // released once examined
        ArchiveKind kind;
        State state = State::Waiting;
        CandidateFacts facts;
        std::exception_ptr error;
    };

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    bool MayStart() const;
    // Examines job and marks it done; lock is released meanwhile.
    void Run(Job& job, std::unique_lock<std::mutex>& lock);
    // Wakes an idle worker per job not started; returns with lock released.
    void WakeWorkers(std::unique_lock<std::mutex>& lock);
    void Work();

    const int mThreads;
    Examine mExamine;
    const CancelToken mCancel;
    std::mutex mMutex;
    std::condition_variable mWork;  // idle workers wait here for jobs
    std::condition_variable mDone;  // Take waits here for mAwaited
    std::deque<Job> mJobs;          // a job stays in place while more are added
    std::size_t mNext = 0;          // the first job not yet started
    std::size_t mIdle = 0;          // workers waiting for a job
    std::size_t mAwaited = kNone;
    bool mStopping = false;
    std::vector<std::thread> mWorkers;
};

}  // namespace mervok
