#include "app/file_version.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "app/program_folder.h"
#include "support/files.h"

namespace mervok {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

static_assert(std::endian::native == std::endian::little, "the fixtures are patched in place");

std::string Fixture(const std::string& name) {
    return std::string(MERVOK_TEST_DATA_DIR) + "/pe/" + name;
}

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
        const auto info = GetFileVersion("  " + Fixture(fixture.name) + " ");
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->fileVersionMS, fixture.ms);
        EXPECT_EQ(info->fileVersionLS, fixture.ls);
        EXPECT_EQ(Read(ReadBytes(Fixture(fixture.name))), info);
        TempFolder folder;
        fs::copy_file(Fixture(fixture.name), folder.File("Quorvix.exe"));
        EXPECT_EQ(GetViewerVersion(folder.Path()), fixture.viewer);
        EXPECT_EQ(GetViewerVersion(folder.Path() + "/"), fixture.viewer);
    }
    const FixedFileInfo all{
        0xFEEF04BD, 0x00010000, 1 << 16 | 13, 4 << 16 | 2, 7 << 16 | 8, 9 << 16 | 10,
        0x3F,       0x2,        0x40004,      1,           0,           0,
        0};
    EXPECT_EQ(GetFileVersion(Fixture("version_1_13_4_2_x64.exe")), all);
    EXPECT_EQ(GetFileVersion(Fixture("version_1_13_4_2_x86.exe")), all);
    EXPECT_EQ(GetFileVersion(Fixture("version_2_5_x86.exe"))->fileOS, 0x4u);
}

TEST(FileVersionTest, AnythingElseHasNoVersion) {
    TempFolder folder;
    WriteBytes(folder.File("readme.exe"), "MZ but nothing else of an executable\n");
    WriteBytes(folder.File("empty.exe"), "");
    // Opening a FIFO for reading would wait for a writer for ever.
    ASSERT_EQ(::mkfifo(folder.File("fifo.exe").c_str(), 0600), 0);
    for (const std::string& path :
         {Fixture("no_resources_x64.exe"), Fixture("no_version_x86.exe"), folder.File("readme.exe"),
          folder.File("empty.exe"), folder.File("missing.exe"), folder.File("fifo.exe"),
          folder.Path(), std::string(), std::string("   "), ProgramFolder() + ProgramFileName()}) {
        EXPECT_EQ(GetFileVersion(path), std::nullopt) << path;
    }
    EXPECT_EQ(GetViewerVersion(folder.Path()), 0);
    fs::copy_file(Fixture("no_version_x86.exe"), folder.File("Quorvix.exe"));
    fs::copy_file(Fixture("version_1_23_x64.exe"), folder.File("Quorvix2.exe"));
    EXPECT_EQ(GetViewerVersion(folder.Path()), 0);
}

TEST(FileVersionTest, PiecesAcrossTheFilesBlockBoundariesAreFound) {
    // Moving the 3 KiB image behind a gap after the DOS header puts every
    // header, table and the version block across a 4 KiB boundary once.
    const std::string image = ReadBytes(Fixture("version_1_13_4_2_x86.exe"));
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
        const std::string image = ReadBytes(Fixture(name));
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
    const std::string image = ReadBytes(Fixture("version_1_23_x64.exe"));
    const Layout l = FindLayout(image);
    ASSERT_EQ(U32(image, l.resources + 16), 16u);  // the one type: RT_VERSION
    const std::size_t directory = l.pe + 24 + 112 + 16;
    const std::pair<const char*, std::function<void(std::string&)>> damages[] = {
        {"PE header past the end", [](std::string& b) { Put<std::uint32_t>(b, 0x3C, 0xFFFFFFF0); }},
        {"PE header at the end", [](std::string& b) { Put(b, 0x3C, std::uint32_t(b.size() - 4)); }},
        {"unknown optional header",
         [&](std::string& b) { Put<std::uint16_t>(b, l.pe + 24, 0x107); }},
        {"two data directories", [&](std::string& b) { Put<std::uint32_t>(b, l.pe + 132, 2); }},
        {"optional header too short",
         [&](std::string& b) { Put<std::uint16_t>(b, l.pe + 20, 128); }},
        {"resources at the top", [&](std::string& b) { Put<std::uint32_t>(b, directory, ~7u); }},
        {"section data past the end",
         [&](std::string& b) {
             for (std::size_t at = l.sections + 20; at < l.sections + 40 * l.count; at += 40) {
                 if (U32(b, at) == l.resources) {
                     Put<std::uint32_t>(b, at, 0x7FFFFF00);
                 }
             }
         }},
        {"directory pointing at itself",
         [&](std::string& b) { Put<std::uint32_t>(b, l.resources + 20, 0x80000000); }},
        {"most entries a directory can claim",
         [&](std::string& b) { Put<std::uint32_t>(b, l.resources + 12, 0xFFFFFFFF); }},
        {"version type leading to data",
         [&](std::string& b) { Put<std::uint32_t>(b, l.resources + 20, 0x18); }},
        {"no fixed block", [&](std::string& b) { Put<std::uint16_t>(b, l.version + 2, 0); }},
        {"another key", [&](std::string& b) { Put<std::uint16_t>(b, l.version + 6, 'W'); }},
        {"wrong signature",
         [&](std::string& b) { Put<std::uint32_t>(b, l.version + 40, 0xFEEF04BE); }},
    };
    for (const auto& [what, damage] : damages) {
        std::string damaged = image;
        damage(damaged);
        EXPECT_EQ(Read(damaged), std::nullopt) << what;
    }
    // A section count far beyond the table is harmless while the resource
    // section comes first in it.
    std::string manySections = image;
    Put<std::uint16_t>(manySections, l.pe + 6, 0xFFFF);
    EXPECT_EQ(Read(manySections), Read(image));
}

}  // namespace
}  // namespace mervok
