#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace mervok {

// A folder's identity: device and inode.
using FolderId = std::pair<std::uint64_t, std::uint64_t>;

// What the examination of a candidate learns from the file system.
struct FileFacts {
    // Examined through a link to what it names; false for a dangling link,
    // examined by itself.
    bool followed = true;
    bool folder = false;
    bool regular = false;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
};

// One folder as it is being listed: "." and ".." never come, names keep
// their exact bytes.
class FolderListing {
  public:
    virtual ~FolderListing() = default;
    // The folder's identity as opened, so that what is listed is what was
    // recorded; nullopt when it cannot be had.
    virtual std::optional<FolderId> Identity() const = 0;
    // Moves to the next entry; false when there is none (or the listing
    // failed).
    virtual bool Next() = 0;
    virtual std::string_view Name() const = 0;
    // The current entry is a folder, or a link to one.
    virtual bool IsFolder() const = 0;
};

// What the walk and the examination ask of the file system: list a folder,
// examine a path. The engine uses the real one unless given another; tests
// give one that answers from memory.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Null when folder (with or without a trailing separator) cannot be
    // listed.
    virtual std::unique_ptr<FolderListing> ListFolder(const std::string& folder) = 0;
    // A link is followed; a dangling one is examined by itself. nullopt
    // when the path cannot be examined at all. Called from several threads
    // at once.
    virtual std::optional<FileFacts> Examine(const std::string& path) = 0;
};

// The file system of this computer.
FileSystem& RealFileSystem();

}  // namespace mervok
