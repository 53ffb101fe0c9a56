#include "archive_session.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace mervok::plugin {

namespace {

constexpr std::size_t kStreamBlock = 64u << 10;
// No real archive comes near this; it bounds a listing whatever the input.
constexpr long kMaxEntries = 10'000'000;

la_ssize_t StreamRead(struct archive*, void* data, const void** buffer) {
    auto* s = static_cast<ArchiveSession::Stream*>(data);
    s->buffer.resize(kStreamBlock);
    std::size_t got = s->file->ReadAt(s->base + s->pos, s->buffer.data(), s->buffer.size());
    s->pos += got;
    *buffer = s->buffer.data();
    return static_cast<la_ssize_t>(got);
}

std::uint64_t StreamLength(const ArchiveSession::Stream* s) {
    return s->file->Size() - s->base;
}

la_int64_t StreamSkip(struct archive*, void* data, la_int64_t request) {
    auto* s = static_cast<ArchiveSession::Stream*>(data);
    if (request <= 0) {
        return 0;
    }
    std::uint64_t left = StreamLength(s) - std::min(s->pos, StreamLength(s));
    std::uint64_t step = std::min<std::uint64_t>(static_cast<std::uint64_t>(request), left);
    s->pos += step;
    return static_cast<la_int64_t>(step);
}

la_int64_t StreamSeek(struct archive*, void* data, la_int64_t offset, int whence) {
    auto* s = static_cast<ArchiveSession::Stream*>(data);
    const auto length = static_cast<la_int64_t>(StreamLength(s));
    la_int64_t origin = whence == SEEK_SET   ? 0
                        : whence == SEEK_CUR ? static_cast<la_int64_t>(s->pos)
                                             : length;
    la_int64_t target = origin + offset;
    if (target < 0 || target > length) {
        return ARCHIVE_FATAL;
    }
    s->pos = static_cast<std::uint64_t>(target);
    return target;
}

void CopyText(char* out, std::size_t capacity, std::string_view text) {
    std::size_t n = std::min(capacity - 1, text.size());
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

std::uint32_t Clamp32(std::uint64_t v) {
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

std::uint16_t Ratio(std::uint64_t compressed, std::uint64_t original) {
    if (original == 0) {
        return 0;
    }
    std::uint64_t ratio = compressed * 1000 / original;
    return static_cast<std::uint16_t>(std::min<std::uint64_t>(ratio, 0xFFFF));
}

// R H S A D from an MS-DOS attribute byte.
void AttributeText(char* out, unsigned dos) {
    const char letters[] = "RHSAD";
    const unsigned bits[] = {0x01, 0x02, 0x04, 0x20, 0x10};
    for (int i = 0; i < 5; ++i) {
        out[i] = (dos & bits[i]) ? letters[i] : '-';
    }
    out[5] = '\0';
}

void DosStamp(std::time_t t, std::uint16_t& date, std::uint16_t& time) {
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr || local.tm_year < 80 || local.tm_year > 207) {
        date = 0;
        time = 0;
        return;
    }
    date = static_cast<std::uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                      local.tm_mday);
    time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) |
                                      (local.tm_sec / 2));
}

std::uint32_t LhaOsType(std::uint8_t id) {
    switch (id) {
        case 'M':
        case 'W':
        case 'w':
            return 0;
        case 'U':
            return 2;
        case 'm':
            return 4;
        case '2':
            return 5;
        default:
            return 10;
    }
}

std::uint32_t ZipOsType(std::uint16_t versionMadeBy) {
    switch (versionMadeBy >> 8) {
        case 0:
        case 10:
        case 11:
        case 14:
            return 0;
        case 3:
            return 2;
        case 7:
        case 19:
            return 4;
        case 6:
            return 5;
        default:
            return 10;
    }
}

const char* ZipMethodText(std::uint16_t method, char* scratch, std::size_t size) {
    switch (method) {
        case 0:
            return "store";
        case 1:
            return "shrink";
        case 6:
            return "implode";
        case 8:
            return "deflate";
        case 9:
            return "deflat64";
        case 12:
            return "bzip2";
        case 14:
            return "lzma";
        case 93:
            return "zstd";
        case 95:
            return "xz";
        case 98:
            return "ppmd";
        case 99:
            return "aes";
        default:
            std::snprintf(scratch, size, "m%u", static_cast<unsigned>(method));
            return scratch;
    }
}

}  // namespace

