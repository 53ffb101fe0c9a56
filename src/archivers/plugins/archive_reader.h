#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mervok::plugin {

enum class Format { Lha, Zip, Cab };

// One entry of an archive as its header describes it.
struct ArchiveEntry {
    std::string name;  // path as stored: raw bytes ('/' or '\\' between parts), up to a NUL
    std::uint64_t originalSize = 0;
    std::uint64_t compressedSize = 0;  // 0 when the format does not say (CAB)
    std::uint32_t crc = 0;             // as stored (LHA CRC-16, ZIP CRC-32), else 0
    std::uint16_t dosDate = 0;
    std::uint16_t dosTime = 0;
    std::uint32_t osType = 0;  // the INDIVIDUALINFO codes: 0 MS-DOS, 2 Unix, ...
    std::uint8_t dosAttributes = 0;
    std::string method;  // "-lh5-", "deflate", "MSZIP", ...
    bool isFolder = false;
    bool encrypted = false;
};

// The data of one entry, decompressed, read front to back.
class EntryData {
  public:
    virtual ~EntryData() = default;
    // Up to count bytes; 0 at the end; -1 on damage, an unknown method or an
    // encrypted entry.
    virtual std::ptrdiff_t Read(void* out, std::size_t count) = 0;
};

// One open archive of one format. The libraries list headers through it; the
// viewer also reads an entry's data. One reader belongs to one thread.
class ArchiveReader {
  public:
    virtual ~ArchiveReader() = default;
    virtual Format Kind() const = 0;
    // Back to before the first entry.
    virtual void Rewind() = 0;
    // The next entry, or nullptr at the end or where damage stops the listing.
    // The entry stays valid until the next call of Next or Rewind.
    virtual const ArchiveEntry* Next() = 0;
    // The data of the entry Next returned last, or nullptr when it cannot be
    // read. Valid until the next call of Next or Rewind.
    virtual std::unique_ptr<EntryData> OpenData() = 0;
    // Whether the last listing ended at damage (a cut archive, a broken
    // header) rather than at the archive's end.
    virtual bool Damaged() const { return false; }
};

// Opens path as an archive of format, plain or behind an executable stub.
// Nothing when the file's outermost archive is not of that format.
std::unique_ptr<ArchiveReader> OpenArchiveReader(const char* path, Format format);

// Opens path as whatever archive of the three formats it is, by the same rule.
std::unique_ptr<ArchiveReader> OpenAnyArchiveReader(const char* path);

// For showing what is left of a plain archive that OpenAnyArchiveReader does
// not take because it was cut short: a ZIP without its central directory,
// listed from its local headers, or a cabinet shorter than its header says,
// listed from its file table. Both report Damaged. Nothing for anything else.
std::unique_ptr<ArchiveReader> OpenCutArchiveReader(const char* path);

}  // namespace mervok::plugin
