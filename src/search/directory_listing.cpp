#include "search/directory_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>

#include "app/text_util.h"

namespace mervok {

namespace {

DIR* AsDir(void* dir) {
    return static_cast<DIR*>(dir);
}

}  // namespace

bool MatchesWildcard(std::string_view name, std::string_view wildcard) {
    if (wildcard == "*" || wildcard == "*.*") {
        return true;
    }
    // Iterative glob: on a mismatch, let the last '*' swallow one more
    // character and try again from there.
    std::size_t n = 0;
    std::size_t w = 0;
    std::size_t starW = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (w < wildcard.size() && wildcard[w] == '*') {
            starW = w++;
            starN = n;
        } else if (w < wildcard.size() &&
                   (wildcard[w] == '?' || AsciiLower(wildcard[w]) == AsciiLower(name[n]))) {
            ++w;
            ++n;
        } else if (starW != std::string_view::npos) {
            w = starW + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (w < wildcard.size() && wildcard[w] == '*') {
        ++w;
    }
    return w == wildcard.size();
}

std::string LocalTimeText(std::int64_t secondsSinceEpoch) {
    const auto seconds = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        local = std::tm{};
        local.tm_mday = 1;
        local.tm_year = 1601 - 1900;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

DirectoryListing::~DirectoryListing() {
    Close();
}

bool DirectoryListing::Open(const std::string& folder, std::string wildcard) {
    Close();
    mDir = opendir(folder.empty() ? "." : folder.c_str());
    mWildcard = std::move(wildcard);
    mMatchAll = mWildcard == "*" || mWildcard == "*.*";
    return mDir != nullptr;
}

void DirectoryListing::Close() {
    if (mDir != nullptr) {
        closedir(AsDir(mDir));
        mDir = nullptr;
    }
    mName.clear();
}

bool DirectoryListing::Next() {
    if (mDir == nullptr) {
        return false;
    }
    while (const dirent* entry = readdir(AsDir(mDir))) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        if (!mMatchAll && !MatchesWildcard(name, mWildcard)) {
            continue;
        }
        mName.assign(name);
        mType = entry->d_type;
        return true;
    }
    mName.clear();
    return false;
}

bool DirectoryListing::IsFolder() const {
    if (mDir == nullptr || mName.empty()) {
        return false;
    }
    if (mType == DT_DIR) {
        return true;
    }
    if (mType != DT_LNK && mType != DT_UNKNOWN) {
        return false;
    }
    // A link is followed to what it names.
    struct stat info {};
    return fstatat(dirfd(AsDir(mDir)), mName.c_str(), &info, 0) == 0 && S_ISDIR(info.st_mode);
}

std::optional<FolderId> DirectoryListing::Identity() const {
    struct stat info {};
    if (mDir == nullptr || fstat(dirfd(AsDir(mDir)), &info) != 0) {
        return std::nullopt;
    }
    return FolderId{static_cast<std::uint64_t>(info.st_dev),
                    static_cast<std::uint64_t>(info.st_ino)};
}

namespace {

class LocalFileSystem final : public FileSystem {
  public:
    std::unique_ptr<FolderListing> ListFolder(const std::string& folder) override {
        auto listing = std::make_unique<DirectoryListing>();
        if (!listing->Open(folder, "*")) {
            return nullptr;
        }
        return listing;
    }

    std::optional<FileFacts> Examine(const std::string& path) override {
        struct stat info {};
        FileFacts facts;
        facts.followed = ::stat(path.c_str(), &info) == 0;
        if (!facts.followed && ::lstat(path.c_str(), &info) != 0) {
            return std::nullopt;
        }
        facts.folder = S_ISDIR(info.st_mode);
        facts.regular = S_ISREG(info.st_mode);
        facts.size = static_cast<std::int64_t>(info.st_size);
        facts.modifiedSeconds = static_cast<std::int64_t>(info.st_mtim.tv_sec);
        return facts;
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static LocalFileSystem files;
    return files;
}

}  // namespace mervok
