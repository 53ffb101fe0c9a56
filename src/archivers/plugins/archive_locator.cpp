#include "archive_locator.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

namespace mervok::plugin {

namespace {

constexpr std::size_t kScanChunk = 1u << 20;
constexpr int kMaxScanCandidates = 1024;
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

// "-lh0-" .. "-lh7-", "-lhd-", "-lzs-", "-lz4-", "-lz5-".
bool IsLhaMethod(const std::uint8_t* m) {
    if (m[0] != '-' || m[1] != 'l' || m[4] != '-') {
        return false;
    }
    if (m[2] == 'h') {
        return (m[3] >= '0' && m[3] <= '7') || m[3] == 'd';
    }
    return m[2] == 'z' && (m[3] == 's' || m[3] == '4' || m[3] == '5');
}

// Names from the extended headers: 0x01 the file name, 0x02 the directory
// with 0xFF between its parts.
struct ExtendedNames {
    std::string file;
    std::string directory;
    bool seen = false;
};

void NoteExtended(ExtendedNames& names, const std::uint8_t* header, std::size_t dataSize) {
    const char* data = reinterpret_cast<const char*>(header + 1);
    if (header[0] == 0x01) {
        names.file.assign(data, dataSize);
        names.seen = true;
    } else if (header[0] == 0x02) {
        names.directory.assign(data, dataSize);
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
    std::string baseName(reinterpret_cast<const char*>(base + 22), nameLength);
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
    int width = level == 2 ? 2 : 4;
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

// A header found by scanning must be followed by the end mark, the end of the
// file or another header: method names inside an extractor's code rarely are.
bool LhaChainPlausible(const FileReader& file, const LhaHeader& first) {
    if (first.next > file.Size()) {
        return false;
    }
    if (first.next == file.Size()) {
        return true;
    }
    std::uint8_t mark = 1;
    if (file.ReadExact(first.next, &mark, 1) && mark == 0) {
        return true;
    }
    return ReadLhaHeader(file, first.next).has_value();
}

bool ValidAt(const FileReader& file, std::uint64_t offset, Format format, bool scanned) {
    if (format == Format::Cab) {
        return ReadCabHeader(file, offset).has_value();
    }
    auto header = ReadLhaHeader(file, offset);
    return header && (!scanned || LhaChainPlausible(file, *header));
}

// Looks for a validated signature in [from, to).
std::optional<std::uint64_t> Scan(const FileReader& file, std::uint64_t from, std::uint64_t to,
                                  Format format) {
    const std::size_t overlap = 8;
    std::vector<std::uint8_t> chunk;
    // Real stubs hold a handful of signature look-alikes; a file crafted with
    // millions of them must not make the scan read megabytes for each.
    int candidates = 0;
    for (std::uint64_t start = from; start < to; start += kScanChunk) {
        std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kScanChunk, to - start));
        chunk = file.ReadBlock(start, want + overlap);
        if (chunk.size() < 5) {
            break;
        }
        const std::size_t limit = std::min(want, chunk.size() - 4);
        for (std::size_t i = 0; i < limit; ++i) {
            if (format == Format::Cab) {
                if (chunk[i] != 'M' || std::memcmp(&chunk[i], "MSCF", 4) != 0) {
                    continue;
                }
                if (ValidAt(file, start + i, format, true)) {
                    return start + i;
                }
                if (++candidates >= kMaxScanCandidates) {
                    return std::nullopt;
                }
            } else {
                // i is where "-l?" sits, two bytes after the header start.
                if (chunk[i] != '-' || i + 5 > chunk.size() || !IsLhaMethod(&chunk[i]) ||
                    start + i < 2) {
                    continue;
                }
                if (ValidAt(file, start + i - 2, format, true)) {
                    return start + i - 2;
                }
                if (++candidates >= kMaxScanCandidates) {
                    return std::nullopt;
                }
            }
        }
    }
    return std::nullopt;
}

bool OverlayHoldsOtherFormat(const FileReader& file, std::uint64_t overlay, Format format) {
    std::uint8_t magic[4];
    if (!file.ReadExact(overlay, magic, sizeof magic)) {
        return false;
    }
    if (std::memcmp(magic, "PK\x03\x04", 4) == 0) {
        return true;
    }
    return format == Format::Lha ? ReadCabHeader(file, overlay).has_value()
                                 : ReadLhaHeader(file, overlay).has_value();
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

std::optional<CabHeader> ReadCabHeader(const FileReader& file, std::uint64_t offset) {
    std::uint8_t h[36];
    if (!file.ReadExact(offset, h, sizeof h) || std::memcmp(h, "MSCF", 4) != 0) {
        return std::nullopt;
    }
    CabHeader cab;
    cab.cabinetSize = Le32(h + 8);
    cab.filesOffset = Le32(h + 16);
    cab.folderCount = Le16(h + 26);
    cab.fileCount = Le16(h + 28);
    cab.flags = Le16(h + 30);
    bool plausible = Le32(h + 4) == 0 && Le32(h + 12) == 0 && Le32(h + 20) == 0 && h[24] == 3 &&
                     h[25] == 1 && cab.cabinetSize >= sizeof h &&
                     cab.cabinetSize <= file.Size() - offset && cab.filesOffset >= sizeof h &&
                     cab.filesOffset < cab.cabinetSize && cab.folderCount > 0 &&
                     cab.fileCount > 0 && (cab.flags & ~7u) == 0;
    if (!plausible) {
        return std::nullopt;
    }
    return cab;
}

std::optional<std::uint64_t> PeOverlayOffset(const FileReader& file) {
    std::uint8_t dos[64];
    if (!file.ReadExact(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
        return std::nullopt;
    }
    std::uint64_t pe = Le32(dos + 0x3C);
    std::uint8_t coff[24];
    if (!file.ReadExact(pe, coff, sizeof coff) || std::memcmp(coff, "PE\0\0", 4) != 0) {
        return std::nullopt;
    }
    unsigned sections = Le16(coff + 6);
    std::uint64_t table = pe + sizeof coff + Le16(coff + 20);
    if (sections == 0 || sections > 96) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> entries = file.ReadBlock(table, sections * 40u);
    if (entries.size() != sections * 40u) {
        return std::nullopt;
    }
    std::uint64_t end = table + sections * 40u;
    for (unsigned i = 0; i < sections; ++i) {
        const std::uint8_t* s = entries.data() + i * 40;
        std::uint64_t rawSize = Le32(s + 16);
        std::uint64_t rawPointer = Le32(s + 20);
        if (rawSize != 0) {
            end = std::max(end, rawPointer + rawSize);
        }
    }
    if (end > file.Size()) {
        return std::nullopt;
    }
    return end;
}

std::optional<std::uint64_t> LocateArchive(const FileReader& file, Format format) {
    if (ValidAt(file, 0, format, false)) {
        return 0;
    }
    std::uint8_t magic[2];
    if (!file.ReadExact(0, magic, 2) || magic[0] != 'M' || magic[1] != 'Z') {
        return std::nullopt;
    }
    const std::uint64_t size = file.Size();
    auto overlay = PeOverlayOffset(file);
    if (overlay && *overlay < size) {
        if (ValidAt(file, *overlay, format, false)) {
            return overlay;
        }
        // Some stubs pad or prefix their archive: look a little further on,
        // unless the overlay plainly is an archive of another format, whose
        // stored members must not be taken for the archive itself.
        if (!OverlayHoldsOtherFormat(file, *overlay, format)) {
            if (auto found = Scan(file, *overlay, std::min(size, *overlay + kScanLimit), format)) {
                return found;
            }
        }
    }
    // The archive may also sit inside a section, e.g. as a resource.
    std::uint64_t end = std::min(size, kScanLimit);
    if (overlay) {
        end = std::min(end, *overlay);
    }
    return Scan(file, 0, end, format);
}

}  // namespace mervok::plugin
