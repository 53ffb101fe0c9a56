#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "search/file_system.h"

namespace mervok {

// True when name matches the wildcard, with '*' and '?' and letters compared
// without regard to ASCII case, as the listing functions of the original
// platform do. "*" and "*.*" match every name, also one without a dot.
bool MatchesWildcard(std::string_view name, std::string_view wildcard);

// "YYYY/MM/DD HH:MM:SS" in local time (the TZ setting of the process).
std::string LocalTimeText(std::int64_t secondsSinceEpoch);

// Lists one folder's entries whose names match a wildcard, like the
// FindFirstFile / FindNextFile pair: "." and ".." are never returned, names
// keep their exact bytes. The name comes from the listing itself; whether an
// entry is a folder needs a stat only when the file system does not say.
class DirectoryListing final : public FolderListing {
  public:
    DirectoryListing() = default;
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;
    ~DirectoryListing() override;

    // Opens folder (with or without a trailing separator). False when it
    // cannot be listed.
    bool Open(const std::string& folder, std::string wildcard);
    // Moves to the next matching entry; false when there is none (or the
    // listing failed).
    bool Next() override;
    void Close();

    // The current entry's name.
    std::string_view Name() const override { return mName; }
    // The current entry is a folder, or a symbolic link to one.
    bool IsFolder() const override;

    // Device and inode of the open folder itself.
    std::optional<FolderId> Identity() const override;

  private:
    void* mDir = nullptr;  // DIR*
    std::string mWildcard;
    bool mMatchAll = false;
    std::string mName;
    unsigned char mType = 0;  // d_type of the current entry
};

}  // namespace mervok
