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

// One open archive behind a HARC. LHA and CAB are listed by libarchive from a
// stream that starts where the archive was found; ZIP by reading its central
// directory. Only headers are read, never any data.
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
    ArchiveSession(Format format, std::unique_ptr<FileReader> file)
        : mFormat(format), mFile(std::move(file)) {}
    int Search(INDIVIDUALINFO* info);
    bool StartReader();
    bool NextHeader();
    void CloseReader();
    std::string CurrentName() const;
    void FillFromLibarchive(const std::string& name, INDIVIDUALINFO* info) const;
    void FillFromZip(const ZipEntry& entry, INDIVIDUALINFO* info) const;

    Format mFormat;
    std::unique_ptr<FileReader> mFile;
    std::unique_ptr<WildcardList> mWildcards;
    // ZIP
    std::unique_ptr<ZipDirectory> mZip;
    // LHA, CAB
    std::uint64_t mBase = 0;
    Stream mStream;
    struct archive* mReader = nullptr;
    struct archive_entry* mEntry = nullptr;
    long mEntryIndex = -1;       // index of mEntry in the archive
    bool mEntryPending = false;  // mEntry read but not yet compared
    bool mExhausted = false;
};

}  // namespace mervok::plugin
