#include "support/memory_file_system.h"

#include <string_view>
#include <utility>

namespace mervok::testing {

namespace {

class MemoryListing final : public FolderListing {
  public:
    MemoryListing(FolderId id, std::vector<std::pair<std::string, bool>> entries)
        : mId(id), mEntries(std::move(entries)) {}

    std::optional<FolderId> Identity() const override { return mId; }
    bool Next() override { return ++mAt < mEntries.size(); }
    std::string_view Name() const override { return mEntries[mAt].first; }
    bool IsFolder() const override { return mEntries[mAt].second; }

  private:
    FolderId mId;
    std::vector<std::pair<std::string, bool>> mEntries;  // name, folder
    std::size_t mAt = static_cast<std::size_t>(-1);
};

}  // namespace

void MemoryFileSystem::AddFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        Node& node = mNodes[path.substr(0, slash + 1)];
        if (node.id == 0) {
            node = Node{true, 0, 0, mNextId++};
        }
    }
}

std::string MemoryFileSystem::AddFile(const std::string& path, std::int64_t size,
                                      std::int64_t modifiedSeconds) {
    const std::string full = kRoot + path;
    std::lock_guard lock(mMutex);
    AddFolders(full);
    mNodes[full] = Node{false, size, modifiedSeconds, mNextId++};
    return full;
}

void MemoryFileSystem::Add(const std::vector<std::string>& paths) {
    for (const auto& path : paths) {
        if (path.ends_with('/')) {
            std::lock_guard lock(mMutex);
            AddFolders(kRoot + path);
        } else {
            AddFile(path);
        }
    }
}

void MemoryFileSystem::Remove(const std::string& path) {
    const std::string full = kRoot + path;
    std::lock_guard lock(mMutex);
    std::erase_if(mNodes, [&](const auto& node) {
        return node.first == full || node.first.starts_with(full + '/') ||
               (full.ends_with('/') && node.first.starts_with(full));
    });
}

std::vector<std::string> MemoryFileSystem::Accesses() {
    std::lock_guard lock(mMutex);
    return mAccesses;
}

void MemoryFileSystem::Record(const std::string& access, const std::string& path) {
    mAccesses.push_back(
        access + " " +
        (path.starts_with(kRoot) ? path.substr(std::string_view(kRoot).size()) : path));
}

std::unique_ptr<FolderListing> MemoryFileSystem::ListFolder(const std::string& folder) {
    const std::string full = folder.ends_with('/') ? folder : folder + '/';
    std::lock_guard lock(mMutex);
    Record("list", full);
    const auto found = mNodes.find(full);
    if (found == mNodes.end() || !found->second.folder) {
        return nullptr;
    }
    // The entries directly inside, in name order.
    std::vector<std::pair<std::string, bool>> entries;
    for (auto it = std::next(found); it != mNodes.end() && it->first.starts_with(full); ++it) {
        std::string_view name = std::string_view(it->first).substr(full.size());
        if (name.ends_with('/')) {
            name.remove_suffix(1);
        }
        if (name.find('/') == std::string_view::npos) {
            entries.emplace_back(std::string(name), it->second.folder);
        }
    }
    return std::make_unique<MemoryListing>(FolderId{1, found->second.id}, std::move(entries));
}

std::optional<FileFacts> MemoryFileSystem::Examine(const std::string& path) {
    std::lock_guard lock(mMutex);
    Record("examine", path);
    auto found = mNodes.find(path);
    if (found == mNodes.end()) {
        found = mNodes.find(path + '/');
    }
    if (found == mNodes.end()) {
        return std::nullopt;
    }
    FileFacts facts;
    facts.folder = found->second.folder;
    facts.regular = !found->second.folder;
    facts.size = found->second.folder ? 4096 : found->second.size;
    facts.modifiedSeconds = found->second.modifiedSeconds;
    return facts;
}

}  // namespace mervok::testing
