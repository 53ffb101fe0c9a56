#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "archive_reader.h"
#include "file_reader.h"

namespace mervok::plugin {

// The fixed part of a cabinet header.
struct CabHeader {
    std::uint32_t cabinetSize = 0;
    std::uint32_t filesOffset = 0;
    std::uint16_t folderCount = 0;
    std::uint16_t fileCount = 0;
    std::uint16_t flags = 0;
};

// Parses and validates the cabinet header at offset: signature, zero reserved
// fields, version 1.3, the cabinet and its file table within the file (cut:
// only the start of the file table, for a cabinet cut short).
std::optional<CabHeader> ReadCabHeader(const FileReader& file, std::uint64_t offset,
                                       bool cut = false);

// The cabinet starting at offset, listed and read by libarchive from a
// stream that starts there; nullptr when libarchive does not take it. cut:
// the cabinet may be cut short; it reports Damaged.
std::unique_ptr<ArchiveReader> OpenCabReader(std::unique_ptr<FileReader> file, std::uint64_t offset,
                                             bool cut = false);

}  // namespace mervok::plugin
