#include "cab_reader.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "libarchive_stream.h"

namespace mervok::plugin {

std::optional<CabHeader> ReadCabHeader(const FileReader& file, std::uint64_t offset, bool cut) {
    std::uint8_t h[36];
    if (!file.ReadExact(offset, h, sizeof h) || std::memcmp(h, "MSCF", 4) != 0) {
        return std::nullopt;
    }
    CabHeader cab;
    cab.cabinetSize = Le32(h + 8);
    cab.filesOffset = Le32(h + 16);
    cab.folderCount = Le16(h + 26);
    cab.fileCount = Le16(h + 28);
    cab.flags = Le16(h + 30);
    bool plausible =
        Le32(h + 4) == 0 && Le32(h + 12) == 0 && Le32(h + 20) == 0 && h[24] == 3 && h[25] == 1 &&
        cab.cabinetSize >= sizeof h &&
        (cut ? cab.filesOffset < file.Size() - offset : cab.cabinetSize <= file.Size() - offset) &&
        cab.filesOffset >= sizeof h && cab.filesOffset < cab.cabinetSize && cab.folderCount > 0 &&
        cab.fileCount > 0 && (cab.flags & ~7u) == 0;
    if (!plausible) {
        return std::nullopt;
    }
    return cab;
}

namespace {

// No real archive comes near this; it bounds a listing whatever the input.
constexpr long kMaxEntries = 10'000'000;

// One file of a cabinet's file table.
struct CabFile {
    std::string name;
    std::uint32_t size = 0;
    std::uint32_t folderStart = 0;  // where its data starts in its folder's data
    unsigned folder = 0;
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    std::uint16_t attributes = 0;
    const char* method = "";
};

// The cabinet's file table, read directly: libarchive does not tell the
// folder's compression, the MS-DOS date or the attributes, and gives no name
// it cannot convert to the caller's locale. libarchive lists the files in
// table order, so a cursor makes a whole listing one pass over the table.
class CabTable {
  public:
    CabTable(const FileReader& file, std::uint64_t base, bool cut)
        : mFile(file), mBase(base), mCut(cut) {}

    // Whether the data blocks that hold the file's data carry the checksums
    // they state (a block stating 0 has none). libarchive checks a block
    // only once it has read past its end, which the last file of a block
    // never does.
    bool ChecksumsGood(const CabFile& file) {
        if (file.folder >= mFolders.size()) {
            return true;  // continued from or into a neighbouring cabinet
        }
        Folder& folder = mFolders[file.folder];
        const std::uint64_t start = file.folderStart;
        const std::uint64_t end = start + file.size;
        // Files are mostly read in their folder's order: the walk goes on from
        // the block the last one ended on rather than from the folder's first
        // block, which would make reading every file of a large folder
        // quadratic in its blocks.
        BlockAt block = folder.last.at != 0 && folder.last.uncompressed <= start
                            ? folder.last
                            : BlockAt{mBase + folder.firstBlock, 0, 0};
        for (; block.index < folder.blocks && block.uncompressed < end; ++block.index) {
            folder.last = block;
            const std::uint64_t at = block.at;
            std::uint8_t header[8];
            if (!mFile.ReadExact(at, header, sizeof header)) {
                return false;
            }
            const std::uint16_t size = Le16(header + 4);
            const std::uint16_t blockEnd = Le16(header + 6);
            const std::uint64_t dataAt = at + 8 + mDataReserve;
            if (block.uncompressed + blockEnd > start && Le32(header) != 0) {
                const std::vector<std::uint8_t> data = mFile.ReadBlock(dataAt, size);
                std::vector<std::uint8_t> tail = mFile.ReadBlock(at + 8, mDataReserve);
                tail.insert(tail.begin(), header + 4, header + 8);
                if (data.size() != size || tail.size() != 4 + mDataReserve ||
                    CabChecksum(tail, CabChecksum(data, 0)) != Le32(header)) {
                    return false;
                }
            }
            block.uncompressed += blockEnd;
            block.at = dataAt + size;
        }
        return true;
    }

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
                result.folderStart = Le32(fixed + 4);
                unsigned folder = Le16(fixed + 8);
                // Files continued from or into neighbouring cabinets name no folder index.
                if (folder == 0xFFFD || folder == 0xFFFF) {
                    folder = 0;
                } else if (folder == 0xFFFE) {
                    folder = static_cast<unsigned>(mMethods.size()) - 1;
                }
                result.method = folder < mMethods.size() ? mMethods[folder] : "";
                result.folder = Le16(fixed + 8);
                return result;
            }
            mOffset += 16 + nameLength + 1;
        }
    }

  private:
    bool Prepare() {
        mReady = true;
        auto header = ReadCabHeader(mFile, mBase, mCut);
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
            mDataReserve = r[3];
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
            const std::uint8_t* folder = folders.data() + i * folderSize;
            unsigned type = Le16(folder + 6) & 0x0F;
            mMethods.push_back(type < 4 ? kMethods[type] : "unknown");
            mFolders.push_back({Le32(folder), Le16(folder + 4)});
        }
        mFileCount = header->fileCount;
        mFirstFile = mOffset = mBase + header->filesOffset;
        mEnd = mBase + header->cabinetSize;
        return true;
    }

    // The MS-CAB checksum: the bytes as little-endian 32-bit words XORed, the
    // last one to three bytes taken high byte first.
    static std::uint32_t CabChecksum(const std::vector<std::uint8_t>& bytes, std::uint32_t seed) {
        std::size_t i = 0;
        for (; i + 4 <= bytes.size(); i += 4) {
            seed ^= Le32(bytes.data() + i);
        }
        std::uint32_t last = 0;
        for (; i < bytes.size(); ++i) {
            last = last << 8 | bytes[i];
        }
        return seed ^ last;
    }

    // A data block of a folder: where its header is, how much of the
    // folder's data comes before it, and its number in the folder.
    struct BlockAt {
        std::uint64_t at = 0;
        std::uint64_t uncompressed = 0;
        unsigned index = 0;
    };
    struct Folder {
        std::uint32_t firstBlock;  // offset of its first data block in the cabinet
        unsigned blocks;
        BlockAt last{};  // where the last checksum walk ended (at 0: none yet)
    };

    const FileReader& mFile;
    std::uint64_t mBase;
    bool mCut;
    bool mReady = false;
    std::vector<Folder> mFolders;
    std::size_t mDataReserve = 0;  // per data block
    long mFileCount = 0;
    std::vector<const char*> mMethods;
    std::uint64_t mFirstFile = 0;
    std::uint64_t mEnd = 0;
    long mIndex = 0;
    std::uint64_t mOffset = 0;
};

