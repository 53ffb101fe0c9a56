#include "zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace mervok::plugin {

namespace {

constexpr std::size_t kInputBlock = 64u << 10;

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

std::string ZipMethodText(std::uint16_t method) {
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
            return "m" + std::to_string(method);
    }
}

// The entry a directory record (or a local header, which lacks the maker's
// system and the attributes) describes.
ArchiveEntry Describe(const ZipEntry& record) {
    ArchiveEntry entry;
    entry.name = std::string(record.name);
    entry.originalSize = record.originalSize;
    entry.compressedSize = record.compressedSize;
    entry.crc = record.crc;
    entry.dosDate = record.dosDate;
    entry.dosTime = record.dosTime;
    entry.osType = ZipOsType(record.versionMadeBy);
    unsigned dos = record.externalAttributes & 0xFF;
    if ((record.versionMadeBy >> 8) == 3) {
        // Unix: read-only when nobody may write.
        unsigned mode = record.externalAttributes >> 16;
        if ((mode & 0200) == 0 && mode != 0) {
            dos |= 0x01;
        }
    }
    entry.dosAttributes = static_cast<std::uint8_t>(dos);
    entry.method = ZipMethodText(record.method);
    entry.isFolder = record.IsFolder();
    entry.encrypted = (record.flags & 1) != 0;
    return entry;
}

// A stored or deflated entry's data. The output is held to the size the
// directory gives, and the CRC-32 must match at the end.
class ZipData final : public EntryData {
  public:
    ZipData(const FileReader& file, std::uint64_t data, const ZipEntry& entry)
        : mFile(file),
          mPos(data),
          mPackedLeft(entry.compressedSize),
          mOutputLeft(entry.originalSize),
          mExpectedCrc(entry.crc),
          mDeflated(entry.method == 8) {}

    ~ZipData() override {
        if (mDeflated && mStarted) {
            inflateEnd(&mStream);
        }
    }
    ZipData(const ZipData&) = delete;
    ZipData& operator=(const ZipData&) = delete;

    bool Start() {
        if (!mDeflated) {
            return true;
        }
        mStream = z_stream{};
        mStarted = inflateInit2(&mStream, -MAX_WBITS) == Z_OK;
        return mStarted;
    }

    std::ptrdiff_t Read(void* out, std::size_t count) override {
        if (mFailed) {
            return -1;
        }
        std::size_t got = 0;
        if (count > 0 && !mEnded) {
            got = mDeflated ? Inflate(out, count) : Copy(out, count);
        }
        if (mFailed) {
            return -1;
        }
        mCrc = crc32(mCrc, static_cast<const Bytef*>(out), static_cast<uInt>(got));
        if (got == 0 && count > 0 && (mOutputLeft != 0 || mCrc != mExpectedCrc)) {
            mFailed = true;
            return -1;
        }
        return static_cast<std::ptrdiff_t>(got);
    }

