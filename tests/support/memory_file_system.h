#pragma once

// A file system in memory for the walk and the examination: folders and
// files with a size and a time, nothing the kernel alone decides (links,
// FIFOs, permissions). Every access is recorded.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "search/file_system.h"

namespace mervok::testing {

class MemoryFileSystem final : public FileSystem {
  public:
    // Paths below this folder (ends with the separator).
    static constexpr const char* kRoot = "/mem/";

    // Adds a file at path below kRoot, with the folders above it.
    std::string AddFile(const std::string& path, std::int64_t size = 1,
                        std::int64_t modifiedSeconds = 0);
    // Adds each file at its path below kRoot; a path ending in '/' is a folder.
    void Add(const std::vector<std::string>& paths);
    // Removes path below kRoot and everything below it.
    void Remove(const std::string& path);
    // "list FOLDER" and "examine PATH", in order, paths below kRoot.
    std::vector<std::string> Accesses();

    std::unique_ptr<FolderListing> ListFolder(const std::string& folder) override;
    std::optional<FileFacts> Examine(const std::string& path) override;

  private:
    struct Node {
        bool folder = false;
        std::int64_t size = 0;
        std::int64_t modifiedSeconds = 0;
        std::uint64_t id = 0;
    };
    void AddFolders(const std::string& path);
    void Record(const std::string& access, const std::string& path);

    std::mutex mMutex;  // the examination runs on several threads
    std::map<std::string, Node> mNodes{{kRoot, Node{true, 0, 0, 1}}};  // folders end with '/'
    std::uint64_t mNextId = 2;
    std::vector<std::string> mAccesses;
};

}  // namespace mervok::testing
