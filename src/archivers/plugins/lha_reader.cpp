#include "lha_reader.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <span>
#include <vector>

#include "libarchive_stream.h"

namespace mervok::plugin {

namespace {

constexpr int kMaxExtendedHeaders = 1024;
constexpr std::uint64_t kMaxExtendedArea = 1u << 20;

// CRC-16 (polynomial 0xA001, reflected) as LHA headers use it.
constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        }
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}
constexpr std::array<std::uint16_t, 256> kCrc16Table = MakeCrc16Table();

std::uint16_t Crc16(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrc16Table[(crc ^ data[i]) & 0xFF]);
    }
    return crc;
}

}  // namespace

bool IsLhaMethod(const std::uint8_t* m) {
    if (m[0] != '-' || m[1] != 'l' || m[4] != '-') {
        return false;
    }
    if (m[2] == 'h') {
        return (m[3] >= '0' && m[3] <= '7') || m[3] == 'd';
    }
    return m[2] == 'z' && (m[3] == 's' || m[3] == '4' || m[3] == '5');
}

namespace {

// Names end at their first NUL, whatever their stored length says.
std::string NameFrom(const void* data, std::size_t size) {
    const auto* text = static_cast<const char*>(data);
    const void* nul = std::memchr(text, 0, size);
    return std::string(text,
                       nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : size);
}

// Names from the extended headers: 0x01 the file name, 0x02 the directory
// with 0xFF between its parts.
struct ExtendedNames {
    std::string file;
    std::string directory;
    bool seen = false;
};

void NoteExtended(ExtendedNames& names, const std::uint8_t* header, std::size_t dataSize) {
    if (header[0] == 0x01) {
        names.file = NameFrom(header + 1, dataSize);
        names.seen = true;
    } else if (header[0] == 0x02) {
        names.directory = NameFrom(header + 1, dataSize);
        for (char& c : names.directory) {
            if (static_cast<unsigned char>(c) == 0xFF) {
                c = '/';
            }
        }
        names.seen = true;
    }
}

std::string JoinName(const ExtendedNames& names, std::string fallback) {
    if (!names.seen) {
        return fallback;
    }
    std::string file = names.file.empty() ? fallback : names.file;
    if (names.directory.empty()) {
        return file;
    }
    std::string joined = names.directory;
    if (joined.back() != '/') {
        joined += '/';
    }
    return joined + file;
}

// Walks a chain of extended headers inside an in-memory header. sizeWidth is
// 2 (levels 1, 2) or 4 (level 3); pos is where the first one starts. Returns
// where the chain ends, or nothing when a size leaves the header.
std::optional<std::size_t> WalkChain(const std::uint8_t* header, std::size_t headerSize,
                                     std::size_t pos, std::uint64_t firstSize, int sizeWidth,
                                     ExtendedNames* names = nullptr) {
    std::uint64_t size = firstSize;
    for (int count = 0; size != 0; ++count) {
        if (count >= kMaxExtendedHeaders || size < static_cast<std::uint64_t>(1 + sizeWidth) ||
            size > headerSize - pos) {
            return std::nullopt;
        }
        if (names != nullptr) {
            NoteExtended(*names, header + pos, static_cast<std::size_t>(size) - 1 - sizeWidth);
        }
        const std::uint8_t* sizeField = header + pos + size - sizeWidth;
        pos += static_cast<std::size_t>(size);
        size = sizeWidth == 2 ? Le16(sizeField) : Le32(sizeField);
    }
    return pos;
}

void FillCommon(LhaHeader& h, const std::uint8_t* base) {
    std::memcpy(h.method, base + 2, 5);
    h.method[5] = '\0';
    h.originalSize = Le32(base + 11);
    h.attribute = base[19];
    h.stamp = Le32(base + 15);
}

std::optional<LhaHeader> ReadLevel01(const FileReader& file, std::uint64_t offset, int level,
                                     const std::uint8_t* fixed) {
    std::size_t baseSize = static_cast<std::size_t>(fixed[0]) + 2;
    std::size_t nameLength = fixed[21];
    std::size_t needed = 22 + nameLength + 2 + (level == 1 ? 3 : 0);
    if (baseSize < needed) {
        return std::nullopt;
    }
    std::uint8_t base[257 + 2];
    if (!file.ReadExact(offset, base, baseSize)) {
        return std::nullopt;
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < baseSize; ++i) {
        sum = static_cast<std::uint8_t>(sum + base[i]);
    }
    if (sum != base[1]) {
        return std::nullopt;
    }
    LhaHeader h;
    h.level = level;
    FillCommon(h, base);
    h.crc = Le16(base + 22 + nameLength);
    std::string baseName = NameFrom(base + 22, nameLength);
    h.name = baseName;
    std::uint64_t stored = Le32(base + 7);
    h.headerSize = baseSize;
    if (level == 0) {
        h.osId = baseSize > 24 + nameLength ? base[24 + nameLength] : 'M';
        h.packedSize = stored;
    } else {
        // Level 1 counts its extended headers in the stored size.
        h.osId = base[24 + nameLength];
        std::uint64_t extended = 0;
        std::uint64_t pos = offset + baseSize;
        std::uint16_t size = Le16(base + baseSize - 2);
        for (int count = 0; size != 0; ++count) {
            if (count >= kMaxExtendedHeaders || size < 3 || extended + size > stored) {
                return std::nullopt;
            }
            std::uint8_t next[2];
            if (!file.ReadExact(pos + size - 2, next, 2)) {
                return std::nullopt;
            }
            extended += size;
            pos += size;
            size = Le16(next);
        }
        h.headerSize = baseSize + extended;
        h.packedSize = stored - extended;
        if (extended > 0 && extended <= kMaxExtendedArea) {
            std::vector<std::uint8_t> area =
                file.ReadBlock(offset + baseSize, static_cast<std::size_t>(extended));
            ExtendedNames names;
            if (area.size() == extended &&
                WalkChain(area.data(), area.size(), 0, Le16(base + baseSize - 2), 2, &names)) {
                h.name = JoinName(names, baseName);
            }
        }
    }
    h.next = offset + h.headerSize + h.packedSize;
    return h;
}

std::optional<LhaHeader> ReadLevel23(const FileReader& file, std::uint64_t offset, int level,
                                     const std::uint8_t* fixed) {
    std::uint64_t total = level == 2 ? Le16(fixed) : Le32(fixed + 24);
    std::size_t chainStart = level == 2 ? 26 : 32;
    if (level == 3 && (Le16(fixed) != 4 || total > (1u << 20))) {
        return std::nullopt;
    }
    if (total < chainStart || total > file.Size() - offset) {
        return std::nullopt;
    }
    const int width = level == 2 ? 2 : 4;
    {
        // Walk the chain of extended headers through small reads first: a
        // look-alike fails here instead of after reading all it claims.
        std::uint64_t pos = chainStart;
        std::uint64_t size = level == 2 ? Le16(fixed + 24) : Le32(fixed + 28);
        for (int count = 0; size != 0; ++count) {
            std::uint8_t sizeField[4];
            if (count >= kMaxExtendedHeaders || size < static_cast<std::uint64_t>(1 + width) ||
                size > total - pos ||
                !file.ReadExact(offset + pos + size - width, sizeField, width)) {
                return std::nullopt;
            }
            pos += size;
            size = width == 2 ? Le16(sizeField) : Le32(sizeField);
        }
        if (pos != total && pos + 1 != total) {
            return std::nullopt;
        }
    }
    // Headers are small; only an unusual one needs the heap.
    std::array<std::uint8_t, 2048> local;
    std::vector<std::uint8_t> large;
    std::span<std::uint8_t> header;
    if (total <= local.size()) {
        header = std::span<std::uint8_t>(local.data(), static_cast<std::size_t>(total));
    } else {
        large.resize(static_cast<std::size_t>(total));
        header = large;
    }
    if (!file.ReadExact(offset, header.data(), header.size())) {
        return std::nullopt;
    }
    std::uint64_t firstSize = level == 2 ? Le16(header.data() + 24) : Le32(header.data() + 28);
    ExtendedNames names;
    auto end =
        WalkChain(header.data(), header.size(), chainStart, firstSize, level == 2 ? 2 : 4, &names);
    // Some writers pad a level-2 header by one byte.
    if (!end || (*end != total && *end + 1 != total)) {
        return std::nullopt;
    }
    // The common extended header (type 0) holds a CRC-16 of the whole header.
    std::size_t pos = chainStart;
    std::uint64_t size = firstSize;
    while (size != 0) {
        if (header[pos] == 0 && size >= static_cast<std::uint64_t>(3 + width)) {
            std::uint16_t stored = Le16(header.data() + pos + 1);
            header[pos + 1] = header[pos + 2] = 0;
            if (Crc16(header.data(), header.size()) != stored) {
                return std::nullopt;
            }
            break;
        }
        const std::uint8_t* sizeField = header.data() + pos + size - width;
        pos += static_cast<std::size_t>(size);
        size = width == 2 ? Le16(sizeField) : Le32(sizeField);
    }
    LhaHeader h;
    h.level = level;
    FillCommon(h, header.data());
    h.attribute = 0;
    h.name = JoinName(names, std::string());
    h.crc = Le16(header.data() + 21);
    h.osId = header[23];
    h.headerSize = total;
    h.packedSize = Le32(header.data() + 7);
    h.next = offset + total + h.packedSize;
    return h;
}

}  // namespace