  private:
    std::size_t Copy(void* out, std::size_t count) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(count, mPackedLeft));
        const std::size_t got = mFile.ReadAt(mPos, out, want);
        mPos += got;
        mPackedLeft -= got;
        if (got > mOutputLeft) {
            mFailed = true;
            return 0;
        }
        mOutputLeft -= got;
        mEnded = got == 0;
        return got;
    }

    std::size_t Inflate(void* out, std::size_t count) {
        count = std::min<std::size_t>(count, UINT32_MAX);
        mStream.next_out = static_cast<Bytef*>(out);
        mStream.avail_out = static_cast<uInt>(count);
        while (mStream.avail_out > 0) {
            if (mStream.avail_in == 0 && mPackedLeft > 0) {
                mInput.resize(kInputBlock);
                const std::size_t got = mFile.ReadAt(
                    mPos, mInput.data(),
                    static_cast<std::size_t>(std::min<std::uint64_t>(kInputBlock, mPackedLeft)));
                if (got == 0) {
                    break;  // cut short
                }
                mPos += got;
                mPackedLeft -= got;
                mStream.next_in = mInput.data();
                mStream.avail_in = static_cast<uInt>(got);
            }
            const uInt before = mStream.avail_out;
            const int r = inflate(&mStream, Z_NO_FLUSH);
            if (r == Z_STREAM_END) {
                mEnded = true;
                break;
            }
            if (r != Z_OK ||
                (before == mStream.avail_out && mStream.avail_in == 0 && mPackedLeft == 0)) {
                mFailed = r != Z_OK && r != Z_BUF_ERROR;
                break;
            }
        }
        const std::size_t got = count - mStream.avail_out;
        if (got > mOutputLeft) {
            mFailed = true;  // more than the directory says: a bomb or damage
            return 0;
        }
        mOutputLeft -= got;
        return got;
    }

    const FileReader& mFile;
    std::uint64_t mPos;
    std::uint64_t mPackedLeft;
    std::uint64_t mOutputLeft;
    std::uint32_t mExpectedCrc;
    std::uint32_t mCrc = 0;
    bool mDeflated;
    bool mStarted = false;
    bool mEnded = false;
    bool mFailed = false;
    z_stream mStream{};
    std::vector<std::uint8_t> mInput;
};

class ZipReader final : public ArchiveReader {
  public:
    ZipReader(std::unique_ptr<FileReader> file, std::unique_ptr<ZipDirectory> directory)
        : mFile(std::move(file)), mDirectory(std::move(directory)) {}

    Format Kind() const override { return Format::Zip; }

    void Rewind() override {
        mDirectory->Rewind();
        mValid = false;
    }

    const ArchiveEntry* Next() override {
        mValid = mDirectory->Next(mRecord);
        if (!mValid) {
            return nullptr;
        }
        mEntry = Describe(mRecord);
        return &mEntry;
    }

    std::unique_ptr<EntryData> OpenData() override {
        if (!mValid || mEntry.isFolder || mEntry.encrypted ||
            (mRecord.method != 0 && mRecord.method != 8)) {
            return nullptr;
        }
        // The local header repeats the name and has an extra field of its own.
        const std::uint64_t base = mDirectory->Base();
        std::uint8_t local[30];
        if (mRecord.localHeaderOffset > mFile->Size() - base ||
            !mFile->ReadExact(base + mRecord.localHeaderOffset, local, sizeof local) ||
            std::memcmp(local, "PK\x03\x04", 4) != 0) {
            return nullptr;
        }
        const std::uint64_t data =
            base + mRecord.localHeaderOffset + sizeof local + Le16(local + 26) + Le16(local + 28);
        if (data > mFile->Size() || mRecord.compressedSize > mFile->Size() - data) {
            return nullptr;
        }
        auto result = std::make_unique<ZipData>(*mFile, data, mRecord);
        return result->Start() ? std::move(result) : nullptr;
    }

  private:
    std::unique_ptr<FileReader> mFile;
    std::unique_ptr<ZipDirectory> mDirectory;
    ZipEntry mRecord;
    bool mValid = false;
    ArchiveEntry mEntry;
};

