#include "app/file_version.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "app/program_folder.h"
#include "support/files.h"

namespace mervok {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

static_assert(std::endian::native == std::endian::little, "the fixtures are patched in place");

std::optional<FixedFileInfo> Read(std::string_view image) {
    return ReadFixedFileInfo(std::as_bytes(std::span(image.data(), image.size())));
}

std::uint32_t U32(const std::string& image, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, image.data() + at, 4);
    return value;
}

template <typename Value>
void Put(std::string& image, std::size_t at, Value value) {
    std::memcpy(image.data() + at, &value, sizeof value);
}

// Where the pieces of a fixture lie, so that tests can damage or move them.
struct Layout {
    std::size_t pe = 0;         // "PE\0\0"
    std::size_t sections = 0;   // the section table
    std::size_t count = 0;      // its entries
    std::size_t resources = 0;  // the resource type directory
    std::size_t version = 0;    // VS_VERSION_INFO; its fixed block follows 40 bytes on
};

Layout FindLayout(const std::string& image) {
    Layout layout{U32(image, 0x3C)};
    layout.sections = layout.pe + 24 + (U32(image, layout.pe + 20) & 0xFFFF);
    layout.count = U32(image, layout.pe + 6) & 0xFFFF;
    for (std::size_t s = layout.sections; s < layout.sections + 40 * layout.count; s += 40) {
        if (image.compare(s, 5, ".rsrc") == 0) {
            layout.resources = U32(image, s + 20);
        }
    }
    const std::u16string key = u"VS_VERSION_INFO";
    layout.version = image.find(std::string(reinterpret_cast<const char*>(key.data()), 30)) - 6;
    return layout;
}

TEST(FileVersionTest, EveryFixtureFromFileAndMemoryAndAsTheViewerBesideTheProgram) {
    const struct {
        const char* name;
        std::uint32_t ms, ls;
        std::int32_t viewer;
    } fixtures[] = {{"version_1_23_x64.exe", 1 << 16 | 23, 0, 123},
                    {"version_2_5_x86.exe", 2 << 16 | 5, 0, 205},
                    {"version_1_13_4_2_x64.exe", 1 << 16 | 13, 4 << 16 | 2, 113},
                    {"version_1_13_4_2_x86.exe", 1 << 16 | 13, 4 << 16 | 2, 113},
                    {"version_400_1_x86.exe", 400 << 16 | 1, 0, 40001}};
    for (const auto& fixture : fixtures) {
        SCOPED_TRACE(fixture.name);
        const std::string path = testing::Fixture("pe/" + std::string(fixture.name));
        const auto info = GetFileVersion("  " + path + " ");
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->fileVersionMS, fixture.ms);
        EXPECT_EQ(info->fileVersionLS, fixture.ls);
        EXPECT_EQ(Read(ReadBytes(path)), info);
        TempFolder folder;
        fs::copy_file(path, folder.File("Quorvix.exe"));
        EXPECT_EQ(GetViewerVersion(folder.Path()), fixture.viewer);
        EXPECT_EQ(GetViewerVersion(folder.Path() + "/"), fixture.viewer);
    }
    const FixedFileInfo all{
        0xFEEF04BD, 0x00010000, 1 << 16 | 13, 4 << 16 | 2, 7 << 16 | 8, 9 << 16 | 10,
        0x3F,       0x2,        0x40004,      1,           0,           0,
        0};
    EXPECT_EQ(GetFileVersion(testing::Fixture("pe/version_1_13_4_2_x64.exe")), all);
    EXPECT_EQ(GetFileVersion(testing::Fixture("pe/version_1_13_4_2_x86.exe")), all);
    EXPECT_EQ(GetFileVersion(testing::Fixture("pe/version_2_5_x86.exe"))->fileOS, 0x4u);
}

TEST(FileVersionTest, AnythingElseHasNoVersion) {
    TempFolder folder;
    WriteBytes(folder.File("readme.exe"), "MZ but nothing else of an executable\n");
    WriteBytes(folder.File("empty.exe"), "");
    // Opening a FIFO for reading would wait for a writer for ever.
    ASSERT_EQ(::mkfifo(folder.File("fifo.exe").c_str(), 0600), 0);
    for (const std::string& path :
         {testing::Fixture("pe/no_resources_x64.exe"), testing::Fixture("pe/no_version_x86.exe"),
          folder.File("readme.exe"), folder.File("empty.exe"), folder.File("missing.exe"),
          folder.File("fifo.exe"), folder.Path(), std::string(), std::string("   "),
          ProgramFolder() + ProgramFileName()}) {
        EXPECT_EQ(GetFileVersion(path), std::nullopt) << path;
    }
    EXPECT_EQ(GetViewerVersion(folder.Path()), 0);
    fs::copy_file(testing::Fixture("pe/no_version_x86.exe"), folder.File("Quorvix.exe"));
    fs::copy_file(testing::Fixture("pe/version_1_23_x64.exe"), folder.File("Quorvix2.exe"));
    EXPECT_EQ(GetViewerVersion(folder.Path()), 0);
}

