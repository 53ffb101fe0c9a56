#pragma once

#include <atomic>
#include <memory>

namespace mervok {

// Asks a search to stop. Copies share one flag: the run keeps one, its
// engine and the engine's helper threads others, so that whoever holds a
// copy may stop the run, also from a signal handler (Cancel is one
// lock-free store).
class CancelToken {
  public:
    CancelToken() : mFlag(std::make_shared<std::atomic<bool>>(false)) {}

    void Cancel() const { mFlag->store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return mFlag->load(std::memory_order_relaxed); }

  private:
    static_assert(std::atomic<bool>::is_always_lock_free);
    std::shared_ptr<std::atomic<bool>> mFlag;
};

}  // namespace mervok