std::optional<LhaHeader> ReadLhaHeader(const FileReader& file, std::uint64_t offset) {
    std::uint8_t fixed[32];
    if (!file.ReadExact(offset, fixed, 22) || !IsLhaMethod(fixed + 2)) {
        return std::nullopt;
    }
    int level = fixed[20];
    if (level == 0 || level == 1) {
        return ReadLevel01(file, offset, level, fixed);
    }
    if (level == 2 || level == 3) {
        if (!file.ReadExact(offset, fixed, 32)) {
            return std::nullopt;
        }
        return ReadLevel23(file, offset, level, fixed);
    }
    return std::nullopt;
}

namespace {

void DosStamp(std::time_t t, std::uint16_t& date, std::uint16_t& time) {
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr || local.tm_year < 80 || local.tm_year > 207) {
        date = 0;
        time = 0;
        return;
    }
    date = static_cast<std::uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                      local.tm_mday);
    time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) |
                                      (local.tm_sec / 2));
}

std::uint32_t LhaOsType(std::uint8_t id) {
    switch (id) {
        case 'M':
        case 'W':
        case 'w':
            return 0;
        case 'U':
            return 2;
        case 'm':
            return 4;
        case '2':
            return 5;
        default:
            return 10;
    }
}

// One entry's data, decompressed by libarchive. It reads a level-0 header
// written afresh with a plain name, then the entry's data: libarchive gives
// up on entries whose stored names it cannot convert to the locale.
class LhaData final : public EntryData {
  public:
    LhaData(const FileReader& file, const LhaHeader& header, std::uint64_t at)
        : mStream(file, at + header.headerSize, PlainHeader(header)) {}

