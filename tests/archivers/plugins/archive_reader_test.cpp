// The per-format readers as the viewer uses them: any archive opened by the
// outermost rule, an entry found by name, its data read to the end.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "archive_reader.h"
#include "plugin_library.h"

namespace mervok::test {
namespace {

using plugin::Format;

// The entry's data read in small pieces to the end; nothing when the entry
// is missing or its data cannot be read to the end. The listing goes on
// afterwards, and the next entry's data is read too, whatever happened.
std::optional<std::string> EntryData(const std::string& path, const std::string& name,
                                     std::optional<Format>& kind) {
    auto reader = plugin::OpenAnyArchiveReader(path.c_str());
    kind.reset();
    if (!reader) {
        return std::nullopt;
    }
    kind = reader->Kind();
    const plugin::ArchiveEntry* entry = nullptr;
    while ((entry = reader->Next()) != nullptr && entry->name != name) {
    }
    auto data = entry ? reader->OpenData() : nullptr;
    if (!data) {
        return std::nullopt;
    }
    std::string text;
    char piece[1000];
    std::ptrdiff_t got;
    while ((got = data->Read(piece, sizeof piece)) > 0) {
        text.append(piece, static_cast<std::size_t>(got));
    }
    if (reader->Next() != nullptr) {
        if (auto next = reader->OpenData()) {
            while (next->Read(piece, sizeof piece) > 0) {
            }
        }
    }
    return got < 0 ? std::nullopt : std::optional<std::string>(text);
}

// A copy of a fixture with four bytes inverted at offset (from the end when
// negative).
std::string Damaged(const TempFolder& temp, const std::string& relative, long offset) {
    std::string bytes = ReadBytes(testing::Fixture("archives/" + std::string(relative)));
    const std::size_t at = (offset < 0 ? bytes.size() : 0) + static_cast<std::size_t>(offset);
    for (std::size_t i = at; i < at + 4 && i < bytes.size(); ++i) {
        bytes[i] ^= 0xFF;
    }
    return temp.Write("damaged_" + relative.substr(relative.rfind('/') + 1), bytes);
}

TEST(ArchiveReaderTest, EntryDataIsWhatTheToolPacked) {
    TempFolder temp;
    const std::string readme = ReadmeText();
    const std::string program(2000, 'P');
    // stub + padding + the archive in front of it, as one file.
    const auto join = [&temp](const std::string& name, std::initializer_list<const char*> parts) {
        std::string bytes;
        for (const char* part : parts) {
            bytes += ReadBytes(testing::Fixture("archives/" + std::string(part)));
        }
        return temp.Write(name, bytes);
    };
    const struct {
        std::string path;
        std::string entry;
        std::optional<Format> kind;
        std::optional<std::string> data;  // nothing: no data to be had
    } cases[] = {
        {testing::Fixture("archives/lha/lh0.lzh"), "README.TXT", Format::Lha, readme},
        {testing::Fixture("archives/lha/lh5.lzh"), "README.TXT", Format::Lha, readme},
        {testing::Fixture("archives/lha/lh6.lzh"), "README.TXT", Format::Lha, readme},
        {testing::Fixture("archives/lha/lh7.lzh"), "PROG.EXE", Format::Lha, program},
        {testing::Fixture("archives/lha/level0.lzh"), "doc\\guide.txt", Format::Lha, readme},
        {testing::Fixture("archives/lha/level1.lzh"), "doc/guide.txt", Format::Lha, readme},
        {testing::Fixture("archives/lha/sjis_level2.lzh"), "\x90\xe0\x96\xbe\x8f\x91.TXT",
         Format::Lha, readme},
        {testing::Fixture("archives/zip/plain.zip"), "README.TXT", Format::Zip, readme},
        {testing::Fixture("archives/zip/zip64.zip"), "README.TXT", Format::Zip, readme},
        {testing::Fixture("archives/zip/zip64_extra.zip"), "README.TXT", Format::Zip, readme},
        {testing::Fixture("archives/nested/zip_holding_lha.zip"), "nodoc.lzh", Format::Zip,
         ReadBytes(testing::Fixture("archives/lha/nodoc.lzh"))},
        {testing::Fixture("archives/cab/stored.cab"), "README.TXT", Format::Cab, readme},
        {testing::Fixture("archives/cab/mszip.cab"), "doc/guide.txt", Format::Cab, readme},
        {testing::Fixture("archives/sfx/lha_8k.exe"), "README.TXT", Format::Lha, readme},
        {testing::Fixture("archives/sfx/zip_8k.exe"), "README.TXT", Format::Zip, readme},
        {testing::Fixture("archives/sfx/zip_8k_adjusted.exe"), "PROG.EXE", Format::Zip, program},
        {testing::Fixture("archives/sfx/cab_8k.exe"), "PROG.EXE", Format::Cab, program},
        {join("lha.exe",
              {"stub/stub_8k_unstripped.exe", "stub/pad64.bin", "nested/lha_holding_zip.lzh"}),
         "nodoc.zip", Format::Lha, ReadBytes(testing::Fixture("archives/zip/nodoc.zip"))},
        {join("zip.exe",
              {"stub/stub_8k_unstripped.exe", "stub/pad64.bin", "nested/zip_holding_cab.zip"}),
         "README.TXT", Format::Zip, readme},
        {join("cab.exe", {"stub/stub_8k.exe", "stub/pad64.bin", "nested/cab_holding_zip.cab"}),
         "nodoc.zip", Format::Cab, ReadBytes(testing::Fixture("archives/zip/nodoc.zip"))},
        // Encrypted, cut short, damaged, larger than claimed, or beyond the file.
        {testing::Fixture("archives/zip/encrypted.zip"), "README.TXT", Format::Zip, std::nullopt},
        {testing::Fixture("archives/corrupt/lha_cut_in_data.lzh"), "data.bin", Format::Lha,
         std::nullopt},
        // Damaged data: lh5 (after its 46-byte header), deflate (after 40 bytes
        // of local header), MSZIP (its last block), stored CAB data whose
        // block goes on with the next file's (a checksum read only by us).
        {Damaged(temp, "lha/lh5.lzh", 60), "README.TXT", Format::Lha, std::nullopt},
        {Damaged(temp, "zip/plain.zip", 60), "README.TXT", Format::Zip, std::nullopt},
        {Damaged(temp, "cab/mszip.cab", -20), "doc/guide.txt", Format::Cab, std::nullopt},
        {Damaged(temp, "cab/stored.cab", 120), "README.TXT", Format::Cab, std::nullopt},
        {testing::Fixture("archives/corrupt/cab_missing_block.cab"), "README.TXT", Format::Cab,
         std::nullopt},
        {testing::Fixture("archives/zip/zip64_huge.zip"), "README.TXT", Format::Zip, std::nullopt},
        {testing::Fixture("archives/foreign/rar4_holding_zip.rar"), "README.TXT", std::nullopt,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " " + c.entry);
        std::optional<Format> kind;
        const auto data = EntryData(c.path, c.entry, kind);
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(data.has_value(), c.data.has_value());
        if (data && c.data) {
            EXPECT_EQ(*data, *c.data);
        }
    }
}

}  // namespace
}  // namespace mervok::test
