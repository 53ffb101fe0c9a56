#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive_locator.h"
#include "archiver.h"
#include "file_reader.h"
#include "wildcard.h"
#include "zip_directory.h"

struct archive;
struct archive_entry;

namespace mervok::plugin {

class CabTable;

// One file of a cabinet's file table.
struct CabFile {
    std::string name;
    std::uint32_t size = 0;
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    std::uint16_t attributes = 0;
    const char* method = "";
};

// One open archive behind a HARC. CAB is listed by libarchive from a stream
// that starts where the cabinet was found. LHA headers are walked directly:
// libarchive's reader gives up on names it cannot convert to the caller's
// locale (Shift-JIS in a C or UTF-8 locale), and names must be compared as
// stored. ZIP is listed from its central directory. Only headers are read,
// never any data.
class ArchiveSession {
  public:
    static std::unique_ptr<ArchiveSession> Open(const char* path, Format format);
    ~ArchiveSession();
    ArchiveSession(const ArchiveSession&) = delete;
    ArchiveSession& operator=(const ArchiveSession&) = delete;

    // 0: an entry matching was found (and info filled); -1: none.
    int FindFirst(const char* wildcards, INDIVIDUALINFO* info);
    int FindNext(INDIVIDUALINFO* info);

    // libarchive's stream callbacks.
    struct Stream {
        const FileReader* file = nullptr;
        std::uint64_t base = 0;
        std::uint64_t pos = 0;  // relative to base
        std::vector<std::uint8_t> buffer;
    };

  private:
    ArchiveSession(Format format, std::unique_ptr<FileReader> file);
    int Search(INDIVIDUALINFO* info);
    bool StartReader();
    bool NextHeader();
    void CloseReader();
    std::string CurrentName();
    int SearchCab(INDIVIDUALINFO* info);
    void FillFromCab(long index, const std::string& name, INDIVIDUALINFO* info);
    std::optional<CabFile> CabTableAt(long index);
    void FillFromZip(const ZipEntry& entry, INDIVIDUALINFO* info) const;
    void FillFromLha(const LhaHeader& header, INDIVIDUALINFO* info) const;
    int SearchLha(INDIVIDUALINFO* info);

    Format mFormat;
    std::unique_ptr<FileReader> mFile;
    std::unique_ptr<WildcardList> mWildcards;
    // ZIP
    std::unique_ptr<ZipDirectory> mZip;
    // LHA, CAB: where the archive starts in the file
    std::uint64_t mBase = 0;
    // LHA: where the next header starts
    std::uint64_t mLhaNext = 0;
    // CAB
    Stream mStream;
    struct archive* mReader = nullptr;
    struct archive_entry* mEntry = nullptr;
    long mEntryIndex = -1;       // index of mEntry in the archive
    bool mEntryPending = false;  // mEntry read but not yet compared
    bool mExhausted = false;
    bool mReachedEnd = false;  // the reader met the end, not damage
    std::unique_ptr<CabTable> mCabTable;
    std::vector<std::string> mCabNames;  // names in stored order, as far as read
    bool mCabNamesComplete = false;
    std::size_t mCabCursor = 0;
};

}  // namespace mervok::plugin
