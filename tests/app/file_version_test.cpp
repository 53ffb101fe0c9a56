#include "app/file_version.h"

#include "app/program_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace mervok {
namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<std::byte>;

fs::path Fixture(const std::string& name) {
    return fs::path(MERVOK_TEST_DATA_DIR) / "pe" / name;
}

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Bytes bytes(chars.size());
    std::memcpy(bytes.data(), chars.data(), chars.size());
    return bytes;
}

void WriteAll(const fs::path& path, std::span<const std::byte> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t U32At(const Bytes& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | std::to_integer<std::uint32_t>(bytes.at(offset + i));
    }
    return value;
}

void PutU32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.at(offset + i) = static_cast<std::byte>(value >> (8 * i));
    }
}

void PutU16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    bytes.at(offset) = static_cast<std::byte>(value);
    bytes.at(offset + 1) = static_cast<std::byte>(value >> 8);
}

class TempFolder {
  public:
    TempFolder() {
        std::random_device random;
        mPath = fs::temp_directory_path() /
                ("mervok_file_version_" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(mPath);
    }
    ~TempFolder() {
        std::error_code error;
        fs::remove_all(mPath, error);
    }
    const fs::path& Path() const { return mPath; }

  private:
    fs::path mPath;
};

// Where the pieces of a fixture lie, found the simple way (the resource
// directory opens the .rsrc section; the version block is found by its key),
// so that tests can damage exactly one of them.
struct Layout {
    std::size_t pe = 0;            // "PE\0\0"
    std::size_t sectionTable = 0;  // first section header
    std::size_t resourceRoot = 0;  // the type directory
    std::size_t versionBlock = 0;  // wLength of VS_VERSION_INFO
    std::size_t fixedBlock = 0;    // the 52-byte fixed block
};

Layout FindLayout(const Bytes& image) {
    Layout layout;
    layout.pe = U32At(image, 0x3C);
    const std::size_t numberOfSections = U32At(image, layout.pe + 6) & 0xFFFF;
    const std::size_t sizeOfOptionalHeader = U32At(image, layout.pe + 20) & 0xFFFF;
    layout.sectionTable = layout.pe + 24 + sizeOfOptionalHeader;
    for (std::size_t i = 0; i < numberOfSections; ++i) {
        const std::size_t header = layout.sectionTable + 40 * i;
        if (std::memcmp(image.data() + header, ".rsrc", 5) == 0) {
            layout.resourceRoot = U32At(image, header + 20);
        }
    }
    const char16_t key[] = u"VS_VERSION_INFO";
    Bytes keyBytes;
    for (char16_t c : key) {
        keyBytes.push_back(static_cast<std::byte>(c & 0xFF));
        keyBytes.push_back(static_cast<std::byte>(c >> 8));
    }
    const auto found = std::search(image.begin(), image.end(), keyBytes.begin(), keyBytes.end());
    if (found != image.end()) {
        layout.versionBlock = static_cast<std::size_t>(found - image.begin()) - 6;
        layout.fixedBlock = layout.versionBlock + 40;
    }
    return layout;
}

std::uint32_t Version(std::uint32_t high, std::uint32_t low) {
    return high << 16 | low;
}

// The thirteen fields in file order.
std::array<std::uint32_t, 13> Fields(const FixedFileInfo& i) {
    return {i.signature,        i.structVersion,    i.fileVersionMS, i.fileVersionLS,
            i.productVersionMS, i.productVersionLS, i.fileFlagsMask, i.fileFlags,
            i.fileOS,           i.fileType,         i.fileSubtype,   i.fileDateMS,
            i.fileDateLS};
}

struct VersionedFixture {
    const char* name;
    std::uint32_t fileVersionMS;
    std::uint32_t fileVersionLS;
    std::int32_t viewerVersion;
};

const VersionedFixture kVersioned[] = {
    {"version_1_23_x64.exe", Version(1, 23), Version(0, 0), 123},
    {"version_2_5_x86.exe", Version(2, 5), Version(0, 0), 205},
    {"version_1_13_4_2_x64.exe", Version(1, 13), Version(4, 2), 113},
    {"version_1_13_4_2_x86.exe", Version(1, 13), Version(4, 2), 113},
    {"version_400_1_x86.exe", Version(400, 1), Version(0, 0), 40001},
};

TEST(FileVersionTest, ReadsTheVersionOfEveryFixtureFromFileAndMemory) {
    for (const auto& fixture : kVersioned) {
        SCOPED_TRACE(fixture.name);
        const auto fromFile = GetFileVersion(Fixture(fixture.name).string());
        ASSERT_TRUE(fromFile.has_value());
        EXPECT_EQ(fromFile->signature, kFixedFileInfoSignature);
        EXPECT_EQ(fromFile->fileVersionMS, fixture.fileVersionMS);
        EXPECT_EQ(fromFile->fileVersionLS, fixture.fileVersionLS);
        EXPECT_EQ(ReadFixedFileInfo(ReadAll(Fixture(fixture.name))), fromFile);
    }
}

TEST(FileVersionTest, AllThirteenFieldsOf32And64BitImages) {
    FixedFileInfo expected;
    expected.signature = 0xFEEF04BD;
    expected.structVersion = 0x00010000;
    expected.fileVersionMS = Version(1, 13);
    expected.fileVersionLS = Version(4, 2);
    expected.productVersionMS = Version(7, 8);
    expected.productVersionLS = Version(9, 10);
    expected.fileFlagsMask = 0x3F;
    expected.fileFlags = 0x2;   // VS_FF_PRERELEASE
    expected.fileOS = 0x40004;  // VOS_NT_WINDOWS32
    expected.fileType = 1;      // VFT_APP
    expected.fileSubtype = 0;
    expected.fileDateMS = 0;
    expected.fileDateLS = 0;
    EXPECT_EQ(GetFileVersion(Fixture("version_1_13_4_2_x64.exe").string()), expected);
    EXPECT_EQ(GetFileVersion(Fixture("version_1_13_4_2_x86.exe").string()), expected);
    // Another OS value, to see that the field is really read.
    EXPECT_EQ(GetFileVersion(Fixture("version_2_5_x86.exe").string())->fileOS, 0x4u);
}

TEST(FileVersionTest, FilesWithoutAVersionBlockHaveNone) {
    TempFolder temp;
    const fs::path text = temp.Path() / "readme.exe";
    std::ofstream(text) << "MZ but nothing else of an executable\n";
    const fs::path empty = temp.Path() / "empty.exe";
    std::ofstream{empty};

    EXPECT_EQ(GetFileVersion(Fixture("no_resources_x64.exe").string()), std::nullopt);
    EXPECT_EQ(GetFileVersion(Fixture("no_version_x86.exe").string()), std::nullopt);
    EXPECT_EQ(GetFileVersion(text.string()), std::nullopt);
    EXPECT_EQ(GetFileVersion(empty.string()), std::nullopt);
    EXPECT_EQ(GetFileVersion((temp.Path() / "missing.exe").string()), std::nullopt);
    EXPECT_EQ(GetFileVersion(temp.Path().string()), std::nullopt);
    EXPECT_EQ(GetFileVersion(""), std::nullopt);
    EXPECT_EQ(GetFileVersion("   "), std::nullopt);
    // The test program itself is an executable, but not a PE one.
    EXPECT_EQ(GetFileVersion(ProgramFolder() + ProgramFileName()), std::nullopt);
}

#ifndef _WIN32
TEST(FileVersionTest, AFifoIsNotOpened) {
    // Opening a FIFO for reading would wait for a writer for ever.
    TempFolder temp;
    const fs::path fifo = temp.Path() / "Quorvix.exe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(GetFileVersion(fifo.string()), std::nullopt);
    EXPECT_EQ(GetViewerVersion(temp.Path().string()), 0);
}
#endif

TEST(FileVersionTest, SpacesAroundThePathAreIgnored) {
    const std::string path = Fixture("version_2_5_x86.exe").string();
    const auto padded = GetFileVersion("  " + path + "   ");
    ASSERT_TRUE(padded.has_value());
    EXPECT_EQ(padded->fileVersionMS, Version(2, 5));
}

TEST(FileVersionTest, AHugeFileIsReadOnlyWhereTheHeadersPoint) {
    // The version lies at the front; a sparse gigabyte behind it must not be
    // read for the answer.
    TempFolder temp;
    const fs::path big = temp.Path() / "big.exe";
    fs::copy_file(Fixture("version_1_23_x64.exe"), big);
    fs::resize_file(big, std::uintmax_t{1} << 30);
    const auto info = GetFileVersion(big.string());
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->fileVersionMS, Version(1, 23));
}

