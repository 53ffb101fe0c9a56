#include "archive_session.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace mervok::plugin {

namespace {

void CopyText(char* out, std::size_t capacity, std::string_view text) {
    std::size_t n = std::min(capacity - 1, text.size());
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

std::uint32_t Clamp32(std::uint64_t v) {
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

std::uint16_t Ratio(std::uint64_t compressed, std::uint64_t original) {
    if (original == 0) {
        return 0;
    }
    // Sizes up to 2^64 / 1000 need no more: anything larger is capped anyway.
    std::uint64_t ratio = compressed >= UINT64_MAX / 1000 ? 0xFFFF : compressed * 1000 / original;
    return static_cast<std::uint16_t>(std::min<std::uint64_t>(ratio, 0xFFFF));
}

// R H S A D from an MS-DOS attribute byte.
void AttributeText(char* out, unsigned dos) {
    const char letters[] = "RHSAD";
    const unsigned bits[] = {0x01, 0x02, 0x04, 0x20, 0x10};
    for (int i = 0; i < 5; ++i) {
        out[i] = (dos & bits[i]) ? letters[i] : '-';
    }
    out[5] = '\0';
}

void Fill(const ArchiveEntry& entry, INDIVIDUALINFO* info) {
    if (info == nullptr) {
        return;
    }
    *info = INDIVIDUALINFO{};
    CopyText(info->szFileName, sizeof info->szFileName, entry.name);
    info->dwOriginalSize = Clamp32(entry.originalSize);
    info->dwCompressedSize = Clamp32(entry.compressedSize);
    info->dwCRC = entry.crc;
    info->uOSType = entry.osType;
    info->wRatio = Ratio(entry.compressedSize, entry.originalSize);
    info->wDate = entry.dosDate;
    info->wTime = entry.dosTime;
    AttributeText(info->szAttribute, entry.dosAttributes);
    CopyText(info->szMode, sizeof info->szMode, entry.method);
}

struct CheckedSession {
    std::string path;
    Format format = Format::Lha;
    struct stat identity {};
    std::unique_ptr<ArchiveSession> session;
};

// One per thread and library: internal linkage keeps the three libraries'
// slots apart even where their symbols would be interposed.
thread_local CheckedSession tChecked;

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

bool ArchiveSession::Check(const char* path, Format format) {
    CheckedSession& kept = tChecked;
    kept.session.reset();
    // Taken before the open: a file replaced after it no longer matches.
    struct stat identity {};
    if (path == nullptr || ::stat(path, &identity) != 0) {
        return false;
    }
    auto session = Open(path, format);
    if (!session) {
        return false;
    }
    kept.path.assign(path);
    kept.format = format;
    kept.identity = identity;
    kept.session = std::move(session);
    return true;
}

std::unique_ptr<ArchiveSession> ArchiveSession::OpenChecked(const char* path, Format format) {
    CheckedSession& kept = tChecked;
    std::unique_ptr<ArchiveSession> session = std::move(kept.session);
    struct stat identity {};
    if (session && path != nullptr && kept.path == path && kept.format == format &&
        ::stat(path, &identity) == 0 && SameFile(identity, kept.identity)) {
        return session;
    }
    session.reset();
    return Open(path, format);
}

std::unique_ptr<ArchiveSession> ArchiveSession::Open(const char* path, Format format) {
    auto reader = OpenArchiveReader(path, format);
    return reader ? std::unique_ptr<ArchiveSession>(new ArchiveSession(std::move(reader)))
                  : nullptr;
}

int ArchiveSession::FindFirst(const char* wildcards, INDIVIDUALINFO* info) {
    mWildcards = std::make_unique<WildcardList>(wildcards);
    mReader->Rewind();
    return Search(info);
}

int ArchiveSession::FindNext(INDIVIDUALINFO* info) {
    return mWildcards ? Search(info) : -1;
}

int ArchiveSession::Search(INDIVIDUALINFO* info) {
    while (const ArchiveEntry* entry = mReader->Next()) {
        if (!entry->isFolder && !entry->name.empty() && mWildcards->Matches(entry->name)) {
            Fill(*entry, info);
            return 0;
        }
    }
    return -1;
}

}  // namespace mervok::plugin