TEST(FileVersionTest, PiecesAcrossTheFilesBlockBoundariesAreFound) {
    // Moving the 3 KiB image behind a gap after the DOS header puts every
    // header, table and the version block across a 4 KiB boundary once.
    const std::string image = ReadBytes(testing::Fixture("pe/version_1_13_4_2_x86.exe"));
    const Layout layout = FindLayout(image);
    const auto expected = Read(image);
    ASSERT_TRUE(expected.has_value());
    TempFolder folder;
    for (std::size_t gap = 1024; gap < 4096 + 512; gap += 5) {
        std::string moved = image;
        moved.insert(64, gap, '\0');
        Put<std::uint32_t>(moved, 0x3C, static_cast<std::uint32_t>(layout.pe + gap));
        for (std::size_t i = 0; i < layout.count; ++i) {
            const std::size_t at = layout.sections + gap + 40 * i + 20;
            Put<std::uint32_t>(moved, at, static_cast<std::uint32_t>(U32(moved, at) + gap));
        }
        WriteBytes(folder.File("moved.exe"), moved);
        EXPECT_EQ(GetFileVersion(folder.File("moved.exe")), expected) << "gap " << gap;
    }
}

TEST(FileVersionTest, EveryCutGivesNoneOrTheWholeVersion) {
    for (const char* name : {"version_1_13_4_2_x64.exe", "version_2_5_x86.exe"}) {
        const std::string image = ReadBytes(testing::Fixture("pe/" + std::string(name)));
        const auto full = Read(image);
        ASSERT_TRUE(full.has_value()) << name;
        // The fixed block is the last thing the reader needs.
        const std::size_t needed = FindLayout(image).version + 40 + 52;
        for (std::size_t length = 0; length <= image.size(); ++length) {
            const auto cut = Read(std::string_view(image).substr(0, length));
            EXPECT_EQ(cut, length >= needed ? full : std::nullopt) << name << " cut at " << length;
        }
    }
}

TEST(FileVersionTest, HostileTablesGiveNone) {
    const std::string image = ReadBytes(testing::Fixture("pe/version_1_23_x64.exe"));
    const Layout l = FindLayout(image);
    ASSERT_EQ(U32(image, l.resources + 16), 16u);  // the one type: RT_VERSION
    const std::size_t directory = l.pe + 24 + 112 + 16;
    std::size_t resourceData = 0;  // where the resource section's data is said to lie
    for (std::size_t at = l.sections + 20; at < l.sections + 40 * l.count; at += 40) {
        resourceData = U32(image, at) == l.resources ? at : resourceData;
    }
    ASSERT_NE(resourceData, 0u);
    const std::tuple<const char*, std::size_t, std::uint32_t, std::size_t> damages[] = {
        {"PE header past the end", 0x3C, 0xFFFFFFF0, 4},
        {"PE header at the end", 0x3C, static_cast<std::uint32_t>(image.size() - 4), 4},
        {"unknown optional header", l.pe + 24, 0x107, 2},
        {"two data directories", l.pe + 132, 2, 4},
        {"optional header too short", l.pe + 20, 128, 2},
        {"resources at the top", directory, ~7u, 4},
        {"section data past the end", resourceData, 0x7FFFFF00, 4},
        {"directory pointing at itself", l.resources + 20, 0x80000000, 4},
        {"most entries a directory can claim", l.resources + 12, 0xFFFFFFFF, 4},
        {"version type leading to data", l.resources + 20, 0x18, 4},
        {"no fixed block", l.version + 2, 0, 2},
        {"another key", l.version + 6, 'W', 2},
        {"wrong signature", l.version + 40, 0xFEEF04BE, 4},
    };
    for (const auto& [what, at, value, size] : damages) {
        std::string damaged = image;
        std::memcpy(damaged.data() + at, &value, size);
        EXPECT_EQ(Read(damaged), std::nullopt) << what;
    }
    // A section count far beyond the table is harmless while the resource
    // section comes first in it.
    std::string manySections = image;
    Put<std::uint16_t>(manySections, l.pe + 6, 0xFFFF);
    EXPECT_EQ(Read(manySections), Read(image));
}

struct ElfNote {
    std::string owner;  // with its NUL
    std::uint32_t type = 0;
    std::string desc;
};