// The image with `gap` bytes inserted after the DOS header and every file
// offset behind it moved along: the same executable, laid out differently.
Bytes WithGapAfterDosHeader(const Bytes& image, std::size_t gap) {
    const Layout layout = FindLayout(image);
    Bytes moved = image;
    moved.insert(moved.begin() + 64, gap, std::byte{0});
    PutU32(moved, 0x3C, static_cast<std::uint32_t>(layout.pe + gap));
    const std::size_t numberOfSections = U32At(image, layout.pe + 6) & 0xFFFF;
    for (std::size_t i = 0; i < numberOfSections; ++i) {
        const std::size_t pointer = layout.sectionTable + gap + 40 * i + 20;
        PutU32(moved, pointer, static_cast<std::uint32_t>(U32At(moved, pointer) + gap));
    }
    return moved;
}

TEST(FileVersionTest, PiecesAreFoundWhereverTheyLieInTheFile) {
    // The file is read in blocks; moving the image byte by byte puts every
    // header, table and the version block across a block boundary once.
    const Bytes image = ReadAll(Fixture("version_1_13_4_2_x86.exe"));
    const auto expected = ReadFixedFileInfo(image);
    ASSERT_TRUE(expected.has_value());
    TempFolder temp;
    const fs::path path = temp.Path() / "moved.exe";
    for (std::size_t gap = 0; gap < 4096 + 512; ++gap) {
        const Bytes moved = WithGapAfterDosHeader(image, gap);
        EXPECT_EQ(ReadFixedFileInfo(moved), expected) << "gap " << gap;
        // The image is 3 KiB: from a gap of 1 KiB on, the boundary runs through it.
        if (gap >= 1024 && gap % 5 == 0) {
            WriteAll(path, moved);
            EXPECT_EQ(GetFileVersion(path.string()), expected) << "gap " << gap;
        }
    }
}

