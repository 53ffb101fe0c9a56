#include "search/search_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "app/text_util.h"

namespace mervok {

FolderState ExamineFolder(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) {
        return FolderState::Unknown;
    }
    return S_ISDIR(info.st_mode) ? FolderState::Folder : FolderState::NotAFolder;
}

std::string_view FolderProblemText(FolderProblem problem) {
    switch (problem) {
        case FolderProblem::NotGiven:
            return "検索フォルダが入力されていません。";
        case FolderProblem::NotFound:
            break;
    }
    return "検索フォルダが見つかりません。";
}

std::optional<FolderProblem> ValidateSearchFolder(std::string_view folderText) {
    const std::string folder = TrimBlanks(folderText);
    if (folder.empty()) {
        return FolderProblem::NotGiven;
    }
    if (ExamineFolder(folder) != FolderState::Folder) {
        return FolderProblem::NotFound;
    }
    return std::nullopt;
}

std::string ElapsedText(std::chrono::steady_clock::duration elapsed) {
    const auto seconds = std::chrono::round<std::chrono::seconds>(elapsed).count();
    return std::to_string(seconds) + " sec";
}

std::string ElapsedTimer::Text() const {
    return ElapsedText(Elapsed());
}

SearchRun::SearchRun(SearchOptions options, StartupValues startup, ArchiverSet libraries,
                     DocTypeSource docTypes, std::unique_ptr<SearchObserver> observer)
    : mObserver(std::move(observer)),
      mEngine(std::move(options), std::move(startup), libraries, std::move(docTypes), mCancel,
              *this) {}

SearchRun::~SearchRun() {
    Abort();
    WaitFor();
}

void SearchRun::Start(OnEnded onEnded) {
    mThread = std::thread([this, onEnded = std::move(onEnded)] { Body(onEnded); });
}

void SearchRun::Body(const OnEnded& onEnded) {
    SearchResult result;
    try {
        result = mEngine.Run();
    } catch (const std::exception& error) {
        result.outcome = SearchOutcome::Failed;
        result.error = error.what();
    } catch (...) {
        result.outcome = SearchOutcome::Failed;
        result.error = "unknown error";
    }
    if (result.outcome == SearchOutcome::Failed) {
        result.archives.clear();
        try {
            OnFinished(result);
        } catch (...) {
            // The run has failed already; the observer's own fault adds nothing.
        }
    }
    {
        std::lock_guard lock(mMutex);
        mResult = result;
        mEnded = true;
    }
    mEndedChanged.notify_all();
    if (onEnded) {
        onEnded(result);
    }
}

bool SearchRun::Ended() {
    std::lock_guard lock(mMutex);
    return mEnded;
}

bool SearchRun::WaitFor(std::optional<std::chrono::milliseconds> limit) {
    if (!mThread.joinable()) {
        return true;
    }
    {
        std::unique_lock lock(mMutex);
        const auto ended = [this] { return mEnded; };
        if (!limit) {
            mEndedChanged.wait(lock, ended);
        } else if (!mEndedChanged.wait_for(lock, *limit, ended)) {
            return false;
        }
    }
    // What is left of the thread is the end callback.
    mThread.join();
    return true;
}

std::optional<SearchProgress> SearchRun::TakeProgress() {
    std::lock_guard lock(mMutex);
    if (!mChanged) {
        return std::nullopt;
    }
    mChanged = false;
    return mProgress;
}

template <typename Change>
void SearchRun::Publish(Change change) {
    std::lock_guard lock(mMutex);
    change(mProgress);
    mChanged = true;
}

// The observer hears of a step before the progress shows it.
SearchObserver::Answer SearchRun::OnCandidate(std::string_view path, std::size_t count) {
    const Answer answer = mObserver ? mObserver->OnCandidate(path, count) : Answer::Continue;
    Publish([&](SearchProgress& progress) {
        progress.currentPath.assign(path);
        progress.candidates = count;
    });
    return answer;
}

SearchObserver::Answer SearchRun::OnCheckStarted(std::size_t total) {
    const Answer answer = mObserver ? mObserver->OnCheckStarted(total) : Answer::Continue;
    Publish([&](SearchProgress& progress) {
        progress.checking = true;
        progress.checkTotal = total;
        progress.checked = 0;
        progress.hits = 0;
    });
    return answer;
}

SearchObserver::Answer SearchRun::OnCandidateChecked(std::size_t checked) {
    const Answer answer = mObserver ? mObserver->OnCandidateChecked(checked) : Answer::Continue;
    Publish([&](SearchProgress& progress) { progress.checked = checked; });
    return answer;
}

SearchObserver::Answer SearchRun::OnHit(std::size_t count) {
    const Answer answer = mObserver ? mObserver->OnHit(count) : Answer::Continue;
    Publish([&](SearchProgress& progress) { progress.hits = count; });
    return answer;
}

void SearchRun::OnFinished(const SearchResult& result) {
    if (mObserver) {
        mObserver->OnFinished(result);
    }
}

SearchRuns::~SearchRuns() {
    StopAll();
}

SearchRun& SearchRuns::Start(std::unique_ptr<SearchRun> run, bool letGo,
                             SearchRun::OnEnded onEnded) {
    Retire(letGo);
    mCurrent = std::move(run);
    mCurrent->Start(std::move(onEnded));
    return *mCurrent;
}

void SearchRuns::Retire(bool letGo) {
    Reap();
    if (mCurrent == nullptr) {
        return;
    }
    mCurrent->Abort();
    if (letGo && !mCurrent->Ended()) {
        mRetired.push_back(std::move(mCurrent));
    }
    mCurrent.reset();
}

void SearchRuns::Reap() {
    std::erase_if(mRetired, [](const std::unique_ptr<SearchRun>& run) {
        return run->WaitFor(std::chrono::milliseconds(0));
    });
}

void SearchRuns::Finish() {
    mCurrent.reset();
}

bool SearchRuns::StopAll(std::optional<std::chrono::milliseconds> limit) {
    const auto deadline =
        std::chrono::steady_clock::now() + limit.value_or(std::chrono::milliseconds(0));
    const auto left = [&]() -> std::optional<std::chrono::milliseconds> {
        if (!limit) {
            return std::nullopt;
        }
        return std::max(std::chrono::milliseconds(0),
                        std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now()));
    };
    if (mCurrent) {
        mCurrent->Abort();
    }
    for (const auto& run : mRetired) {
        run->Abort();
    }
    if (mCurrent && mCurrent->WaitFor(left())) {
        mCurrent.reset();
    }
    std::erase_if(mRetired,
                  [&](const std::unique_ptr<SearchRun>& run) { return run->WaitFor(left()); });
    return mCurrent == nullptr && mRetired.empty();
}

}  // namespace mervok
