#include "zip_directory.h"

#include <algorithm>
#include <cstring>

namespace mervok::plugin {

namespace {

constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kMaxCommentSize = 0xFFFF;
constexpr std::size_t kLocatorSize = 20;
constexpr std::size_t kZip64RecordSize = 56;
constexpr std::size_t kRecordSize = 46;
// Directories up to this size are read at once; larger ones in blocks of it.
constexpr std::size_t kWindowSize = 8u << 20;

bool HasSignature(const FileReader& file, std::uint64_t offset, const char* signature) {
    std::uint8_t bytes[4];
    return file.ReadExact(offset, bytes, 4) && std::memcmp(bytes, signature, 4) == 0;
}

struct DirectoryPlace {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t base = 0;
};

// The ZIP64 extended information (extra field 1): 64-bit values for the
// 32-bit fields that are saturated, in the order the fields appear.
void ReadZip64Extra(const std::uint8_t* extra, std::size_t size, ZipEntry& entry) {
    while (size >= 4) {
        const std::size_t fieldSize = std::min<std::size_t>(Le16(extra + 2), size - 4);
        if (Le16(extra) == 1) {
            const std::uint8_t* data = extra + 4;
            std::size_t left = fieldSize;
            for (std::uint64_t* value :
                 {&entry.originalSize, &entry.compressedSize, &entry.localHeaderOffset}) {
                if (*value == 0xFFFFFFFFu && left >= 8) {
                    *value = Le64(data);
                    data += 8;
                    left -= 8;
                }
            }
            return;
        }
        extra += 4 + fieldSize;
        size -= 4 + fieldSize;
    }
}

// Resolves the directory described by the end record at endPos.
std::optional<DirectoryPlace> Resolve(const FileReader& file, std::uint64_t endPos,
                                      const std::uint8_t* record) {
    // Only single-volume archives: this volume holds the whole directory.
    if (Le16(record + 4) != Le16(record + 6) || Le16(record + 8) != Le16(record + 10)) {
        return std::nullopt;
    }
    std::uint64_t entries = Le16(record + 10);
    std::uint64_t size = Le32(record + 12);
    std::uint64_t offset = Le32(record + 16);
    std::uint64_t end = endPos;
    bool saturated = entries == 0xFFFF || size == 0xFFFFFFFF || offset == 0xFFFFFFFF;
    if (saturated && endPos >= kLocatorSize + kZip64RecordSize &&
        HasSignature(file, endPos - kLocatorSize, "PK\x06\x07")) {
        std::uint8_t locator[kLocatorSize];
        if (file.ReadExact(endPos - kLocatorSize, locator, sizeof locator)) {
            const std::uint64_t locatorPos = endPos - kLocatorSize;
            // The recorded place, or right before the locator when a stub moved it.
            const std::uint64_t candidates[2] = {Le64(locator + 8), locatorPos - kZip64RecordSize};
            for (std::uint64_t at : candidates) {
                std::uint8_t z[kZip64RecordSize];
                if (at > locatorPos - kZip64RecordSize || !file.ReadExact(at, z, sizeof z) ||
                    std::memcmp(z, "PK\x06\x06", 4) != 0 || Le64(z + 4) != locatorPos - at - 12) {
                    continue;
                }
                entries = Le64(z + 32);
                size = Le64(z + 40);
                offset = Le64(z + 48);
                end = at;
                break;
            }
        }
    }
    if (size == 0) {
        // An empty archive is nothing but its end record; anywhere else the
        // bytes are more likely a table inside a program than an archive.
        if (entries != 0 || endPos + 22 + Le16(record + 20) != file.Size()) {
            return std::nullopt;
        }
        return DirectoryPlace{end, end, 0};
    }
    // Where the directory really is: right before its end record. The recorded
    // offset is relative to the archive's start, which a stub has moved unless
    // the offsets were adjusted afterwards.
    if (size <= end && HasSignature(file, end - size, "PK\x01\x02")) {
        const std::uint64_t start = end - size;
        return DirectoryPlace{start, end, start >= offset ? start - offset : 0};
    }
    if (offset < end && size <= end - offset && HasSignature(file, offset, "PK\x01\x02")) {
        return DirectoryPlace{offset, offset + size, 0};
    }
    return std::nullopt;
}

}  // namespace

std::unique_ptr<ZipDirectory> ZipDirectory::Open(const FileReader& file) {
    const std::uint64_t fileSize = file.Size();
    if (fileSize < kEndRecordSize) {
        return nullptr;
    }
    const std::size_t tailSize = static_cast<std::size_t>(
        std::min<std::uint64_t>(fileSize, kEndRecordSize + kMaxCommentSize));
    const std::uint64_t tailStart = fileSize - tailSize;
    std::vector<std::uint8_t> tail = file.ReadBlock(tailStart, tailSize);
    if (tail.size() != tailSize) {
        return nullptr;
    }
    for (std::size_t i = tailSize - kEndRecordSize + 1; i-- > 0;) {
        const std::uint8_t* record = tail.data() + i;
        if (record[0] != 'P' || std::memcmp(record, "PK\x05\x06", 4) != 0) {
            continue;
        }
        // The comment must fit in the file; data after it is tolerated.
        if (i + kEndRecordSize + Le16(record + 20) > tailSize) {
            continue;
        }
        if (auto place = Resolve(file, tailStart + i, record)) {
            auto directory = std::unique_ptr<ZipDirectory>(
                new ZipDirectory(file, place->start, place->end, place->base));
            // The first record names the first local header; reading it now
            // also reads the first block, so a look-up costs no further read.
            directory->mArchiveOffset = place->start;
            ZipEntry first;
            if (directory->Next(first) && first.localHeaderOffset <= fileSize - place->base &&
                HasSignature(file, place->base + first.localHeaderOffset, "PK\x03\x04")) {
                directory->mArchiveOffset = place->base + first.localHeaderOffset;
            }
            directory->Rewind();
            return directory;
        }
    }
    return nullptr;
}

const std::uint8_t* ZipDirectory::Bytes(std::uint64_t offset, std::size_t count) {
    if (offset > mEnd || count > mEnd - offset) {
        return nullptr;
    }
    if (mWindow.empty() || offset < mWindowStart ||
        offset + count > mWindowStart + mWindow.size()) {
        std::size_t want = static_cast<std::size_t>(
            std::max<std::uint64_t>(count, std::min<std::uint64_t>(kWindowSize, mEnd - offset)));
        mWindow = mFile.ReadBlock(offset, want);
        mWindowStart = offset;
        if (mWindow.size() < count) {
            mWindow.clear();
            return nullptr;
        }
    }
    return mWindow.data() + (offset - mWindowStart);
}

bool ZipDirectory::Next(ZipEntry& entry) {
    const std::uint8_t* r = Bytes(mPos, kRecordSize);
    if (r == nullptr || std::memcmp(r, "PK\x01\x02", 4) != 0) {
        return false;
    }
    entry.versionMadeBy = Le16(r + 4);
    entry.flags = Le16(r + 8);
    entry.method = Le16(r + 10);
    entry.dosTime = Le16(r + 12);
    entry.dosDate = Le16(r + 14);
    entry.crc = Le32(r + 16);
    entry.compressedSize = Le32(r + 20);
    entry.originalSize = Le32(r + 24);
    entry.externalAttributes = Le32(r + 38);
    entry.localHeaderOffset = Le32(r + 42);
    const std::size_t nameLength = Le16(r + 28);
    const std::size_t extraLength = Le16(r + 30);
    const std::size_t recordLength = kRecordSize + nameLength + extraLength + Le16(r + 32);
    r = Bytes(mPos, recordLength);
    if (r == nullptr) {
        return false;
    }
    const char* name = reinterpret_cast<const char*>(r + kRecordSize);
    const void* nul = std::memchr(name, 0, nameLength);
    entry.name = std::string_view(
        name, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - name) : nameLength);
    ReadZip64Extra(r + kRecordSize + nameLength, extraLength, entry);
    mPos += recordLength;
    return true;
}

bool ZipEntry::IsFolder() const {
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) {
        return true;
    }
    switch (versionMadeBy >> 8) {
        case 0:   // MS-DOS
        case 6:   // OS/2 HPFS
        case 10:  // Windows NTFS
        case 14:  // VFAT
            return (externalAttributes & 0x10) != 0;
        case 3:  // Unix: the file type in the high half
            return ((externalAttributes >> 16) & 0170000) == 0040000;
        default:
            return false;
    }
}

}  // namespace mervok::plugin
