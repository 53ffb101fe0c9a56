#pragma once

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "search/search_engine.h"
#include "ui/search_step.h"

namespace mervok {

// What the window shows of a running search: the latest state only.
struct SearchProgress {
    // Path of the latest candidate; empty when names are hidden.
    std::string currentPath;
    std::size_t candidates = 0;
    bool checking = false;
    std::size_t checkTotal = 0;
    std::size_t checked = 0;
    std::size_t hits = 0;
};

// Runs one search on its own thread. The engine's reports only overwrite
// the latest progress, which the window takes at its own pace, so that a
// million candidates do not mean a million repaints. The result reaches the
// receiver's thread as a queued call.
class SearchWorker final : public SearchObserver {
  public:
    using Probe = SearchProbe;
    // Called on the receiver's thread with the run's result.
    using Finished = std::function<void(SearchResult)>;

    SearchWorker(SearchOptions options, StartupValues startup, ArchiverSet libraries,
                 DocTypeSource docTypes, std::atomic<bool>& abortRequested, void* window,
                 QObject* receiver, Finished onFinished, Probe probe = {});
    // Waits for the thread; the caller sets the abort flag first to make
    // that quick (a library call in flight still finishes).
    ~SearchWorker() override;
    SearchWorker(const SearchWorker&) = delete;
    SearchWorker& operator=(const SearchWorker&) = delete;

    // The latest progress when it changed since the last call.
    std::optional<SearchProgress> TakeProgress();
    void Join();
    // Joins the thread if it ends within limit; false when it is still
    // running (a library call stuck on storage that stopped answering).
    bool JoinFor(std::chrono::milliseconds limit);

  private:
    void OnCandidate(std::string_view path, std::size_t count) override;
    void OnCheckStarted(std::size_t total) override;
    void OnCandidateChecked(std::size_t checked) override;
    void OnHit(std::size_t count) override;
    void OnFinished(const SearchResult& result) override;

    template <typename Change>
    void Publish(SearchStep step, Change change);

    SearchEngine mEngine;
    Probe mProbe;
    std::mutex mMutex;
    SearchProgress mProgress;
    bool mChanged = false;
    bool mEnded = false;  // the thread has nothing left to do but end
    std::condition_variable mEnd;
    std::thread mThread;
};

}  // namespace mervok
