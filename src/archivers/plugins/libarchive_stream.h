#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "file_reader.h"

struct archive;

namespace mervok::plugin {

struct ArchiveFree {
    void operator()(struct archive* handle) const;
};
// A libarchive read handle.
using LibarchivePtr = std::unique_ptr<struct archive, ArchiveFree>;

// What libarchive reads: some bytes of our own (a header written afresh),
// then the file from `base` on (an archive behind a stub, or one entry's
// data: libarchive's decoders read ahead beyond it).
struct LibarchiveStream {
    LibarchiveStream(const FileReader& file, std::uint64_t base,
                     std::vector<std::uint8_t> prefix = {});
    std::uint64_t Length() const;

    const FileReader* file;
    std::uint64_t base;
    std::vector<std::uint8_t> prefix;
    std::uint64_t pos = 0;  // in the stream
    std::vector<std::uint8_t> buffer;
};

// A handle reading stream with the one format that support enables, opened;
// nullptr when libarchive does not take the data. The stream must outlive
// the handle.
LibarchivePtr OpenLibarchive(LibarchiveStream& stream, int (*support)(struct archive*));

}  // namespace mervok::plugin
