#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "archive_reader.h"
#include "file_reader.h"
#include "zip_directory.h"

namespace mervok::plugin {

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
// one of ours. A caller that can use one format only names it, so that a
// file that cannot be of that format is given up early: without a central
// directory there is no ZIP, whatever a scan of an executable would find.
std::optional<LocatedArchive> LocateArchive(const FileReader& file,
                                            std::optional<Format> wanted = std::nullopt);

}  // namespace mervok::plugin