// The cabinet's file table, read directly: libarchive does not tell the
// folder's compression, the MS-DOS date or the attributes, and gives no name
// it cannot convert to the caller's locale. libarchive lists the files in
// table order, so a cursor makes a whole listing one pass over the table.
class CabTable {
  public:
    CabTable(const FileReader& file, std::uint64_t base) : mFile(file), mBase(base) {}

    std::optional<CabFile> At(long index) {
        if (!mReady && !Prepare()) {
            return std::nullopt;
        }
        if (index < 0 || index >= mFileCount) {
            return std::nullopt;
        }
        if (index < mIndex) {
            mIndex = 0;
            mOffset = mFirstFile;
        }
        for (;; ++mIndex) {
            std::uint8_t fixed[16];
            if (mOffset + 16 > mEnd || !mFile.ReadExact(mOffset, fixed, sizeof fixed)) {
                return std::nullopt;
            }
            std::uint8_t name[257];
            std::size_t got = mFile.ReadAt(mOffset + 16, name, sizeof name);
            auto* nul = static_cast<std::uint8_t*>(std::memchr(name, 0, got));
            if (nul == nullptr) {
                return std::nullopt;
            }
            const std::size_t nameLength = static_cast<std::size_t>(nul - name);
            if (mIndex == index) {
                CabFile result;
                result.name.assign(reinterpret_cast<const char*>(name), nameLength);
                result.size = Le32(fixed);
                result.date = Le16(fixed + 10);
                result.time = Le16(fixed + 12);
                result.attributes = Le16(fixed + 14);
                unsigned folder = Le16(fixed + 8);
                // Files continued from or into neighbouring cabinets name no folder index.
                if (folder == 0xFFFD || folder == 0xFFFF) {
                    folder = 0;
                } else if (folder == 0xFFFE) {
                    folder = static_cast<unsigned>(mMethods.size()) - 1;
                }
                result.method = folder < mMethods.size() ? mMethods[folder] : "";
                return result;
            }
            mOffset += 16 + nameLength + 1;
        }
    }

  private:
    bool Prepare() {
        mReady = true;
        auto header = ReadCabHeader(mFile, mBase);
        if (!header) {
            return false;
        }
        // Folder table: after the fixed header, the optional reserve sizes and
        // reserve area, and the optional names of neighbouring cabinets.
        std::uint64_t pos = mBase + 36;
        std::size_t folderReserve = 0;
        if (header->flags & 4) {
            std::uint8_t r[4];
            if (!mFile.ReadExact(pos, r, 4)) {
                return false;
            }
            folderReserve = r[2];
            pos += 4 + Le16(r);
        }
        for (int strings = ((header->flags & 1) ? 2 : 0) + ((header->flags & 2) ? 2 : 0);
             strings > 0; --strings) {
            std::uint8_t text[256];
            std::size_t got = mFile.ReadAt(pos, text, sizeof text);
            auto* nul = static_cast<std::uint8_t*>(std::memchr(text, 0, got));
            if (nul == nullptr) {
                return false;
            }
            pos += static_cast<std::uint64_t>(nul - text) + 1;
        }
        const std::size_t folderSize = 8 + folderReserve;
        std::vector<std::uint8_t> folders = mFile.ReadBlock(pos, header->folderCount * folderSize);
        if (folders.size() != header->folderCount * folderSize) {
            return false;
        }
        static const char* const kMethods[] = {"None", "MSZIP", "Quantum", "LZX"};
        for (std::size_t i = 0; i < header->folderCount; ++i) {
            unsigned type = Le16(folders.data() + i * folderSize + 6) & 0x0F;
            mMethods.push_back(type < 4 ? kMethods[type] : "unknown");
        }
        mFileCount = header->fileCount;
        mFirstFile = mOffset = mBase + header->filesOffset;
        mEnd = mBase + header->cabinetSize;
        return true;
    }

    const FileReader& mFile;
    std::uint64_t mBase;
    bool mReady = false;
    long mFileCount = 0;
    std::vector<const char*> mMethods;
    std::uint64_t mFirstFile = 0;
    std::uint64_t mEnd = 0;
    long mIndex = 0;
    std::uint64_t mOffset = 0;
};

std::optional<CabFile> ArchiveSession::CabTableAt(long index) {
    if (!mCabTable) {
        mCabTable = std::make_unique<CabTable>(*mFile, mBase);
    }
    return mCabTable->At(index);
}

