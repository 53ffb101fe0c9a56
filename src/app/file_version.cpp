#include "app/file_version.h"

#include "app/program_folder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace mervok {

namespace {

// Where the bytes come from: the reader asks for small pieces at offsets and
// never holds more than it asked for, so a file is read in pieces.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Copies out.size() bytes from offset; false when they are not all there.
    virtual bool ReadAt(std::uint64_t offset, std::span<std::byte> out) = 0;
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const std::byte> bytes) : mBytes(bytes) {}

    bool ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
        if (offset > mBytes.size() || out.size() > mBytes.size() - offset) {
            return false;
        }
        std::copy_n(mBytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return true;
    }

  private:
    std::span<const std::byte> mBytes;
};

// A file read through one cached block: the headers, the section table and
// the resource directory are small neighbouring pieces, mostly in one block.
class FileSource final : public ByteSource {
  public:
    explicit FileSource(const std::filesystem::path& path) : mStream(path, std::ios::binary) {
        if (!mStream) {
            return;
        }
        mStream.seekg(0, std::ios::end);
        const std::streamoff end = mStream.tellg();
        mSize = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    }

    bool ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
        if (offset > mSize || out.size() > mSize - offset) {
            return false;
        }
        while (!out.empty()) {
            const std::uint64_t blockStart = offset - offset % kBlockSize;
            if (!LoadBlock(blockStart)) {
                return false;
            }
            const std::size_t inBlock = static_cast<std::size_t>(offset - blockStart);
            const std::size_t count = std::min(out.size(), mBlockLength - inBlock);
            if (count == 0) {
                return false;
            }
            std::memcpy(out.data(), mBlock.data() + inBlock, count);
            out = out.subspan(count);
            offset += count;
        }
        return true;
    }

  private:
    static constexpr std::size_t kBlockSize = 4096;

    bool LoadBlock(std::uint64_t blockStart) {
        if (mBlockLength > 0 && mBlockStart == blockStart) {
            return true;
        }
        mBlockLength = 0;
        mStream.clear();
        mStream.seekg(static_cast<std::streamoff>(blockStart));
        const auto wanted =
            static_cast<std::streamsize>(std::min<std::uint64_t>(kBlockSize, mSize - blockStart));
        mStream.read(reinterpret_cast<char*>(mBlock.data()), wanted);
        if (mStream.gcount() != wanted) {
            return false;
        }
        mBlockStart = blockStart;
        mBlockLength = static_cast<std::size_t>(wanted);
        return true;
    }

    std::ifstream mStream;
    std::uint64_t mSize = 0;
    std::array<std::byte, kBlockSize> mBlock{};
    std::uint64_t mBlockStart = 0;
    std::size_t mBlockLength = 0;
};

std::uint16_t LoadU16(const std::byte* p) {
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(p[0]) |
                                      std::to_integer<unsigned>(p[1]) << 8);
}

std::uint32_t LoadU32(const std::byte* p) {
    return static_cast<std::uint32_t>(LoadU16(p)) | static_cast<std::uint32_t>(LoadU16(p + 2))
                                                        << 16;
}

constexpr std::uint16_t kDosMagic = 0x5A4D;     // "MZ"
constexpr std::uint32_t kPeSignature = 0x4550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kVersionResourceType = 16;  // RT_VERSION
constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kResourceDirectorySize = 16;
constexpr std::size_t kResourceEntrySize = 8;
// wLength, wValueLength, wType, L"VS_VERSION_INFO\0", padded to 32 bits.
constexpr std::size_t kFixedFileInfoOffset = 40;
constexpr std::size_t kVersionBlockMinSize = kFixedFileInfoOffset + kFixedFileInfoSize;
constexpr std::u16string_view kVersionKey{u"VS_VERSION_INFO", 16};  // with its NUL

// The 52 little-endian bytes of a fixed version block; nothing without its
// signature.
std::optional<FixedFileInfo> ParseFixedBlock(const std::byte* f) {
    FixedFileInfo info;
    std::uint32_t* fields[] = {&info.signature,     &info.structVersion,    &info.fileVersionMS,
                               &info.fileVersionLS, &info.productVersionMS, &info.productVersionLS,
                               &info.fileFlagsMask, &info.fileFlags,        &info.fileOS,
                               &info.fileType,      &info.fileSubtype,      &info.fileDateMS,
                               &info.fileDateLS};
    static_assert(std::size(fields) * 4 == kFixedFileInfoSize);
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        *fields[i] = LoadU32(f + 4 * i);
    }
    if (info.signature != kFixedFileInfoSignature) {
        return std::nullopt;
    }
    return info;
}

// Walks DOS header, PE header, section table and resource tree down to the
// fixed version block. Every offset is checked against the source before use;
// the walk has a fixed depth, so a resource directory pointing back at itself
// ends it instead of looping.
class VersionReader {
  public:
    explicit VersionReader(ByteSource& source) : mSource(source) {}

