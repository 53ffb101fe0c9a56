#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "file_reader.h"
#include "zip_directory.h"

namespace mervok::plugin {

enum class Format { Lha, Zip, Cab };

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

// Parses and validates the LHA header at offset: a known method id, a header
// checksum (levels 0 and 1) or a consistent extended-header chain (level 2),
// sizes within the file.
std::optional<LhaHeader> ReadLhaHeader(const FileReader& file, std::uint64_t offset);

// The fixed part of a cabinet header.
struct CabHeader {
    std::uint32_t cabinetSize = 0;
    std::uint32_t filesOffset = 0;
    std::uint16_t folderCount = 0;
    std::uint16_t fileCount = 0;
    std::uint16_t flags = 0;
};

// Parses and validates the cabinet header at offset: signature, zero reserved
// fields, version 1.3, the cabinet and its file table within the file.
std::optional<CabHeader> ReadCabHeader(const FileReader& file, std::uint64_t offset);

// End of a PE executable's image: the last section's raw data or the COFF
// symbol and string tables an unstripped linker output carries behind it.
// That is where a self-extractor's appended archive starts. Nothing for other
// files.
std::optional<std::uint64_t> PeOverlayOffset(const FileReader& file);

// The file's own archive, the outermost one: what starts at the beginning of
// a plain file, or behind an executable's stub the first archive start found
// from the end of its image on (a bounded, validated scan; failing that, one
// inside the image, e.g. in a resource). Archives stored inside another never
// count, so at most one format is named for a file.
struct LocatedArchive {
    Format format = Format::Lha;
    std::uint64_t offset = 0;           // where the archive starts
    std::unique_ptr<ZipDirectory> zip;  // ZIP: its central directory
};

// Nothing when no archive of the three formats is the file's own, also when
// the file is an archive of another kind (RAR, 7z, gzip, ...) that may store
// one of ours.
std::optional<LocatedArchive> LocateArchive(const FileReader& file);

// How far behind a stub's end, and how far into a stub, the scan looks.
inline constexpr std::uint64_t kScanLimit = 8u << 20;

}  // namespace mervok::plugin
