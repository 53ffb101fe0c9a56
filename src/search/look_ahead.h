#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "search/found_archive.h"

namespace mervok {

// What examining one candidate found out.
struct CandidateFacts {
    bool exists = false;  // the path (or a dangling link by that name) could be examined
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
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
    // the calling thread. Examinations start only while abortRequested is
    // clear; one that throws finds nothing.
    LookAhead(int threads, Examine examine, const std::atomic<bool>& abortRequested);
    // Starts no further examination and waits for those in hand.
    ~LookAhead();
    LookAhead(const LookAhead&) = delete;
    LookAhead& operator=(const LookAhead&) = delete;

    void Add(std::string path, ArchiveKind kind);
    // The facts of the index-th candidate added, waiting for them; nullopt
    // when an abort came before its examination started.
    std::optional<CandidateFacts> Take(std::size_t index);

  private:
    enum class State : std::uint8_t { Waiting, Started, Done };
    struct Job {
        std::string path;  // released once examined
        ArchiveKind kind;
        State state = State::Waiting;
        CandidateFacts facts;
    };

    bool MayStart() const;
    CandidateFacts Run(const Job& job) const;
    void Work();

    const int mThreads;
    Examine mExamine;
    const std::atomic<bool>& mAbortRequested;
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::deque<Job> mJobs;  // a job stays in place while more are added
    std::size_t mNext = 0;  // the first job not yet started
    bool mStopping = false;
    std::vector<std::thread> mWorkers;
};

}  // namespace mervok