// An ELF image as small as the reader allows: the file header, a PT_LOAD and a
// PT_NOTE program header, and the notes.
std::string ElfImage(bool wide, bool bigEndian, std::uint64_t align,
                     const std::vector<ElfNote>& notes) {
    std::string image;
    const auto put = [&](std::size_t at, std::uint64_t value, std::size_t size) {
        if (image.size() < at + size) {
            image.resize(at + size, '\0');
        }
        for (std::size_t i = 0; i < size; ++i) {
            image[at + (bigEndian ? size - 1 - i : i)] = static_cast<char>(value >> 8 * i);
        }
    };
    const std::size_t word = wide ? 8 : 4;
    const std::size_t ehsize = wide ? 64 : 52;
    const std::size_t phentsize = wide ? 56 : 32;
    image = std::string("\x7F") + "ELF";
    put(4, wide ? 2 : 1, 1);
    put(5, bigEndian ? 2 : 1, 1);
    put(wide ? 0x20 : 0x1C, ehsize, word);
    put(wide ? 0x36 : 0x2A, phentsize, 2);
    put(wide ? 0x38 : 0x2C, 2, 2);
    put(ehsize, 1, 4);  // PT_LOAD
    const std::size_t phdr = ehsize + phentsize;
    std::size_t at = ehsize + 2 * phentsize;
    const auto pad = [&] { at = (at + align - 1) / align * align; };
    pad();
    const std::size_t blob = at;
    for (const ElfNote& note : notes) {
        put(at, note.owner.size(), 4);
        put(at + 4, note.desc.size(), 4);
        put(at + 8, note.type, 4);
        image.replace(at + 12, note.owner.size(), note.owner);
        at += 12 + note.owner.size();
        pad();
        image.resize(at);
        image += note.desc;
        at += note.desc.size();
        if (&note != &notes.back()) {
            pad();
            image.resize(at, '\0');
        }
    }
    put(phdr, 4, 4);  // PT_NOTE
    put(phdr + (wide ? 8 : 4), blob, word);
    put(phdr + (wide ? 0x20 : 0x10), at - blob, word);
    put(phdr + (wide ? 0x30 : 0x1C), align, word);
    return image;
}

static_assert(sizeof(FixedFileInfo) == kFixedFileInfoSize, "the note holds the struct's bytes");

TEST(FileVersionTest, ElfVersionNoteInEveryLayoutAndNothingElse) {
    // 3.14.15.0
    FixedFileInfo version{kFixedFileInfoSignature, 0x00010000, 3 << 16 | 14, 15 << 16};
    version.fileFlagsMask = 0x3F;
    version.fileType = 1;
    const std::string owner(kElfVersionNoteOwner);
    const ElfNote buildId{std::string("GNU", 4), 3, std::string(20, 'b')};
    const ElfNote ours{owner, kElfVersionNoteType,
                       std::string(reinterpret_cast<const char*>(&version), sizeof version)};
    const std::string unsigned_ = std::string(4, '\0') + ours.desc.substr(4);
    const struct {
        const char* what;
        bool wide, bigEndian;
        std::uint64_t align;
        std::vector<ElfNote> notes;
        bool found;
    } cases[] = {
        {"64-bit", true, false, 4, {buildId, ours}, true},
        {"32-bit", false, false, 4, {ours}, true},
        {"64-bit big-endian", true, true, 4, {buildId, ours}, true},
        {"32-bit big-endian, 8-byte aligned", false, true, 8, {buildId, ours}, true},
        {"other notes only", true, false, 4, {buildId}, false},
        {"other owner", true, false, 4, {{"Mervoc", kElfVersionNoteType, ours.desc}}, false},
        {"other type", true, false, 4, {{owner, 1, ours.desc}}, false},
        {"short block", true, false, 4, {{owner, kElfVersionNoteType, ours.desc.substr(4)}}, false},
        {"no signature", true, false, 4, {{owner, kElfVersionNoteType, unsigned_}}, false},
        {"no notes", true, false, 4, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string image = ElfImage(c.wide, c.bigEndian, c.align, c.notes);
        const auto expected = c.found ? std::optional(version) : std::nullopt;
        EXPECT_EQ(Read(image), expected);
        TempFolder folder;
        WriteBytes(folder.File("Quorvix.exe"), image);
        EXPECT_EQ(GetViewerVersion(folder.Path()), c.found ? 314 : 0);
        if (c.found) {
            for (std::size_t length = 0; length < image.size(); ++length) {
                EXPECT_EQ(Read(std::string_view(image).substr(0, length)), std::nullopt) << length;
            }
        }
    }
    // Sizes that lead nowhere end the walk.
    std::string image = ElfImage(true, false, 4, {ours});
    Put<std::uint16_t>(image, 0x38, 0xFFFF);
    EXPECT_EQ(Read(image), version);  // the note comes before the missing headers
    image = ElfImage(true, false, 4, {buildId, ours});
    Put<std::uint32_t>(image, 64 + 2 * 56, 0xFFFFFFF0);  // the first note's name size
    EXPECT_EQ(Read(image), std::nullopt);
    image = ElfImage(true, false, 4, {ours});
    Put<std::uint64_t>(image, 64 + 56 + 0x20, ~std::uint64_t{0});  // the segment's size
    EXPECT_EQ(Read(image), version);
}

}  // namespace
}  // namespace mervok