    bool Start() {
        mHandle = OpenLibarchive(mStream, archive_read_support_format_lha);
        struct archive_entry* entry = nullptr;
        return mHandle && archive_read_next_header(mHandle.get(), &entry) == ARCHIVE_OK;
    }

    std::ptrdiff_t Read(void* out, std::size_t count) override {
        if (mFailed) {
            return -1;
        }
        const la_ssize_t got = archive_read_data(mHandle.get(), out, count);
        mFailed = got < 0;
        return mFailed ? -1 : static_cast<std::ptrdiff_t>(got);
    }

  private:
    static std::vector<std::uint8_t> PlainHeader(const LhaHeader& header) {
        std::vector<std::uint8_t> h(24 + 1, 0);
        h[0] = static_cast<std::uint8_t>(h.size() - 2);
        std::memcpy(&h[2], header.method, 5);
        const std::uint32_t fields[] = {static_cast<std::uint32_t>(header.packedSize),
                                        static_cast<std::uint32_t>(header.originalSize),
                                        0x2A430000};  // 2001-02-03, any valid date
        for (int i = 0; i < 3; ++i) {
            for (int b = 0; b < 4; ++b) {
                h[7 + 4 * i + b] = static_cast<std::uint8_t>(fields[i] >> (8 * b));
            }
        }
        h[19] = 0x20;
        h[21] = 1;
        h[22] = 'x';
        h[23] = static_cast<std::uint8_t>(header.crc);
        h[24] = static_cast<std::uint8_t>(header.crc >> 8);
        std::uint8_t sum = 0;
        for (std::size_t i = 2; i < h.size(); ++i) {
            sum = static_cast<std::uint8_t>(sum + h[i]);
        }
        h[1] = sum;
        return h;
    }

