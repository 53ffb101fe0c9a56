#pragma once

// What real parts cannot show: an archiver library that is busy, of a given
// version, or whose calls must be seen in order; an observer that records.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "archivers/archiver_api.h"
#include "search/search_engine.h"

namespace mervok::testing {

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

// A library that knows the archives it is given by path, and nothing else.
// Calls are logged as "NAME.Call file-name args".
class FakeArchiver : public ArchiverApi {
  public:
    FakeArchiver(std::string name, CallLog& log) : mName(std::move(name)), mLog(log) {}

    std::int16_t version = 100;
    std::map<std::string, FakeArchive> archives;  // by path
    int busyPolls = 0;                            // GetRunning says 1 this often; -1: always
    int cursorMode = 0;
    bool independent = true;  // promises independent handles
    std::function<void(const std::string& path)> onFindFirst;
    std::function<void(const std::string& path)> onClose;  // an archive that was open
    std::atomic<void*> lastWindow{nullptr};
    std::atomic<int> openHandles{0};
    std::atomic<int> mostOpen{0};  // most handles open at one time

    std::int16_t GetVersion() override { return version; }
    int GetRunning() override;
    int GetCursorMode() override;
    int SetCursorMode(int mode) override;
    int CheckArchive(const std::string& path, int mode) override;
    ArchiveHandle OpenArchive(void* window, const std::string& path, std::uint32_t mode) override;
    int FindFirst(ArchiveHandle archive, const std::string& wildcards) override;
    int CloseArchive(ArchiveHandle archive) override;
    bool IndependentHandles() override { return independent; }

  private:
    void Log(const std::string& call);

    std::string mName;
    CallLog& mLog;
};

class RecordingObserver : public SearchObserver {
  public:
    std::vector<std::string> paths;
    std::vector<std::size_t> candidateCounts, checkedCounts, hitCounts;
    std::vector<std::string> calls;  // every call with its arguments, in order
    int finishes = 0;
    // The answers to the reports; Continue when unset.
    std::function<Answer(std::string_view path)> onCandidate;
    std::function<Answer(std::size_t count)> onHit;

    Answer OnCandidate(std::string_view path, std::size_t count) override;
    Answer OnCheckStarted(std::size_t total) override;
    Answer OnCandidateChecked(std::size_t checked) override;
    Answer OnHit(std::size_t count) override;
    void OnFinished(const SearchResult& result) override;
};

// The archives' paths below top.
std::vector<std::string> RelativePaths(const std::vector<FoundArchive>& archives,
                                       const std::string& top);

}  // namespace mervok::testing
