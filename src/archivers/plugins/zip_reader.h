#pragma once

#include <memory>

#include "archive_reader.h"
#include "file_reader.h"
#include "zip_directory.h"

namespace mervok::plugin {

// A ZIP archive listed from its central directory (which refers to file).
// Stored and deflated entries are read from their local headers, ZIP64
// included; the data is checked against its CRC-32 at the end.
std::unique_ptr<ArchiveReader> OpenZipReader(std::unique_ptr<FileReader> file,
                                             std::unique_ptr<ZipDirectory> directory);

// A plain ZIP whose central directory is lost (cut short), listed from its
// local headers; see OpenCutArchiveReader.
std::unique_ptr<ArchiveReader> OpenCutZipReader(std::unique_ptr<FileReader> file);

}  // namespace mervok::plugin