    LibarchiveStream mStream;
    LibarchivePtr mHandle;
    bool mFailed = false;
};

class LhaReader final : public ArchiveReader {
  public:
    LhaReader(std::unique_ptr<FileReader> file, std::uint64_t offset)
        : mFile(std::move(file)), mStart(offset), mNext(offset) {}

    Format Kind() const override { return Format::Lha; }

    void Rewind() override {
        mNext = mStart;
        mCurrent.reset();
        mDamaged = false;
    }

    const ArchiveEntry* Next() override {
        mCurrent.reset();
        // Each header lies strictly after the previous one, so the walk ends.
        std::uint8_t mark = 0;
        // The end mark, or the file's end right after an entry, ends it cleanly.
        mDamaged |= mNext > mFile->Size();
        if (mNext < mFile->Size() && mFile->ReadExact(mNext, &mark, 1) && mark != 0) {
            const std::uint64_t at = mNext;
            mCurrent = ReadLhaHeader(*mFile, at);
            if (mCurrent) {
                mCurrentAt = at;
                mNext = mCurrent->next;
                Describe(*mCurrent);
                return &mEntry;
            }
            mDamaged = true;
        }
        mNext = mFile->Size();
        return nullptr;
    }

    std::unique_ptr<EntryData> OpenData() override {
        // libarchive decodes lh0 and lh5 to lh7; it knows no other method.
        static const char* const kReadable[] = {"-lh0-", "-lh5-", "-lh6-", "-lh7-"};
        if (!mCurrent || mEntry.isFolder ||
            std::none_of(std::begin(kReadable), std::end(kReadable),
                         [this](const char* m) { return mEntry.method == m; })) {
            return nullptr;
        }
        auto data = std::make_unique<LhaData>(*mFile, *mCurrent, mCurrentAt);
        return data->Start() ? std::move(data) : nullptr;
    }

    bool Damaged() const override { return mDamaged; }

  private:
    void Describe(const LhaHeader& header) {
        mEntry = ArchiveEntry{};
        mEntry.name = header.name;
        mEntry.originalSize = header.originalSize;
        mEntry.compressedSize = header.packedSize;
        mEntry.crc = header.crc;
        mEntry.osType = header.level == 0 ? 0 : LhaOsType(header.osId);
        if (header.level < 2) {
            mEntry.dosTime = static_cast<std::uint16_t>(header.stamp & 0xFFFF);
            mEntry.dosDate = static_cast<std::uint16_t>(header.stamp >> 16);
            mEntry.dosAttributes = header.attribute;
        } else {
            DosStamp(static_cast<std::time_t>(header.stamp), mEntry.dosDate, mEntry.dosTime);
            mEntry.dosAttributes = 0x20;
        }
        mEntry.method = header.method;
        mEntry.isFolder = mEntry.method == "-lhd-";
    }

    std::unique_ptr<FileReader> mFile;
    std::uint64_t mStart;
    std::uint64_t mNext;  // where the next header starts
    std::optional<LhaHeader> mCurrent;
    std::uint64_t mCurrentAt = 0;
    ArchiveEntry mEntry;
    bool mDamaged = false;
};

}  // namespace

std::unique_ptr<ArchiveReader> OpenLhaReader(std::unique_ptr<FileReader> file,
                                             std::uint64_t offset) {
    return std::make_unique<LhaReader>(std::move(file), offset);
}

}  // namespace mervok::plugin