// The data of the entry the handle read last. After a failed read the
// handle must not be used again: libarchive may crash on the next header of
// a damaged cabinet. `broken` tells the reader so.
class CabData final : public EntryData {
  public:
    // checked: the entry's data blocks carry their checksums.
    CabData(struct archive* handle, bool& broken, std::function<bool()> checked)
        : mHandle(handle), mBroken(broken), mChecked(std::move(checked)) {}

    std::ptrdiff_t Read(void* out, std::size_t count) override {
        if (mBroken) {
            return -1;
        }
        const la_ssize_t got = archive_read_data(mHandle, out, count);
        // At its end, damage the checksums show is damage like any other.
        mBroken = got < 0 || (got == 0 && count > 0 && mChecked && !std::exchange(mChecked, {})());
        return mBroken ? -1 : static_cast<std::ptrdiff_t>(got);
    }

  private:
    struct archive* mHandle;
    bool& mBroken;
    std::function<bool()> mChecked;
};

class CabReader final : public ArchiveReader {
  public:
    CabReader(std::unique_ptr<FileReader> file, std::uint64_t offset, bool cut)
        : mFile(std::move(file)), mTable(*mFile, offset, cut), mStream(*mFile, offset), mCut(cut) {}

    // Reading the first header proves that libarchive takes the cabinet.
    bool Start() {
        mExhausted = false;
        mBroken = false;
        mIndex = -1;
        mPending = false;
        mHandle = OpenLibarchive(mStream, archive_read_support_format_cab);
        return mHandle && ReadHeader();
    }

    Format Kind() const override { return Format::Cab; }
    bool Damaged() const override { return mCut || (mExhausted && !mReachedEnd); }

    void Rewind() override {
        mCursor = 0;
        mCurrent = -1;
        // Right after opening, the first header is read and not yet listed.
        if (!mNamesComplete && (mIndex != 0 || !mPending)) {
            Start();
        }
    }

