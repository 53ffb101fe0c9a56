#include "support/fakes.h"

#include <sstream>

#include "search/directory_listing.h"

namespace mervok::testing {

namespace {

// Calls are logged with the file's name: the folders are temporary.
std::string NameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

int FakeArchiver::GetRunning() {
    Log("GetRunning");
    if (busyPolls == 0) {
        return 0;
    }
    // A count goes down to 0; -1 stays busy.
    if (busyPolls > 0) {
        --busyPolls;
    }
    return 1;
}

int FakeArchiver::GetCursorMode() {
    Log("GetCursorMode");
    return cursorMode;
}

int FakeArchiver::SetCursorMode(int mode) {
    Log("SetCursorMode " + std::to_string(mode));
    cursorMode = mode;
    return 0;
}

int FakeArchiver::CheckArchive(const std::string& path, int mode) {
    Log("CheckArchive " + NameOf(path) + " " + std::to_string(mode));
    const auto found = archives.find(path);
    return found != archives.end() && found->second.recognised;
}

ArchiveHandle FakeArchiver::OpenArchive(void* window, const std::string& path, std::uint32_t mode) {
    Log("OpenArchive " + NameOf(path) + " " + std::to_string(mode));
    lastWindow = window;
    const auto found = archives.find(path);
    if (found == archives.end() || !found->second.opens) {
        return nullptr;
    }
    const int open = ++openHandles;
    for (int most = mostOpen; open > most && !mostOpen.compare_exchange_weak(most, open);) {
    }
    return &*found;
}

int FakeArchiver::FindFirst(ArchiveHandle archive, const std::string& wildcards) {
    Log("FindFirst " + wildcards);
    const auto& [path, fake] = *static_cast<std::pair<const std::string, FakeArchive>*>(archive);
    if (onFindFirst) {
        onFindFirst(path);
    }
    std::istringstream words(wildcards);
    for (std::string word; words >> word;) {
        for (const auto& entry : fake.entries) {
            if (MatchesWildcard(entry, word)) {
                return 0;
            }
        }
    }
    return -1;
}

int FakeArchiver::CloseArchive(ArchiveHandle archive) {
    Log(archive ? "CloseArchive" : "CloseArchive 0");
    if (archive) {
        --openHandles;
        if (onClose) {
            onClose(static_cast<std::pair<const std::string, FakeArchive>*>(archive)->first);
        }
    }
    return 0;
}

void FakeArchiver::Log(const std::string& call) {
    std::lock_guard lock(mLog.mutex);
    mLog.calls.push_back(mName + "." + call);
}

SearchObserver::Answer RecordingObserver::OnCandidate(std::string_view path, std::size_t count) {
    paths.emplace_back(path);
    candidateCounts.push_back(count);
    calls.push_back("candidate " + std::string(path) + " " + std::to_string(count));
    return onCandidate ? onCandidate(path) : Answer::Continue;
}

SearchObserver::Answer RecordingObserver::OnCheckStarted(std::size_t total) {
    calls.push_back("check " + std::to_string(total));
    return Answer::Continue;
}

SearchObserver::Answer RecordingObserver::OnCandidateChecked(std::size_t checked) {
    checkedCounts.push_back(checked);
    calls.push_back("checked " + std::to_string(checked));
    return Answer::Continue;
}

SearchObserver::Answer RecordingObserver::OnHit(std::size_t count) {
    hitCounts.push_back(count);
    calls.push_back("hit " + std::to_string(count));
    return onHit ? onHit(count) : Answer::Continue;
}

void RecordingObserver::OnFinished(const SearchResult& result) {
    ++finishes;
    calls.push_back("finished " + std::to_string(static_cast<int>(result.outcome)) + " " +
                    std::to_string(result.archives.size()));
}

std::vector<std::string> RelativePaths(const std::vector<FoundArchive>& archives,
                                       const std::string& top) {
    std::vector<std::string> paths;
    for (const auto& archive : archives) {
        paths.push_back(archive.Path().substr(top.size()));
    }
    return paths;
}

}  // namespace mervok::testing
