#pragma once

// A fake archiver library for what the real ones cannot show: a chosen
// version, a busy library, the exact order of calls.

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "archivers/archiver_api.h"
#include "search/directory_listing.h"

namespace mervok::testing {

// One call log shared by the fakes of a test, so that the order across
// libraries shows.
class CallLog {
  public:
    void Add(std::string call) {
        std::lock_guard lock(mMutex);
        mCalls.push_back(std::move(call));
    }
    std::vector<std::string> Calls() const {
        std::lock_guard lock(mMutex);
        return mCalls;
    }
    void Clear() {
        std::lock_guard lock(mMutex);
        mCalls.clear();
    }

  private:
    mutable std::mutex mMutex;
    std::vector<std::string> mCalls;
};

struct FakeArchive {
    bool recognised = true;  // CheckArchive's answer
    bool opens = true;       // OpenArchive gives a handle
    std::vector<std::string> entries;
};

class FakeArchiver : public ArchiverApi {
  public:
    FakeArchiver(std::string name, std::int16_t version, CallLog& log)
        : mName(std::move(name)), mVersion(version), mLog(log) {}

    // What the fake knows by path; any other path is not an archive.
    std::map<std::string, FakeArchive> archives;
    int busyPolls = 0;  // GetRunning answers 1 this many times (-1: always)
    int cursorMode = 0;
    // Runs inside FindFirst, before it answers.
    std::function<void(const std::string& path)> onFindFirst;

    std::atomic<void*> lastWindow{nullptr};

    int OpenHandles() const {
        std::lock_guard lock(mMutex);
        return mOpen;
    }

    std::int16_t GetVersion() override {
        mLog.Add(mName + ".GetVersion");
        return mVersion;
    }
    int GetRunning() override {
        mLog.Add(mName + ".GetRunning");
        std::lock_guard lock(mMutex);
        if (busyPolls < 0) {
            return 1;
        }
        return busyPolls > 0 ? (--busyPolls, 1) : 0;
    }
    int GetCursorMode() override {
        mLog.Add(mName + ".GetCursorMode");
        return cursorMode;
    }
    int SetCursorMode(int mode) override {
        mLog.Add(mName + ".SetCursorMode " + std::to_string(mode));
        cursorMode = mode;
        return 0;
    }
    int CheckArchive(const std::string& path, int mode) override {
        mLog.Add(mName + ".CheckArchive " + path + " " + std::to_string(mode));
        const auto found = archives.find(path);
        return found != archives.end() && found->second.recognised ? 1 : 0;
    }
    ArchiveHandle OpenArchive(void* window, const std::string& path, std::uint32_t mode) override {
        mLog.Add(mName + ".OpenArchive " + path + " " + std::to_string(mode));
        lastWindow = window;
        auto found = archives.find(path);
        if (found == archives.end() || !found->second.opens) {
            return nullptr;
        }
        std::lock_guard lock(mMutex);
        ++mOpen;
        return &found->second;
    }
    int FindFirst(ArchiveHandle archive, const std::string& wildcards) override {
        mLog.Add(mName + ".FindFirst " + wildcards);
        auto* fake = static_cast<FakeArchive*>(archive);
        if (onFindFirst) {
            for (const auto& [path, entry] : archives) {
                if (&entry == fake) {
                    onFindFirst(path);
                }
            }
        }
        std::string::size_type start = 0;
        while (start <= wildcards.size()) {
            auto end = wildcards.find(' ', start);
            if (end == std::string::npos) {
                end = wildcards.size();
            }
            const std::string wildcard = wildcards.substr(start, end - start);
            for (const auto& entry : fake->entries) {
                if (!wildcard.empty() && MatchesWildcard(entry, wildcard)) {
                    return 0;
                }
            }
            start = end + 1;
        }
        return -1;
    }
    int CloseArchive(ArchiveHandle archive) override {
        mLog.Add(mName + (archive ? ".CloseArchive" : ".CloseArchive 0"));
        if (archive) {
            std::lock_guard lock(mMutex);
            --mOpen;
        }
        return 0;
    }

  private:
    std::string mName;
    std::int16_t mVersion;
    CallLog& mLog;
    mutable std::mutex mMutex;
    int mOpen = 0;
};

}  // namespace mervok::testing