    // A cabinet holds at most 65535 files: once listed, their entries answer
    // the next listings (one per wildcard, as CAB look-ups go) without
    // reading it again.
    const ArchiveEntry* Next() override {
        if (mNamesComplete) {
            if (mCursor >= mListed.size()) {
                mCurrent = -1;
                return nullptr;
            }
            mCurrent = static_cast<long>(mCursor++);
            return &mListed[static_cast<std::size_t>(mCurrent)];
        }
        if (mBroken) {
            SkipTo(mIndex);  // on failure the handle is gone and the listing ends
        }
        if (!mPending && !ReadHeader()) {
            mNamesComplete = mReachedEnd;
            mCursor = mListed.size();
            mCurrent = -1;
            return nullptr;
        }
        mPending = false;
        if (static_cast<std::size_t>(mIndex) == mListed.size()) {
            mListed.push_back(Describe());
        }
        mCurrent = mIndex;
        return &mListed[static_cast<std::size_t>(mCurrent)];
    }

    std::unique_ptr<EntryData> OpenData() override {
        if (mCurrent < 0 || mListed[static_cast<std::size_t>(mCurrent)].isFolder) {
            return nullptr;
        }
        // Listed from the names already known, the handle broken, past the
        // entry or its data handed out before: read up to the entry again.
        if ((mIndex != mCurrent || !mHandle || mBroken || !mDataUnread) && !SkipTo(mCurrent)) {
            return nullptr;
        }
        mDataUnread = false;
        const auto file = mTable.At(mCurrent);
        return std::make_unique<CabData>(
            mHandle.get(), mBroken, [this, file] { return !file || mTable.ChecksumsGood(*file); });
    }

  private:
    // A fresh handle that has read the header at index, and no data.
    bool SkipTo(long index) {
        if (!Start()) {
            return false;
        }
        while (mIndex < index) {
            if (!ReadHeader()) {
                return false;
            }
        }
        mPending = false;
        return true;
    }

    bool ReadHeader() {
        mPending = false;
        mDataUnread = false;
        if (!mHandle || mExhausted || mIndex + 1 >= kMaxEntries) {
            mExhausted = true;
            return false;
        }
        const int r = archive_read_next_header(mHandle.get(), &mEntryHeader);
        mReachedEnd = r == ARCHIVE_EOF;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            // End of the archive or damage: either way nothing more can be listed.
            mExhausted = true;
            return false;
        }
        ++mIndex;
        mPending = true;
        mDataUnread = true;
        return true;
    }

    std::string CurrentName() {
        if (const char* name = archive_entry_pathname(mEntryHeader)) {
            return name;
        }
        // libarchive could not convert the stored name to the current locale:
        // use the stored bytes, which is what matching wants anyway.
        if (auto file = mTable.At(mIndex)) {
            return file->name;
        }
        return std::string();
    }

    // The entry of the header the handle read last.
    ArchiveEntry Describe() {
        ArchiveEntry entry;
        entry.isFolder = archive_entry_filetype(mEntryHeader) == AE_IFDIR;
        if (entry.isFolder) {
            return entry;
        }
        entry.name = CurrentName();
        if (auto file = mTable.At(mIndex)) {
            entry.originalSize = file->size;
            entry.dosDate = file->date;
            entry.dosTime = file->time;
            entry.dosAttributes = static_cast<std::uint8_t>(file->attributes & 0x37);
            entry.method = file->method;
            // The stored size of one file is unknown inside a compressed folder.
            if (entry.method == "None") {
                entry.compressedSize = file->size;
            }
        }
        return entry;
    }

    std::unique_ptr<FileReader> mFile;
    CabTable mTable;
    LibarchiveStream mStream;
    LibarchivePtr mHandle;
    struct archive_entry* mEntryHeader = nullptr;
    long mIndex = -1;          // index of the header the handle read last
    bool mPending = false;     // that header read but not yet listed
    bool mDataUnread = false;  // the handle stands at that header's data
    bool mExhausted = false;
    bool mBroken = false;               // a data read failed on the handle
    bool mReachedEnd = false;           // the handle met the end, not damage
    std::vector<ArchiveEntry> mListed;  // in stored order, as far as read
    bool mNamesComplete = false;
    std::size_t mCursor = 0;
    long mCurrent = -1;  // index of the entry Next returned last
    bool mCut;
};

}  // namespace

std::unique_ptr<ArchiveReader> OpenCabReader(std::unique_ptr<FileReader> file, std::uint64_t offset,
                                             bool cut) {
    auto reader = std::make_unique<CabReader>(std::move(file), offset, cut);
    return reader->Start() ? std::move(reader) : nullptr;
}

}  // namespace mervok::plugin
