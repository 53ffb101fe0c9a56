#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace mervok {

// Asks a search to stop. Copies share one flag: the run keeps one, its
// engine and the engine's helper threads others, so that whoever holds a
// copy may stop the run. A pause taken with WaitFor ends at the cancel.
class CancelToken {
  public:
    CancelToken() : mState(std::make_shared<State>()) {}

    void Cancel() const {
        mState->flag.store(true, std::memory_order_relaxed);
        // Taken so that a waiter between its test and its wait hears it.
        std::lock_guard lock(mState->mutex);
        mState->cancelled.notify_all();
    }
    // Cancel for a signal handler: one lock-free store. A pause under way
    // ends when its time is up rather than at once.
    void CancelFromSignal() const noexcept { mState->flag.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return mState->flag.load(std::memory_order_relaxed); }
    // Waits at most pause for a cancel; true when cancelled.
    bool WaitFor(std::chrono::milliseconds pause) const {
        std::unique_lock lock(mState->mutex);
        return mState->cancelled.wait_for(lock, pause, [this] { return Cancelled(); });
    }

  private:
    struct State {
        std::atomic<bool> flag{false};
        std::mutex mutex;
        std::condition_variable cancelled;
    };
    static_assert(std::atomic<bool>::is_always_lock_free);
    std::shared_ptr<State> mState;
};

}  // namespace mervok
