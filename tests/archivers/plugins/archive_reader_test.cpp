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
    std::string bytes = ReadBytes(Fixture(relative));
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
            bytes += ReadBytes(Fixture(part));
        }
        return temp.Write(name, bytes);
    };
    const struct {
        std::string path;
        std::string entry;
        std::optional<Format> kind;
        std::optional<std::string> data;  // nothing: no data to be had
    } cases[] = {
        {Fixture("lha/lh0.lzh"), "README.TXT", Format::Lha, readme},
        {Fixture("lha/lh5.lzh"), "README.TXT", Format::Lha, readme},
        {Fixture("lha/lh6.lzh"), "README.TXT", Format::Lha, readme},
        {Fixture("lha/lh7.lzh"), "PROG.EXE", Format::Lha, program},
        {Fixture("lha/level0.lzh"), "doc\\guide.txt", Format::Lha, readme},
        {Fixture("lha/level1.lzh"), "doc/guide.txt", Format::Lha, readme},
        {Fixture("lha/sjis_level2.lzh"), "\x90\xe0\x96\xbe\x8f\x91.TXT", Format::Lha, readme},
        {Fixture("zip/plain.zip"), "README.TXT", Format::Zip, readme},
        {Fixture("zip/zip64.zip"), "README.TXT", Format::Zip, readme},
        {Fixture("zip/zip64_extra.zip"), "README.TXT", Format::Zip, readme},
        {Fixture("nested/zip_holding_lha.zip"), "nodoc.lzh", Format::Zip,
         ReadBytes(Fixture("lha/nodoc.lzh"))},
        {Fixture("cab/stored.cab"), "README.TXT", Format::Cab, readme},
        {Fixture("cab/mszip.cab"), "doc/guide.txt", Format::Cab, readme},
        {Fixture("sfx/lha_8k.exe"), "README.TXT", Format::Lha, readme},
        {Fixture("sfx/zip_8k.exe"), "README.TXT", Format::Zip, readme},
        {Fixture("sfx/zip_8k_adjusted.exe"), "PROG.EXE", Format::Zip, program},
        {Fixture("sfx/cab_8k.exe"), "PROG.EXE", Format::Cab, program},
        {join("lha.exe",
              {"stub/stub_8k_unstripped.exe", "stub/pad64.bin", "nested/lha_holding_zip.lzh"}),
         "nodoc.zip", Format::Lha, ReadBytes(Fixture("zip/nodoc.zip"))},
        {join("zip.exe",
              {"stub/stub_8k_unstripped.exe", "stub/pad64.bin", "nested/zip_holding_cab.zip"}),
         "README.TXT", Format::Zip, readme},
        {join("cab.exe", {"stub/stub_8k.exe", "stub/pad64.bin", "nested/cab_holding_zip.cab"}),
         "nodoc.zip", Format::Cab, ReadBytes(Fixture("zip/nodoc.zip"))},
        // Encrypted, cut short, damaged, larger than claimed, or beyond the file.
        {Fixture("zip/encrypted.zip"), "README.TXT", Format::Zip, std::nullopt},
        {Fixture("corrupt/lha_cut_in_data.lzh"), "data.bin", Format::Lha, std::nullopt},
        // Damaged data: lh5 (after its 46-byte header), deflate (after 40 bytes
        // of local header), MSZIP (its last block), stored CAB data whose
        // block goes on with the next file's (a checksum read only by us).
        {Damaged(temp, "lha/lh5.lzh", 60), "README.TXT", Format::Lha, std::nullopt},
        {Damaged(temp, "zip/plain.zip", 60), "README.TXT", Format::Zip, std::nullopt},
        {Damaged(temp, "cab/mszip.cab", -20), "doc/guide.txt", Format::Cab, std::nullopt},
        {Damaged(temp, "cab/stored.cab", 120), "README.TXT", Format::Cab, std::nullopt},
        {Fixture("corrupt/cab_missing_block.cab"), "README.TXT", Format::Cab, std::nullopt},
        {Fixture("zip/zip64_huge.zip"), "README.TXT", Format::Zip, std::nullopt},
        {Fixture("foreign/rar4_holding_zip.rar"), "README.TXT", std::nullopt, std::nullopt},
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
