#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "archive_reader.h"
#include "file_reader.h"

namespace mervok::plugin {

// What the first bytes of one LHA entry header say.
struct LhaHeader {
    int level = 0;
    char method[6] = {};           // "-lh5-", NUL-terminated
    std::uint64_t headerSize = 0;  // bytes from the header start to the stored data
    std::uint64_t packedSize = 0;
    std::uint64_t originalSize = 0;
    std::uint64_t next = 0;  // where the following header starts
    std::uint16_t crc = 0;
    std::uint8_t osId = 0;
    std::uint8_t attribute = 0;  // MS-DOS attribute byte (level 0 and 1)
    std::uint32_t stamp = 0;     // MS-DOS date and time (levels 0, 1), Unix time (2, 3)
    std::string name;            // directory and file name as stored, '/' between
};

// "-lh0-" .. "-lh7-", "-lhd-", "-lzs-", "-lz4-", "-lz5-" in the five bytes at m.
bool IsLhaMethod(const std::uint8_t* m);

// Parses and validates the LHA header at offset: a known method id, a header
// checksum (levels 0 and 1) or a consistent extended-header chain (level 2),
// sizes within the file.
std::optional<LhaHeader> ReadLhaHeader(const FileReader& file, std::uint64_t offset);

// The LHA archive starting at offset. Headers are walked directly:
// libarchive's reader gives up on names it cannot convert to the caller's
// locale (Shift-JIS in a C or UTF-8 locale), and names must be compared as
// stored. An entry's data is read by libarchive from its header on.
std::unique_ptr<ArchiveReader> OpenLhaReader(std::unique_ptr<FileReader> file,
                                             std::uint64_t offset);

}  // namespace mervok::plugin