TEST(ViewerVersionTest, MajorTimesHundredPlusMinorOfTheViewerBesideTheProgram) {
    for (const auto& fixture : kVersioned) {
        SCOPED_TRACE(fixture.name);
        TempFolder temp;
        fs::copy_file(Fixture(fixture.name), temp.Path() / "Quorvix.exe");
        const std::string folder = temp.Path().string();
        EXPECT_EQ(GetViewerVersion(folder), fixture.viewerVersion);
        EXPECT_EQ(GetViewerVersion(folder + "/"), fixture.viewerVersion);
        // Every version of 1.00 or later must count as at least 100.
        EXPECT_GE(GetViewerVersion(folder), 100);
    }
}

TEST(ViewerVersionTest, NoViewerOrNoVersionGivesZero) {
    TempFolder temp;
    const std::string folder = temp.Path().string();
    EXPECT_EQ(GetViewerVersion(folder), 0);

    fs::copy_file(Fixture("no_version_x86.exe"), temp.Path() / "Quorvix.exe");
    EXPECT_EQ(GetViewerVersion(folder), 0);

    std::ofstream(temp.Path() / "Quorvix.exe", std::ios::trunc) << "#!/bin/sh\necho viewer\n";
    EXPECT_EQ(GetViewerVersion(folder), 0);

    // Another name beside the program is not the viewer.
    fs::remove(temp.Path() / "Quorvix.exe");
    fs::copy_file(Fixture("version_1_23_x64.exe"), temp.Path() / "Quorvix2.exe");
    EXPECT_EQ(GetViewerVersion(folder), 0);
}

// Cutting a file anywhere must give either no version or the whole version,
// and once everything the reader needs is there, always the whole version.
TEST(DamagedImageTest, EveryTruncationGivesNoneOrTheFullValue) {
    for (const char* name : {"version_1_13_4_2_x64.exe", "version_2_5_x86.exe"}) {
        SCOPED_TRACE(name);
        const Bytes image = ReadAll(Fixture(name));
        const auto full = ReadFixedFileInfo(image);
        ASSERT_TRUE(full.has_value());
        const Layout layout = FindLayout(image);
        ASSERT_GT(layout.fixedBlock, 0u);

        std::size_t firstComplete = image.size() + 1;
        for (std::size_t length = 0; length <= image.size(); ++length) {
            const auto cut = ReadFixedFileInfo(std::span(image).first(length));
            if (cut) {
                EXPECT_EQ(cut, full) << "cut at " << length;
                firstComplete = std::min(firstComplete, length);
            } else {
                EXPECT_LT(length, firstComplete) << "none again at " << length;
            }
        }
        // The fixed block is the last thing the reader needs.
        EXPECT_EQ(firstComplete, layout.fixedBlock + 52);

        // The same through files, which go through the block-wise reader.
        TempFolder temp;
        const fs::path path = temp.Path() / "cut.exe";
        for (std::size_t length = 0; length <= image.size(); length += 61) {
            WriteAll(path, std::span(image).first(length));
            const auto cut = GetFileVersion(path.string());
            EXPECT_EQ(cut.has_value(), length >= firstComplete) << "cut at " << length;
        }
    }
}