    std::optional<FixedFileInfo> Read() {
        if (!ReadHeaders()) {
            return std::nullopt;
        }
        const auto types = ReadDirectory(0);
        if (!types) {
            return std::nullopt;
        }
        std::optional<std::uint32_t> names;
        for (std::uint32_t i = 0; i < types->count && !names; ++i) {
            const auto entry = ReadEntry(types->entriesOffset, i);
            if (!entry) {
                return std::nullopt;
            }
            if (entry->nameOrId == kVersionResourceType && (entry->target & kHighBit) != 0) {
                names = entry->target & ~kHighBit;
            }
        }
        if (!names) {
            return std::nullopt;
        }
        const auto languages = FirstEntry(*names);
        if (!languages || (*languages & kHighBit) == 0) {
            return std::nullopt;
        }
        const auto dataEntry = FirstEntry(*languages & ~kHighBit);
        if (!dataEntry || (*dataEntry & kHighBit) != 0) {
            return std::nullopt;
        }
        return ReadVersionBlock(*dataEntry);
    }

  private:
    struct Directory {
        std::uint64_t entriesOffset = 0;  // file offset of the first entry
        std::uint32_t count = 0;
    };

    struct Entry {
        std::uint32_t nameOrId = 0;
        std::uint32_t target = 0;  // high bit: sub-directory
    };

    template <std::size_t N>
    std::optional<std::array<std::byte, N>> Bytes(std::uint64_t offset) {
        std::array<std::byte, N> bytes;
        if (!mSource.ReadAt(offset, bytes)) {
            return std::nullopt;
        }
        return bytes;
    }

    bool ReadHeaders() {
        const auto dos = Bytes<64>(0);
        if (!dos || LoadU16(dos->data()) != kDosMagic) {
            return false;
        }
        const std::uint64_t pe = LoadU32(dos->data() + 0x3C);
        // Signature and file header (24 bytes), then the optional header up to
        // the first data directories of a PE32+ image (112 bytes).
        const auto header = Bytes<24 + 112>(pe);
        if (!header || LoadU32(header->data()) != kPeSignature) {
            return false;
        }
        const std::byte* optional = header->data() + 24;
        const std::uint16_t numberOfSections = LoadU16(header->data() + 6);
        const std::uint16_t sizeOfOptionalHeader = LoadU16(header->data() + 20);
        const std::uint16_t magic = LoadU16(optional);
        std::size_t directoriesOffset = 0;
        if (magic == kPe32Magic) {
            directoriesOffset = 96;
        } else if (magic == kPe32PlusMagic) {
            directoriesOffset = 112;
        } else {
            return false;
        }
        const std::uint32_t numberOfRvaAndSizes = LoadU32(optional + directoriesOffset - 4);
        const std::size_t resourceEntryEnd = directoriesOffset + (kResourceDirectoryIndex + 1) * 8;
        if (numberOfRvaAndSizes <= kResourceDirectoryIndex ||
            sizeOfOptionalHeader < resourceEntryEnd) {
            return false;
        }
        const std::uint64_t optionalOffset = pe + 24;
        const auto directory =
            Bytes<8>(optionalOffset + directoriesOffset + kResourceDirectoryIndex * 8);
        if (!directory) {
            return false;
        }
        mResourceRva = LoadU32(directory->data());
        if (mResourceRva == 0) {
            return false;
        }
        mSectionTableOffset = optionalOffset + sizeOfOptionalHeader;
        mNumberOfSections = numberOfSections;
        return true;
    }

    // The file offset of length bytes at rva, all of them in one section's
    // data in the file.
    std::optional<std::uint64_t> MapRva(std::uint64_t rva, std::uint64_t length) {
        const std::uint64_t end = rva + length;
        if (end > 0xFFFFFFFFu) {
            return std::nullopt;
        }
        for (std::uint32_t i = 0; i < mNumberOfSections; ++i) {
            const auto section =
                Bytes<kSectionHeaderSize>(mSectionTableOffset + i * kSectionHeaderSize);
            if (!section) {
                return std::nullopt;
            }
            const std::uint64_t virtualAddress = LoadU32(section->data() + 12);
            const std::uint64_t sizeOfRawData = LoadU32(section->data() + 16);
            const std::uint64_t pointerToRawData = LoadU32(section->data() + 20);
            if (rva >= virtualAddress && end <= virtualAddress + sizeOfRawData) {
                return pointerToRawData + (rva - virtualAddress);
            }
        }
        return std::nullopt;
    }

