#pragma once

// Folder trees, an observer that records, and a fake archiver library for
// what the real ones cannot show: a busy library, the exact order of calls.

#include <atomic>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings_files.h"
#include "search/directory_listing.h"
#include "search/search_engine.h"

namespace mervok::testing {

// A temporary folder whose Path() ends with the separator, as search
// folders do; File and Folder make what they name, parents included.
class TempTree : public TempFolder {
  public:
    using TempFolder::TempFolder;
    std::string Path() const { return TempFolder::Path() + "/"; }
    std::string File(const std::string& relative, const std::string& content = "x") const {
        std::filesystem::create_directories(std::filesystem::path(Path() + relative).parent_path());
        WriteBytes(Path() + relative, content);
        return Path() + relative;
    }
    void Files(std::initializer_list<const char*> relatives) const {
        for (const char* relative : relatives) {
            File(relative);
        }
    }
    std::string Folder(const std::string& relative) const {
        std::filesystem::create_directories(Path() + relative);
        return Path() + relative + "/";
    }
};

class RecordingObserver : public SearchObserver {
  public:
    std::vector<std::string> paths;
    std::vector<std::size_t> candidateCounts, checkedCounts, hitCounts;
    int finishes = 0;
    std::function<void(std::string_view path)> onCandidate;
    std::function<void(std::size_t count)> onHit;

    void OnCandidate(std::string_view path, std::size_t count) override {
        paths.emplace_back(path);
        candidateCounts.push_back(count);
        if (onCandidate) {
            onCandidate(path);
        }
    }
    void OnCheckStarted(std::size_t) override {}
    void OnCandidateChecked(std::size_t checked) override { checkedCounts.push_back(checked); }
    void OnHit(std::size_t count) override {
        hitCounts.push_back(count);
        if (onHit) {
            onHit(count);
        }
    }
    void OnFinished(const SearchResult&) override { ++finishes; }
};

inline std::vector<std::string> RelativePaths(const std::vector<FoundArchive>& archives,
                                              const std::string& top) {
    std::vector<std::string> paths;
    for (const auto& archive : archives) {
        paths.push_back(archive.Path().substr(top.size()));
    }
    return paths;
}

// One log for the fakes of a test, so that the order across libraries shows.
struct CallLog {
    std::mutex mutex;
    std::vector<std::string> calls;
};

struct FakeArchive {
    bool recognised = true;  // CheckArchive's answer
    bool opens = true;
    std::vector<std::string> entries;
};

class FakeArchiver : public ArchiverApi {
  public:
    FakeArchiver(std::string name, CallLog& log) : mName(std::move(name)), mLog(log) {}

    std::map<std::string, FakeArchive> archives;  // by path; nothing else is an archive
    int busyPolls = 0;                            // GetRunning says 1 this often; -1: always
    int cursorMode = 0;
    std::function<void(const std::string& path)> onFindFirst;
    std::atomic<void*> lastWindow{nullptr};
    std::atomic<int> openHandles{0};

    std::int16_t GetVersion() override { return 100; }
    int GetRunning() override {
        Log("GetRunning");
        return busyPolls < 0 || busyPolls-- > 0;
    }
    int GetCursorMode() override {
        Log("GetCursorMode");
        return cursorMode;
    }
    int SetCursorMode(int mode) override {
        Log("SetCursorMode " + std::to_string(mode));
        return cursorMode = mode, 0;
    }
    int CheckArchive(const std::string& path, int mode) override {
        Log("CheckArchive " + Name(path) + " " + std::to_string(mode));
        return archives.count(path) && archives.at(path).recognised;
    }
    ArchiveHandle OpenArchive(void* window, const std::string& path, std::uint32_t mode) override {
        Log("OpenArchive " + Name(path) + " " + std::to_string(mode));
        lastWindow = window;
        const auto found = archives.find(path);
        if (found == archives.end() || !found->second.opens) {
            return nullptr;
        }
        ++openHandles;
        return &*found;
    }
    int FindFirst(ArchiveHandle archive, const std::string& wildcards) override {
        Log("FindFirst " + wildcards);
        const auto& [path, fake] =
            *static_cast<std::pair<const std::string, FakeArchive>*>(archive);
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
    int CloseArchive(ArchiveHandle archive) override {
        Log(archive ? "CloseArchive" : "CloseArchive 0");
        openHandles -= archive != nullptr;
        return 0;
    }

  private:
    // Calls are logged with the file's name: the folders are temporary.
    static std::string Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }
    void Log(const std::string& call) {
        std::lock_guard lock(mLog.mutex);
        mLog.calls.push_back(mName + "." + call);
    }

    std::string mName;
    CallLog& mLog;
};

}  // namespace mervok::testing