// One damaged byte either spoils the file (no version) or, when it lies in
// the fixed block, changes just the field it belongs to.
TEST(DamagedImageTest, ASingleDamagedByteChangesAtMostItsOwnField) {
    for (const char* name : {"version_1_13_4_2_x64.exe", "version_1_13_4_2_x86.exe"}) {
        SCOPED_TRACE(name);
        const Bytes image = ReadAll(Fixture(name));
        const auto full = ReadFixedFileInfo(image);
        ASSERT_TRUE(full.has_value());
        const std::size_t fixedBlock = FindLayout(image).fixedBlock;
        std::size_t changedFields = 0;
        std::size_t spoiled = 0;

        Bytes damaged = image;
        for (std::size_t offset = 0; offset < image.size(); ++offset) {
            for (std::byte mask : {std::byte{0x01}, std::byte{0x80}, std::byte{0xFF}}) {
                damaged[offset] = image[offset] ^ mask;
                const auto result = ReadFixedFileInfo(damaged);
                damaged[offset] = image[offset];
                if (!result) {
                    ++spoiled;
                    continue;
                }
                if (*result == *full) {
                    continue;
                }
                ++changedFields;
                ASSERT_GE(offset, fixedBlock) << "offset " << offset;
                ASSERT_LT(offset, fixedBlock + 52) << "offset " << offset;
                // Put the damaged field back: the rest must be untouched.
                auto fields = Fields(*result);
                const auto original = Fields(*full);
                const std::size_t field = (offset - fixedBlock) / 4;
                EXPECT_NE(fields[field], original[field]) << "offset " << offset;
                fields[field] = original[field];
                EXPECT_EQ(fields, original) << "offset " << offset;
            }
        }
        // The headers and the resource tree matter: many flips must spoil the
        // file, and every flip in a field other than the signature shows.
        EXPECT_GT(spoiled, 100u);
        EXPECT_EQ(changedFields, 12u * 4 * 3);
    }
}

TEST(DamagedImageTest, HostileTablesGiveNone) {
    const Bytes image = ReadAll(Fixture("version_1_23_x64.exe"));
    const Layout layout = FindLayout(image);
    ASSERT_GT(layout.resourceRoot, 0u);
    ASSERT_EQ(U32At(image, layout.resourceRoot + 16), 16u);  // the one type: RT_VERSION

    struct Damage {
        const char* what;
        void (*apply)(Bytes&, const Layout&);
    };
    const Damage damages[] = {
        {"PE header offset far past the end",
         [](Bytes& b, const Layout&) { PutU32(b, 0x3C, 0xFFFFFFF0); }},
        {"PE header offset at the very end",
         [](Bytes& b, const Layout&) {
             PutU32(b, 0x3C, static_cast<std::uint32_t>(b.size() - 4));
         }},
        {"unknown optional header magic",
         [](Bytes& b, const Layout& l) { PutU16(b, l.pe + 24, 0x107); }},
        {"too few data directories",
         [](Bytes& b, const Layout& l) { PutU32(b, l.pe + 24 + 108, 2); }},
        {"optional header too short for the resource entry",
         [](Bytes& b, const Layout& l) { PutU16(b, l.pe + 20, 112 + 16); }},
        {"resource directory at the top of the address space",
         [](Bytes& b, const Layout& l) { PutU32(b, l.pe + 24 + 112 + 16, 0xFFFFFFF8); }},
        {"resource section data past the end of the file",
         [](Bytes& b, const Layout& l) {
             for (std::size_t s = l.sectionTable; s < l.resourceRoot; s += 40) {
                 if (U32At(b, s + 20) == l.resourceRoot) {
                     PutU32(b, s + 20, 0x7FFFFF00);
                 }
             }
         }},
        {"type directory pointing back at itself",
         [](Bytes& b, const Layout& l) { PutU32(b, l.resourceRoot + 20, 0x80000000); }},
        {"the most entries a directory can claim",
         [](Bytes& b, const Layout& l) {
             PutU16(b, l.resourceRoot + 12, 0xFFFF);
             PutU16(b, l.resourceRoot + 14, 0xFFFF);
         }},
        {"version type leading to a data entry instead of names",
         [](Bytes& b, const Layout& l) { PutU32(b, l.resourceRoot + 20, 0x00000018); }},
        {"no fixed block in the version block",
         [](Bytes& b, const Layout& l) { PutU16(b, l.versionBlock + 2, 0); }},
        {"another key than VS_VERSION_INFO",
         [](Bytes& b, const Layout& l) { PutU16(b, l.versionBlock + 6, 'W'); }},
        {"wrong fixed block signature",
         [](Bytes& b, const Layout& l) { PutU32(b, l.fixedBlock, 0xFEEF04BE); }},
    };
    for (const auto& damage : damages) {
        Bytes damaged = image;
        damage.apply(damaged, layout);
        EXPECT_EQ(ReadFixedFileInfo(damaged), std::nullopt) << damage.what;
    }

    // A section count far beyond the table is harmless while the resource
    // section comes first in it.
    Bytes manySections = image;
    PutU16(manySections, layout.pe + 6, 0xFFFF);
    EXPECT_EQ(ReadFixedFileInfo(manySections), ReadFixedFileInfo(image));
}

}  // namespace
}  // namespace mervok
