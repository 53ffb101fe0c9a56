#include "archive_locator.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "cab_reader.h"
#include "lha_reader.h"

namespace mervok::plugin {

namespace {

// How far behind a stub's end, and how far into a stub, the scan looks.
constexpr std::uint64_t kScanLimit = 8u << 20;

constexpr std::size_t kScanChunk = 1u << 20;
constexpr int kMaxScanCandidates = 1024;
// What validating the candidates of one scan may read beyond twice the range.
constexpr std::uint64_t kScanAllowance = 256u << 10;

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

// What starts at one place of a file. Foreign: an archive of another kind.
enum class Start { None, Lha, Zip, Cab, Foreign };

bool Matches(const std::uint8_t* bytes, std::size_t size, std::string_view magic,
             std::size_t at = 0) {
    return size >= at + magic.size() && std::memcmp(bytes + at, magic.data(), magic.size()) == 0;
}

// Signatures of other archive and compression formats, checked where the
// file or the data behind a stub begins.
bool ForeignSignature(const std::uint8_t* b, std::size_t size) {
    using namespace std::string_view_literals;
    static constexpr std::string_view kMagics[] = {
        "Rar!\x1a\x07"sv,              // RAR 4 and 5
        "7z\xbc\xaf\x27\x1c"sv,        // 7-Zip
        "\x1f\x8b\x08"sv,              // gzip
        "\xfd\x37\x7a\x58\x5a\x00"sv,  // xz
        "\x28\xb5\x2f\xfd"sv,          // Zstandard
        "LZIP"sv,                      // lzip
        "\x1f\x9d"sv,                  // compress
        "!<arch>\n"sv,                 // ar
        "070701"sv,
        "070702"sv,
        "070707"sv,  // cpio
    };
    for (std::string_view magic : kMagics) {
        if (Matches(b, size, magic)) {
            return true;
        }
    }
    // bzip2: "BZh", the block size, then a block or the end of the stream.
    if (Matches(b, size, "BZh") && size >= 10 && b[3] >= '1' && b[3] <= '9' &&
        (Matches(b, size, "\x31\x41\x59\x26\x53\x59", 4) ||
         Matches(b, size, "\x17\x72\x45\x38\x50\x90", 4))) {
        return true;
    }
    // ARJ: the main header's size is at most 2600 bytes.
    if (size >= 4 && b[0] == 0x60 && b[1] == 0xEA && Le16(b + 2) != 0 && Le16(b + 2) <= 2600) {
        return true;
    }
    return Matches(b, size, "ustar", 257) || Matches(b, size, "**ACE**", 7);
}

// The few foreign formats whose start can be told from noise by a checksum,
// for the scan behind a stub: RAR 4, RAR 5 and 7-Zip.
bool ForeignArchiveAt(const FileReader& file, std::uint64_t offset) {
    using namespace std::string_view_literals;
    std::uint8_t h[32];
    const std::size_t got = file.ReadAt(offset, h, sizeof h);
    if (Matches(h, got, "Rar!\x1a\x07\x00"sv) && got >= 20) {
        // The main header (type 0x73) and the low half of its CRC-32.
        const std::size_t size = Le16(h + 12);
        return h[9] == 0x73 && size >= 7 && size <= got - 7 &&
               (crc32(0, h + 9, static_cast<uInt>(size - 2)) & 0xFFFF) == Le16(h + 7);
    }
    if (Matches(h, got, "Rar!\x1a\x07\x01\x00"sv) && got >= 15) {
        // CRC-32, then the main header's size and type (1), both one-byte
        // numbers in any real archive.
        const std::size_t size = h[12];
        return size < 0x80 && h[13] == 1 && size <= got - 13 &&
               crc32(0, h + 12, static_cast<uInt>(size + 1)) == Le32(h + 8);
    }
    return Matches(h, got, "7z\xbc\xaf\x27\x1c") && got == sizeof h &&
           crc32(0, h + 12, 20) == Le32(h + 8);
}

// What starts at offset. zipAt is where the file's ZIP begins, as its
// central directory says.
Start StartAt(const FileReader& file, std::uint64_t offset, std::optional<std::uint64_t> zipAt,
              bool scanned) {
    if (zipAt == offset) {
        return Start::Zip;
    }
    std::uint8_t b[264];
    const std::size_t got = file.ReadAt(offset, b, sizeof b);
    if (got >= 7 && b[2] == '-' && IsLhaMethod(b + 2)) {
        auto header = ReadLhaHeader(file, offset);
        if (header && (!scanned || LhaChainPlausible(file, *header))) {
            return Start::Lha;
        }
    }
    if (Matches(b, got, "MSCF") && ReadCabHeader(file, offset)) {
        return Start::Cab;
    }
    if (scanned) {
        // A local header the directory does not lead to belongs to data
        // stored in something else, or to a ZIP that cannot be read.
        return (b[0] == 'R' || b[0] == '7') && ForeignArchiveAt(file, offset) ? Start::Foreign
                                                                              : Start::None;
    }
    if (Matches(b, got, "PK\x03\x04")) {
        return Start::Zip;
    }
    return ForeignSignature(b, got) ? Start::Foreign : Start::None;
}

struct Found {
    Start start = Start::None;
    std::uint64_t offset = 0;
};

// The first validated archive start in [from, to). Real stubs hold a handful
// of signature look-alikes; crafted ones may hold thousands, each claiming
// large headers, so the scan stops after a number of candidates and reads
// at most a small multiple of the range, whatever the candidates claim.
Found Scan(const FileReader& file, std::uint64_t from, std::uint64_t to,
           std::optional<std::uint64_t> zipAt) {
    constexpr std::size_t kOverlap = 8;
    FileReader::Budget budget(file, 2 * (to - from) + kScanAllowance);
    int candidates = 0;
    for (std::uint64_t start = from; start < to; start += kScanChunk) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kScanChunk, to - start));
        const std::vector<std::uint8_t> chunk = file.ReadBlock(start, want + kOverlap);
        if (chunk.empty()) {
            break;
        }
        const std::size_t limit = std::min(want, chunk.size());
        for (std::size_t i = 0; i < limit; ++i) {
            const std::uint8_t* b = chunk.data() + i;
            const std::size_t left = chunk.size() - i;
            const bool lha = left >= 7 && b[2] == '-' && b[3] == 'l' && IsLhaMethod(b + 2);
            const bool other = (b[0] == 'M' && Matches(b, left, "MSCF")) ||
                               (b[0] == 'R' && Matches(b, left, "Rar!")) ||
                               (b[0] == '7' && Matches(b, left, "7z\xbc\xaf"));
            if (!lha && !other && zipAt != start + i) {
                continue;
            }
            const Start found = StartAt(file, start + i, zipAt, true);
            if (found != Start::None) {
                return {found, start + i};
            }
            if (++candidates >= kMaxScanCandidates) {
                return {};
            }
        }
    }
    return {};
}

