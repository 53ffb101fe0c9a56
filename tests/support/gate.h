#pragma once

// The one gate of the tests: threads of the code under test wait at it
// until the test opens it, and the test learns when they have come. It must
// outlive every thread that may wait at it.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace mervok::testing {

class Gate {
  public:
    // The held thread's side: counts as arrived and waits until Open.
    void Wait() {
        std::unique_lock lock(mMutex);
        ++mReached;
        mChanged.notify_all();
        mChanged.wait(lock, [this] { return mOpen; });
    }
    // The test's side: returns once count threads have arrived; false only
    // when they do not come within the limit, which only stops a hang.
    bool AwaitReached(int count = 1) {
        return WaitUntil([&] { return mReached >= count; });
    }
    void Open() {
        Update([this] { mOpen = true; });
    }

    // Changes what waiters look at, under the gate's lock, and wakes them.
    template <typename Change>
    void Update(Change change) {
        {
            std::lock_guard lock(mMutex);
            change();
        }
        mChanged.notify_all();
    }
    // Waits until ready() holds, asked under the gate's lock; false only
    // after the limit.
    template <typename Ready>
    bool WaitUntil(Ready ready) {
        std::unique_lock lock(mMutex);
        return mChanged.wait_for(lock, std::chrono::minutes(1), ready);
    }

  private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    int mReached = 0;
    bool mOpen = false;
};

}  // namespace mervok::testing