    // offset is relative to the start of the resource directory.
    std::optional<Directory> ReadDirectory(std::uint32_t offset) {
        const std::uint64_t rva = std::uint64_t{mResourceRva} + offset;
        const auto header = MapRva(rva, kResourceDirectorySize);
        if (!header) {
            return std::nullopt;
        }
        const auto bytes = Bytes<kResourceDirectorySize>(*header);
        if (!bytes) {
            return std::nullopt;
        }
        const std::uint32_t count =
            std::uint32_t{LoadU16(bytes->data() + 12)} + LoadU16(bytes->data() + 14);
        const auto entries = MapRva(rva + kResourceDirectorySize, count * kResourceEntrySize);
        if (!entries) {
            return std::nullopt;
        }
        return Directory{*entries, count};
    }

    std::optional<Entry> ReadEntry(std::uint64_t entriesOffset, std::uint32_t index) {
        const auto bytes = Bytes<kResourceEntrySize>(entriesOffset + index * kResourceEntrySize);
        if (!bytes) {
            return std::nullopt;
        }
        return Entry{LoadU32(bytes->data()), LoadU32(bytes->data() + 4)};
    }

    // The target of a directory's first entry, whatever its name.
    std::optional<std::uint32_t> FirstEntry(std::uint32_t directoryOffset) {
        const auto directory = ReadDirectory(directoryOffset);
        if (!directory || directory->count == 0) {
            return std::nullopt;
        }
        const auto entry = ReadEntry(directory->entriesOffset, 0);
        if (!entry) {
            return std::nullopt;
        }
        return entry->target;
    }

    std::optional<FixedFileInfo> ReadVersionBlock(std::uint32_t dataEntryOffset) {
        const auto entryOffset = MapRva(std::uint64_t{mResourceRva} + dataEntryOffset, 16);
        if (!entryOffset) {
            return std::nullopt;
        }
        const auto dataEntry = Bytes<16>(*entryOffset);
        if (!dataEntry) {
            return std::nullopt;
        }
        const std::uint32_t dataRva = LoadU32(dataEntry->data());
        const std::uint32_t dataSize = LoadU32(dataEntry->data() + 4);
        if (dataSize < kVersionBlockMinSize) {
            return std::nullopt;
        }
        const auto dataOffset = MapRva(dataRva, kVersionBlockMinSize);
        if (!dataOffset) {
            return std::nullopt;
        }
        const auto block = Bytes<kVersionBlockMinSize>(*dataOffset);
        if (!block) {
            return std::nullopt;
        }
        const std::byte* p = block->data();
        const std::uint16_t length = LoadU16(p);
        const std::uint16_t valueLength = LoadU16(p + 2);
        if (length < kVersionBlockMinSize || valueLength < kFixedFileInfoSize) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < kVersionKey.size(); ++i) {
            if (LoadU16(p + 6 + 2 * i) != kVersionKey[i]) {
                return std::nullopt;
            }
        }
        return ParseFixedBlock(p + kFixedFileInfoOffset);
    }

    ByteSource& mSource;
    std::uint32_t mResourceRva = 0;
    std::uint64_t mSectionTableOffset = 0;
    std::uint32_t mNumberOfSections = 0;
};

// Walks an ELF image's program headers to its PT_NOTE segments and their
// notes. Every piece is read through the source's bounds checks; the notes
// read are capped, so a file claiming a huge note segment costs no more than
// a small one.
class ElfNoteReader {
  public:
    explicit ElfNoteReader(ByteSource& source) : mSource(source) {}

    std::optional<FixedFileInfo> Read() {
        std::array<std::byte, 64> header;
        if (!mSource.ReadAt(0, std::span(header).first(kElfIdentSize))) {
            return std::nullopt;
        }
        const auto elfClass = std::to_integer<unsigned>(header[4]);
        const auto data = std::to_integer<unsigned>(header[5]);
        if ((elfClass != kElfClass32 && elfClass != kElfClass64) ||
            (data != kElfDataLsb && data != kElfDataMsb)) {
            return std::nullopt;
        }
        mWide = elfClass == kElfClass64;
        mBigEndian = data == kElfDataMsb;
        if (!mSource.ReadAt(0, std::span(header).first(mWide ? 64 : 52))) {
            return std::nullopt;
        }
        const std::uint64_t phoff =
            mWide ? Word64(header.data() + 0x20) : Word32(header.data() + 0x1C);
        const std::uint32_t phentsize = Word16(header.data() + (mWide ? 0x36 : 0x2A));
        const std::uint32_t phnum = Word16(header.data() + (mWide ? 0x38 : 0x2C));
        const std::uint32_t needed = mWide ? 56 : 32;
        if (phentsize < needed) {
            return std::nullopt;
        }
        std::uint64_t budget = kNoteBytesLimit;
        for (std::uint32_t i = 0; i < phnum && budget > 0; ++i) {
            std::array<std::byte, 56> entry;
            if (!mSource.ReadAt(phoff + std::uint64_t{i} * phentsize,
                                std::span(entry).first(needed))) {
                return std::nullopt;
            }
            if (Word32(entry.data()) != kPtNote) {
                continue;
            }
            const std::uint64_t offset =
                mWide ? Word64(entry.data() + 8) : Word32(entry.data() + 4);
            const std::uint64_t size =
                std::min(budget, mWide ? Word64(entry.data() + 0x20) : Word32(entry.data() + 0x10));
            const std::uint64_t align =
                mWide ? Word64(entry.data() + 0x30) : Word32(entry.data() + 0x1C);
            budget -= size;
            if (auto info = FindInSegment(offset, size, align == 8 ? 8 : 4)) {
                return info;
            }
        }
        return std::nullopt;
    }

