// Every fixture archive in the manifest, through all three real libraries.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "plugin_library.h"

namespace mervok::test {
namespace {

struct ManifestRow {
    int line = 0;
    std::string file;
    std::string parts;
    std::string library;
    std::string open;
    std::string wildcards;
    std::string found;
    std::string what;
};

// gtest shows a failing row by its file and its look-up.
void PrintTo(const ManifestRow& row, std::ostream* out) {
    *out << row.file << " [" << row.wildcards << "]";
}

std::vector<ManifestRow> LoadManifest() {
    std::vector<ManifestRow> rows;
    std::ifstream in(ArchiveFixtures() / "manifest.tsv");
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        if (text.empty() || text[0] == '#') {
            continue;
        }
        std::vector<std::string> fields;
        std::stringstream cells(text);
        for (std::string cell; std::getline(cells, cell, '\t');) {
            fields.push_back(cell);
        }
        fields.resize(7);
        rows.push_back(
            {line, fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]});
    }
    return rows;
}

// Self-extractors with large stubs are made from their parts, once per run.
std::filesystem::path FixturePath(const ManifestRow& row) {
    if (row.parts == "-") {
        return ArchiveFixtures() / row.file;
    }
    static TempFolder built;
    std::filesystem::path path = built.Path() / row.file;
    if (!std::filesystem::exists(path)) {
        std::vector<std::uint8_t> bytes;
        std::stringstream parts(row.parts);
        for (std::string part; std::getline(parts, part, '+');) {
            std::vector<std::uint8_t> piece = ReadFileBytes(ArchiveFixtures() / part);
            EXPECT_FALSE(piece.empty()) << part;
            bytes.insert(bytes.end(), piece.begin(), piece.end());
        }
        WriteFileBytes(path, bytes);
    }
    return path;
}

class ManifestTest : public ::testing::TestWithParam<ManifestRow> {
  protected:
    static void SetUpTestSuite() {
        for (auto kind : {PluginLibrary::Lha, PluginLibrary::Zip, PluginLibrary::Cab}) {
            sLibraries[kind] = std::make_unique<PluginLibrary>(kind);
        }
    }
    static void TearDownTestSuite() {
        for (auto& library : sLibraries) {
            library.reset();
        }
    }
    static std::unique_ptr<PluginLibrary> sLibraries[3];
};
std::unique_ptr<PluginLibrary> ManifestTest::sLibraries[3];

TEST_P(ManifestTest, EachLibraryAnswersAsRecorded) {
    const ManifestRow& row = GetParam();
    SCOPED_TRACE("manifest line " + std::to_string(row.line) + ": " + row.file + " (" + row.what +
                 ")");
    const std::string path = FixturePath(row).string();
    ASSERT_TRUE(std::filesystem::exists(path));
    const char* names[] = {"lha", "zip", "cab"};
    for (int kind = 0; kind < 3; ++kind) {
        const PluginLibrary& library = *sLibraries[kind];
        ASSERT_TRUE(library.Loaded()) << LibraryFileName(static_cast<PluginLibrary::Kind>(kind));
        SCOPED_TRACE(library.Prefix());
        if (row.library != names[kind]) {
            EXPECT_EQ(library.CheckArchive(path.c_str(), 0), 0);
            EXPECT_EQ(library.LookUp(path, "*"), -2);
            continue;
        }
        EXPECT_NE(library.CheckArchive(path.c_str(), 0), 0);
        if (row.open == "1") {
            EXPECT_EQ(library.LookUp(path, row.wildcards), std::stoi(row.found))
                << "wildcards: " << row.wildcards;
        } else {
            EXPECT_EQ(library.LookUp(path, row.wildcards), -2);
        }
    }
}

std::string RowName(const ::testing::TestParamInfo<ManifestRow>& info) {
    std::string name = "line" + std::to_string(info.param.line) + "_";
    for (char c : info.param.file) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ManifestTest, ::testing::ValuesIn(LoadManifest()), RowName);

TEST(ManifestFile, CoversEveryFormatAndOutcome) {
    auto rows = LoadManifest();
    ASSERT_GT(rows.size(), 40u);
    int seen[3][2] = {};
    for (const auto& row : rows) {
        int kind = row.library == "lha"   ? 0
                   : row.library == "zip" ? 1
                   : row.library == "cab" ? 2
                                          : -1;
        if (kind >= 0 && row.open == "1") {
            seen[kind][row.found == "0" ? 0 : 1]++;
        }
    }
    for (auto& outcome : seen) {
        EXPECT_GT(outcome[0], 0);
        EXPECT_GT(outcome[1], 0);
    }
}

}  // namespace
}  // namespace mervok::test
