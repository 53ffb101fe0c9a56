#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "file_reader.h"

namespace mervok::plugin {

// One record of a ZIP central directory, sizes and offset taken from the
// ZIP64 extra field where the 32-bit fields say so. name points into the
// directory buffer and is valid until the next call of ZipDirectory::Next.
struct ZipEntry {
    std::string_view name;  // up to the first NUL
    std::uint16_t versionMadeBy = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t originalSize = 0;
    std::uint64_t localHeaderOffset = 0;  // as recorded: relative to Base()
    std::uint32_t externalAttributes = 0;
    // A trailing separator, or the folder bit of the attributes its maker wrote.
    bool IsFolder() const;
};

// The central directory of a ZIP archive, found from the end-of-central-
// directory record (and its ZIP64 counterpart) and read in large blocks: all
// names of an archive sit there, so one read usually answers a look-up. The
// directory's position is taken from where it really lies, so archives behind
// a self-extractor stub work whether or not their offsets were adjusted.
class ZipDirectory {
  public:
    static std::unique_ptr<ZipDirectory> Open(const FileReader& file);

    void Rewind() { mPos = mStart; }
    // The next record; false at the end of the directory or at a damaged record.
    bool Next(ZipEntry& entry);

    // Where the recorded offsets count from: the file's start, or the end of
    // a stub that was put in front afterwards.
    std::uint64_t Base() const { return mBase; }
    // Where the archive begins in the file: its first local header, or the
    // directory itself when that header is not where the directory says.
    std::uint64_t ArchiveOffset() const { return mArchiveOffset; }

  private:
    ZipDirectory(const FileReader& file, std::uint64_t start, std::uint64_t end, std::uint64_t base)
        : mFile(file), mStart(start), mEnd(end), mPos(start), mBase(base) {}
    const std::uint8_t* Bytes(std::uint64_t offset, std::size_t count);

    const FileReader& mFile;
    std::uint64_t mStart;
    std::uint64_t mEnd;
    std::uint64_t mPos;
    std::uint64_t mBase;
    std::uint64_t mArchiveOffset = 0;
    std::vector<std::uint8_t> mWindow;
    std::uint64_t mWindowStart = 0;
};

}  // namespace mervok::plugin