std::unique_ptr<ArchiveSession> ArchiveSession::Open(const char* path, Format format) {
    auto file = FileReader::Open(path);
    if (!file) {
        return nullptr;
    }
    auto located = LocateArchive(*file);
    if (!located || located->format != format) {
        return nullptr;
    }
    std::unique_ptr<ArchiveSession> session(new ArchiveSession(format, std::move(file)));
    if (format == Format::Zip) {
        session->mZip = std::move(located->zip);
        return session->mZip ? std::move(session) : nullptr;
    }
    session->mBase = located->offset;
    session->mLhaNext = located->offset;
    if (format == Format::Lha) {
        return session;
    }
    // Reading the first header proves that libarchive takes the cabinet.
    if (!session->StartReader()) {
        return nullptr;
    }
    return session;
}

ArchiveSession::ArchiveSession(Format format, std::unique_ptr<FileReader> file)
    : mFormat(format), mFile(std::move(file)) {}

ArchiveSession::~ArchiveSession() {
    CloseReader();
}

void ArchiveSession::CloseReader() {
    if (mReader != nullptr) {
        archive_read_free(mReader);
        mReader = nullptr;
    }
    mEntry = nullptr;
    mEntryPending = false;
    mEntryIndex = -1;
}

bool ArchiveSession::StartReader() {
    CloseReader();
    mExhausted = false;
    mStream.file = mFile.get();
    mStream.base = mBase;
    mStream.pos = 0;
    mReader = archive_read_new();
    if (mReader == nullptr) {
        return false;
    }
    archive_read_support_format_cab(mReader);
    archive_read_set_callback_data(mReader, &mStream);
    archive_read_set_read_callback(mReader, StreamRead);
    archive_read_set_skip_callback(mReader, StreamSkip);
    archive_read_set_seek_callback(mReader, StreamSeek);
    if (archive_read_open1(mReader) != ARCHIVE_OK) {
        CloseReader();
        return false;
    }
    return NextHeader();
}

bool ArchiveSession::NextHeader() {
    mEntryPending = false;
    if (mReader == nullptr || mExhausted || mEntryIndex + 1 >= kMaxEntries) {
        mExhausted = true;
        return false;
    }
    int r = archive_read_next_header(mReader, &mEntry);
    mReachedEnd = r == ARCHIVE_EOF;
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
        // End of the archive or damage: either way nothing more can be listed.
        mExhausted = true;
        return false;
    }
    ++mEntryIndex;
    mEntryPending = true;
    return true;
}

std::string ArchiveSession::CurrentName() {
    if (const char* name = archive_entry_pathname(mEntry)) {
        return name;
    }
    // libarchive could not convert the stored name to the current locale: use
    // the stored bytes, which is what matching wants anyway.
    if (auto cab = CabTableAt(mEntryIndex)) {
        return cab->name;
    }
    return std::string();
}

int ArchiveSession::FindFirst(const char* wildcards, INDIVIDUALINFO* info) {
    mWildcards = std::make_unique<WildcardList>(wildcards);
    if (mZip) {
        mZip->Rewind();
    } else if (mFormat == Format::Lha) {
        mLhaNext = mBase;
    } else if (mCabNamesComplete) {
        mCabCursor = 0;
    } else if (mEntryIndex != 0 || !mEntryPending) {
        // The first look-up after opening starts from the header already read;
        // a later one has to read the archive again from its start.
        if (!StartReader()) {
            return -1;
        }
    }
    return Search(info);
}

int ArchiveSession::FindNext(INDIVIDUALINFO* info) {
    if (!mWildcards) {
        return -1;
    }
    return Search(info);
}

int ArchiveSession::Search(INDIVIDUALINFO* info) {
    if (mZip) {
        ZipEntry entry;
        while (mZip->Next(entry)) {
            if (!entry.IsFolder() && mWildcards->Matches(entry.name)) {
                FillFromZip(entry, info);
                return 0;
            }
        }
        return -1;
    }
    if (mFormat == Format::Lha) {
        return SearchLha(info);
    }
    return SearchCab(info);
}