// Fills entry from its local header at offset; where its data starts, or
// nothing when no local header is there.
std::optional<std::uint64_t> ReadLocalHeader(const FileReader& file, std::uint64_t offset,
                                             ZipEntry& entry, std::string& name) {
    std::uint8_t local[30];
    if (!file.ReadExact(offset, local, sizeof local) || std::memcmp(local, "PK\x03\x04", 4) != 0) {
        return std::nullopt;
    }
    const std::size_t nameSize = Le16(local + 26);
    const std::size_t extraSize = Le16(local + 28);
    const std::vector<std::uint8_t> rest =
        file.ReadBlock(offset + sizeof local, nameSize + extraSize);
    if (rest.size() != nameSize + extraSize) {
        return std::nullopt;
    }
    name.assign(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(nameSize));
    entry = ZipEntry{};
    entry.name = std::string_view(name).substr(0, name.find('\0'));
    entry.flags = Le16(local + 6);
    entry.method = Le16(local + 8);
    entry.dosTime = Le16(local + 10);
    entry.dosDate = Le16(local + 12);
    entry.crc = Le32(local + 14);
    entry.compressedSize = Le32(local + 18);
    entry.originalSize = Le32(local + 22);
    entry.localHeaderOffset = offset;
    // ZIP64: both sizes in extra field 1, the original size first.
    for (std::size_t at = nameSize; at + 4 <= rest.size();) {
        const std::size_t size = Le16(rest.data() + at + 2);
        if (Le16(rest.data() + at) == 1 && size >= 16 && at + 4 + size <= rest.size()) {
            entry.originalSize = Le64(rest.data() + at + 4);
            entry.compressedSize = Le64(rest.data() + at + 12);
        }
        at += 4 + size;
    }
    return offset + sizeof local + nameSize + extraSize;
}

// A ZIP cut short, its central directory lost: the entries are listed from
// their local headers, one after the other, as far as the file holds them.
// An entry whose sizes follow its data (bit 3 of its flags) cannot be stepped over, so
// the listing ends with it.
class CutZipReader final : public ArchiveReader {
  public:
    explicit CutZipReader(std::unique_ptr<FileReader> file) : mFile(std::move(file)) {}

    Format Kind() const override { return Format::Zip; }

    void Rewind() override {
        mNext = 0;
        mData.reset();
    }

    const ArchiveEntry* Next() override {
        mData.reset();
        if (mNext > mFile->Size()) {
            return nullptr;
        }
        mData = ReadLocalHeader(*mFile, mNext, mRecord, mName);
        if (!mData) {
            mNext = mFile->Size() + 1;
            return nullptr;
        }
        // What the file holds of the data; its end is where the next header is.
        const bool sizesFollow = (mRecord.flags & 8) != 0 && mRecord.compressedSize == 0;
        mNext =
            sizesFollow || mRecord.compressedSize > mFile->Size() - std::min(*mData, mFile->Size())
                ? mFile->Size() + 1
                : *mData + mRecord.compressedSize;
        mRecord.compressedSize =
            std::min(mRecord.compressedSize, mFile->Size() - std::min(*mData, mFile->Size()));
        mEntry = Describe(mRecord);
        return &mEntry;
    }

    std::unique_ptr<EntryData> OpenData() override {
        if (!mData || mEntry.isFolder || mEntry.encrypted ||
            (mRecord.method != 0 && mRecord.method != 8)) {
            return nullptr;
        }
        auto result = std::make_unique<ZipData>(*mFile, *mData, mRecord);
        return result->Start() ? std::move(result) : nullptr;
    }

    bool Damaged() const override { return true; }

  private:
    std::unique_ptr<FileReader> mFile;
    std::uint64_t mNext = 0;  // where the next local header is; past the end: none
    std::optional<std::uint64_t> mData;
    ZipEntry mRecord;
    std::string mName;
    ArchiveEntry mEntry;
};

}  // namespace

std::unique_ptr<ArchiveReader> OpenCutZipReader(std::unique_ptr<FileReader> file) {
    std::uint8_t magic[4];
    if (!file || !file->ReadExact(0, magic, 4) || std::memcmp(magic, "PK\x03\x04", 4) != 0) {
        return nullptr;
    }
    return std::make_unique<CutZipReader>(std::move(file));
}

std::unique_ptr<ArchiveReader> OpenZipReader(std::unique_ptr<FileReader> file,
                                             std::unique_ptr<ZipDirectory> directory) {
    if (!file || !directory) {
        return nullptr;
    }
    return std::make_unique<ZipReader>(std::move(file), std::move(directory));
}

}  // namespace mervok::plugin