  private:
    static constexpr std::size_t kElfIdentSize = 16;
    static constexpr unsigned kElfClass32 = 1;
    static constexpr unsigned kElfClass64 = 2;
    static constexpr unsigned kElfDataLsb = 1;
    static constexpr unsigned kElfDataMsb = 2;
    static constexpr std::uint32_t kPtNote = 4;
    static constexpr std::uint64_t kNoteBytesLimit = 64 * 1024;

    std::uint32_t Word16(const std::byte* p) const {
        const std::uint16_t v = LoadU16(p);
        return mBigEndian ? static_cast<std::uint16_t>(v >> 8 | v << 8) : v;
    }
    std::uint32_t Word32(const std::byte* p) const {
        return mBigEndian ? Word16(p) << 16 | Word16(p + 2) : Word16(p) | Word16(p + 2) << 16;
    }
    std::uint64_t Word64(const std::byte* p) const {
        const std::uint64_t low = Word32(p + (mBigEndian ? 4 : 0));
        const std::uint64_t high = Word32(p + (mBigEndian ? 0 : 4));
        return high << 32 | low;
    }

    static std::uint64_t Align(std::uint64_t value, std::uint64_t align) {
        return (value + align - 1) / align * align;
    }

    std::optional<FixedFileInfo> FindInSegment(std::uint64_t offset, std::uint64_t size,
                                               std::uint64_t align) {
        std::uint64_t at = 0;
        while (size >= 12 && at <= size - 12) {
            std::array<std::byte, 12> note;
            if (!mSource.ReadAt(offset + at, note)) {
                return std::nullopt;
            }
            const std::uint64_t nameSize = Word32(note.data());
            const std::uint64_t descSize = Word32(note.data() + 4);
            const std::uint64_t descAt = Align(at + 12 + nameSize, align);
            if (nameSize == kElfVersionNoteOwner.size() && descSize == kFixedFileInfoSize &&
                Word32(note.data() + 8) == kElfVersionNoteType && descAt + descSize <= size) {
                std::array<std::byte, kElfVersionNoteOwner.size()> name;
                std::array<std::byte, kFixedFileInfoSize> desc;
                if (mSource.ReadAt(offset + at + 12, name) &&
                    std::memcmp(name.data(), kElfVersionNoteOwner.data(), name.size()) == 0 &&
                    mSource.ReadAt(offset + descAt, desc)) {
                    return ParseFixedBlock(desc.data());
                }
            }
            at = Align(descAt + descSize, align);
        }
        return std::nullopt;
    }

    ByteSource& mSource;
    bool mWide = false;
    bool mBigEndian = false;
};

// PE or ELF, told by the first bytes.
std::optional<FixedFileInfo> ReadVersion(ByteSource& source) {
    std::array<std::byte, 4> magic;
    if (source.ReadAt(0, magic) && std::memcmp(magic.data(),
                                               "\x7F"
                                               "ELF",
                                               4) == 0) {
        return ElfNoteReader(source).Read();
    }
    return VersionReader(source).Read();
}

std::string_view TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::optional<FixedFileInfo> ReadFixedFileInfo(std::span<const std::byte> image) {
    MemorySource source(image);
    return ReadVersion(source);
}

std::optional<FixedFileInfo> GetFileVersion(const std::string& path) {
    const std::string_view trimmed = TrimSpaces(path);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    const std::filesystem::path file(trimmed);
    // Opening a FIFO or a device would block or never end.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return std::nullopt;
    }
    FileSource source(file);
    return ReadVersion(source);
}

std::int32_t GetViewerVersion(std::string_view programFolder) {
    const auto info = GetFileVersion(PathInFolder(programFolder, "Quorvix.exe"));
    if (!info) {
        return 0;
    }
    const std::int32_t major = static_cast<std::int32_t>(info->fileVersionMS >> 16);
    const std::int32_t minor = static_cast<std::int32_t>(info->fileVersionMS & 0xFFFF);
    return major * 100 + minor;
}

}  // namespace mervok