int ArchiveSession::SearchCab(INDIVIDUALINFO* info) {
    // A cabinet holds at most 65535 files: once listed, their names answer
    // the next look-ups (one per wildcard) without reading it again.
    if (mCabNamesComplete) {
        while (mCabCursor < mCabNames.size()) {
            const long index = static_cast<long>(mCabCursor++);
            if (mWildcards->Matches(mCabNames[index])) {
                FillFromCab(index, mCabNames[index], info);
                return 0;
            }
        }
        return -1;
    }
    while (mEntryPending || NextHeader()) {
        mEntryPending = false;
        std::string name =
            archive_entry_filetype(mEntry) == AE_IFDIR ? std::string() : CurrentName();
        if (static_cast<std::size_t>(mEntryIndex) == mCabNames.size()) {
            mCabNames.push_back(name);
        }
        if (!name.empty() && mWildcards->Matches(name)) {
            FillFromCab(mEntryIndex, name, info);
            return 0;
        }
    }
    mCabNamesComplete = mReachedEnd;
    mCabCursor = mCabNames.size();
    return -1;
}

int ArchiveSession::SearchLha(INDIVIDUALINFO* info) {
    // Each header lies strictly after the previous one, so the walk ends.
    while (mLhaNext < mFile->Size()) {
        std::uint8_t mark = 0;
        if (!mFile->ReadExact(mLhaNext, &mark, 1) || mark == 0) {
            break;
        }
        auto header = ReadLhaHeader(*mFile, mLhaNext);
        if (!header) {
            break;
        }
        mLhaNext = header->next;
        bool folder = std::strcmp(header->method, "-lhd-") == 0;
        if (!folder && !header->name.empty() && mWildcards->Matches(header->name)) {
            FillFromLha(*header, info);
            return 0;
        }
    }
    mLhaNext = mFile->Size();
    return -1;
}

void ArchiveSession::FillFromLha(const LhaHeader& header, INDIVIDUALINFO* info) const {
    if (info == nullptr) {
        return;
    }
    *info = INDIVIDUALINFO{};
    CopyText(info->szFileName, sizeof info->szFileName, header.name);
    info->dwOriginalSize = Clamp32(header.originalSize);
    info->dwCompressedSize = Clamp32(header.packedSize);
    info->dwCRC = header.crc;
    info->uOSType = header.level == 0 ? 0 : LhaOsType(header.osId);
    info->wRatio = Ratio(header.packedSize, header.originalSize);
    if (header.level < 2) {
        info->wTime = static_cast<std::uint16_t>(header.stamp & 0xFFFF);
        info->wDate = static_cast<std::uint16_t>(header.stamp >> 16);
        AttributeText(info->szAttribute, header.attribute);
    } else {
        DosStamp(static_cast<std::time_t>(header.stamp), info->wDate, info->wTime);
        AttributeText(info->szAttribute, 0x20);
    }
    CopyText(info->szMode, sizeof info->szMode, header.method);
}

void ArchiveSession::FillFromZip(const ZipEntry& entry, INDIVIDUALINFO* info) const {
    if (info == nullptr) {
        return;
    }
    *info = INDIVIDUALINFO{};
    info->dwOriginalSize = Clamp32(entry.originalSize);
    info->dwCompressedSize = Clamp32(entry.compressedSize);
    info->dwCRC = entry.crc;
    info->uOSType = ZipOsType(entry.versionMadeBy);
    info->wRatio = Ratio(entry.compressedSize, entry.originalSize);
    info->wDate = entry.dosDate;
    info->wTime = entry.dosTime;
    CopyText(info->szFileName, sizeof info->szFileName, entry.name);
    unsigned dos = entry.externalAttributes & 0xFF;
    if ((entry.versionMadeBy >> 8) == 3) {
        unsigned mode = entry.externalAttributes >> 16;
        if ((mode & 0200) == 0 && mode != 0) {
            dos |= 0x01;
        }
    }
    AttributeText(info->szAttribute, dos);
    char scratch[8];
    CopyText(info->szMode, sizeof info->szMode,
             ZipMethodText(entry.method, scratch, sizeof scratch));
}

void ArchiveSession::FillFromCab(long index, const std::string& name, INDIVIDUALINFO* info) {
    if (info == nullptr) {
        return;
    }
    *info = INDIVIDUALINFO{};
    CopyText(info->szFileName, sizeof info->szFileName, name);
    auto cab = CabTableAt(index);
    if (!cab) {
        return;
    }
    info->dwOriginalSize = cab->size;
    info->wDate = cab->date;
    info->wTime = cab->time;
    // The stored size of one file is unknown inside a compressed folder.
    if (std::strcmp(cab->method, "None") == 0) {
        info->dwCompressedSize = cab->size;
        info->wRatio = Ratio(cab->size, cab->size);
    }
    CopyText(info->szMode, sizeof info->szMode, cab->method);
    AttributeText(info->szAttribute, cab->attributes & 0x37);
}

}  // namespace mervok::plugin
