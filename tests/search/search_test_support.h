#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "search/search_engine.h"

namespace mervok::testing {

// A fresh folder under the system's temporary folder, removed with all its
// contents afterwards. Path() ends with the separator, as search folders do.
class TempFolder {
  public:
    // base: where to make it; the system's temporary folder by default.
    explicit TempFolder(std::filesystem::path base = std::filesystem::temp_directory_path()) {
        std::string pattern = (base / "mervok-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        mPath = made ? std::string(made) + "/" : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        // Give back permissions a test took away, or removal would stop there.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 mPath, std::filesystem::directory_options::skip_permission_denied, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
                chmod(it->path().c_str(), 0755);
            }
        }
        std::filesystem::remove_all(mPath, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return mPath; }

    // Creates a file (and its folders) below the folder.
    std::string File(const std::string& relative, const std::string& content = "x") const {
        const std::string path = mPath + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string Folder(const std::string& relative) const {
        const std::string path = mPath + relative;
        std::filesystem::create_directories(path);
        return path + "/";
    }

  private:
    std::string mPath;
};

// A memory file system for tests that make tens of thousands of entries, the
// temporary folder when there is none.
inline std::filesystem::path FastTempBase() {
    std::error_code ignored;
    if (std::filesystem::is_directory("/dev/shm", ignored) && access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    return std::filesystem::temp_directory_path();
}

// Records what the engine tells; may act on a candidate or a hit.
class RecordingObserver : public SearchObserver {
  public:
    std::vector<std::string> paths;
    std::vector<std::size_t> candidateCounts;
    std::vector<std::size_t> checkedCounts;
    std::vector<std::size_t> hitCounts;
    std::size_t checkTotal = 0;
    int checkStarts = 0;
    int finishes = 0;
    std::function<void(std::string_view path, std::size_t count)> onCandidate;
    std::function<void(std::size_t count)> onHit;

    void OnCandidate(std::string_view path, std::size_t count) override {
        paths.emplace_back(path);
        candidateCounts.push_back(count);
        if (onCandidate) {
            onCandidate(path, count);
        }
    }
    void OnCheckStarted(std::size_t total) override {
        ++checkStarts;
        checkTotal = total;
    }
    void OnCandidateChecked(std::size_t checked) override { checkedCounts.push_back(checked); }
    void OnHit(std::size_t count) override {
        hitCounts.push_back(count);
        if (onHit) {
            onHit(count);
        }
    }
    void OnFinished(const SearchResult&) override { ++finishes; }
};

// The file names of a list of archives, in order.
inline std::vector<std::string> Names(const std::vector<FoundArchive>& archives) {
    std::vector<std::string> names;
    for (const auto& archive : archives) {
        names.push_back(archive.fileName);
    }
    return names;
}

// Paths relative to a folder, in order.
inline std::vector<std::string> RelativePaths(const std::vector<FoundArchive>& archives,
                                              const std::string& top) {
    std::vector<std::string> paths;
    for (const auto& archive : archives) {
        paths.push_back(archive.Path().substr(top.size()));
    }
    return paths;
}

}  // namespace mervok::testing