bool IsExecutable(const FileReader& file) {
    std::uint8_t magic[2];
    return file.ReadExact(0, magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

// End of a PE executable's image: the last section's raw data or the COFF
// symbol and string tables an unstripped linker output carries behind it.
// That is where a self-extractor's appended archive starts. Nothing for other
// files.
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
    // The symbol table, then the string table, which begins with its size.
    const std::uint64_t symbols = Le32(coff + 12);
    const std::uint64_t strings = symbols + Le32(coff + 16) * std::uint64_t{18};
    std::uint8_t stringsSize[4];
    if (symbols >= end && file.ReadExact(strings, stringsSize, 4) &&
        strings + Le32(stringsSize) <= file.Size()) {
        end = strings + std::max<std::uint32_t>(4, Le32(stringsSize));
    }
    return end;
}

}  // namespace

std::optional<LocatedArchive> LocateArchive(const FileReader& file, std::optional<Format> wanted) {
    LocatedArchive located;
    auto result = [&](Found found) -> std::optional<LocatedArchive> {
        if (found.start == Start::None || found.start == Start::Foreign) {
            return std::nullopt;
        }
        located.format = found.start == Start::Lha   ? Format::Lha
                         : found.start == Start::Cab ? Format::Cab
                                                     : Format::Zip;
        located.offset = found.offset;
        if (located.format != Format::Zip) {
            located.zip.reset();
        }
        return std::move(located);
    };
    const bool executable = IsExecutable(file);
    if (!executable) {
        // A plain file that begins with an archive of another format is that
        // one: the ZIP directory at its end need not be read.
        const Start atStart = StartAt(file, 0, std::nullopt, false);
        if (atStart == Start::Lha || atStart == Start::Cab || atStart == Start::Foreign) {
            return result({atStart, 0});
        }
    }
    located.zip = ZipDirectory::Open(file);
    if (wanted == Format::Zip && !located.zip) {
        return std::nullopt;
    }
    std::optional<std::uint64_t> zipAt;
    if (located.zip) {
        zipAt = located.zip->ArchiveOffset();
    }
    if (!executable) {
        // A plain file is what it begins with; a ZIP may have anything else
        // in front of it (a stub of another system, a script).
        const Start atStart = StartAt(file, 0, zipAt, false);
        if (atStart == Start::None && zipAt) {
            return result({Start::Zip, *zipAt});
        }
        return result({atStart, 0});
    }
    const std::uint64_t size = file.Size();
    const auto overlay = PeOverlayOffset(file);
    if (overlay && *overlay < size) {
        if (Start atOverlay = StartAt(file, *overlay, zipAt, false); atOverlay != Start::None) {
            return result({atOverlay, *overlay});
        }
        // Some stubs pad or prefix their archive.
        if (Found found = Scan(file, *overlay, std::min(size, *overlay + kScanLimit), zipAt);
            found.start != Start::None) {
            return result(found);
        }
        if (zipAt && *zipAt >= *overlay) {
            return result({Start::Zip, *zipAt});
        }
    }
    // The archive may also sit inside the image, e.g. as a resource.
    const std::uint64_t end = std::min(overlay.value_or(size), std::min(size, kScanLimit));
    if (Found found = Scan(file, 0, end, zipAt); found.start != Start::None) {
        return result(found);
    }
    return zipAt ? result({Start::Zip, *zipAt}) : std::nullopt;
}

}  // namespace mervok::plugin