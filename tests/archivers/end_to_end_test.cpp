// The program's own archiver libraries, loaded from the program folder through
// the binding, over the fixture archives that real tools made. The manifest
// beside the fixtures says what each library finds in each file.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "archivers/archive_lookup.h"
#include "archivers/archiver_library.h"
#include "search/search_test_support.h"

namespace mervok {
namespace {

using namespace mervok::testing;

const std::filesystem::path kFixtures = std::filesystem::path(MERVOK_TEST_DATA_DIR) / "archives";
constexpr const char* kDefaultList = "*.TXT *.HLP *.DOC *.HTM *.HTML *.CHM";

struct ManifestRow {
    std::string file;
    std::string parts;  // "-", or the files to join: "stub/a.exe+lha/b.lzh"
    std::string library;
    std::string wildcards;
    std::string found;
};

std::vector<ManifestRow> LoadManifest() {
    std::vector<ManifestRow> rows;
    std::ifstream in(kFixtures / "manifest.tsv");
    for (std::string text; std::getline(in, text);) {
        if (text.empty() || text[0] == '#') {
            continue;
        }
        std::vector<std::string> fields;
        std::stringstream cells(text);
        for (std::string cell; std::getline(cells, cell, '\t');) {
            fields.push_back(cell);
        }
        fields.resize(7);
        rows.push_back({fields[0], fields[1], fields[2], fields[4], fields[5]});
    }
    return rows;
}

// Lays every fixture file into the folder, self-extractors with large stubs
// made from their parts.
void LayOut(const std::vector<ManifestRow>& rows, const TempFolder& top) {
    for (const auto& row : rows) {
        const std::filesystem::path target = top.Path() + row.file;
        if (std::filesystem::exists(target)) {
            continue;
        }
        std::filesystem::create_directories(target.parent_path());
        if (row.parts == "-") {
            std::filesystem::copy_file(kFixtures / row.file, target);
            continue;
        }
        std::ofstream out(target, std::ios::binary);
        std::stringstream parts(row.parts);
        for (std::string part; std::getline(parts, part, '+');) {
            std::ifstream in(kFixtures / part, std::ios::binary);
            ASSERT_TRUE(in) << part;
            out << in.rdbuf();
        }
    }
}

// True when each wildcard of the list is one of the check's default list.
bool WithinDefaultList(const std::string& wildcards) {
    std::set<std::string> allowed;
    std::stringstream words(kDefaultList);
    for (std::string word; words >> word;) {
        allowed.insert(word);
    }
    std::stringstream given(wildcards);
    for (std::string word; given >> word;) {
        if (!allowed.count(word)) {
            return false;
        }
    }
    return true;
}

// The label a search with the default document list gives each file that
// should be a hit.
std::map<std::string, std::string> ExpectedHits(const std::vector<ManifestRow>& rows) {
    std::map<std::string, std::string> hits;
    for (const auto& row : rows) {
        if (row.found != "0" || !WithinDefaultList(row.wildcards)) {
            continue;
        }
        const std::string ext = row.file.substr(row.file.size() - 4);
        const std::string upper = row.library == "lha"   ? "LHA"
                                  : row.library == "zip" ? "ZIP"
                                                         : "CAB";
        hits[row.file] = ext == ".exe" ? upper + "-SFX" : upper;
    }
    return hits;
}

class RealLibrariesTest : public ::testing::Test {
  protected:
    ArchiverLibraries libraries{MERVOK_DIST_DIR};
};

TEST_F(RealLibrariesTest, TheThreeLibrariesAreFoundBesideTheProgram) {
    const LibraryVersions versions = QueryLibraryVersions(libraries.Set());
    EXPECT_TRUE(libraries.Lha().IsLoaded());
    EXPECT_TRUE(libraries.Zip().IsLoaded());
    EXPECT_TRUE(libraries.Cab().IsLoaded());
    EXPECT_GT(versions.unlha, 0);
    EXPECT_GT(versions.unzip, 0);
    // Self-extracting cabinets need 0.90 or later.
    EXPECT_GE(versions.cab, kCabSfxVersion);
}

TEST_F(RealLibrariesTest, LookUpsGiveTheirFourResults) {
    const std::string lha = (kFixtures / "lha").string() + "/";
    EXPECT_EQ(FindInLhaArchive(libraries.Lha(), nullptr, lha + "lh5.lzh", kDefaultList),
              kLookupFound);
    EXPECT_EQ(FindInLhaArchive(libraries.Lha(), nullptr, lha + "nodoc.lzh", kDefaultList),
              kLookupNone);
    EXPECT_EQ(FindInLhaArchive(libraries.Lha(), nullptr,
                               (kFixtures / "corrupt/lha_bad_checksum.lzh").string(), kDefaultList),
              kLookupCannotOpen);
    EXPECT_EQ(FindInLhaArchive(libraries.Lha(), nullptr, lha + "lh5.lzh", ""),
              kLookupEmptyArgument);
    // A ZIP file is no LHA archive.
    EXPECT_EQ(FindInLhaArchive(libraries.Lha(), nullptr, (kFixtures / "zip/plain.zip").string(),
                               kDefaultList),
              kLookupCannotOpen);
    EXPECT_EQ(FindInZipArchive(libraries.Zip(), nullptr, (kFixtures / "zip/plain.zip").string(),
                               kDefaultList),
              kLookupFound);
    // Found by its second wildcard, asked one at a time.
    EXPECT_EQ(FindInCabArchive(libraries.Cab(), nullptr,
                               (kFixtures / "cab/manual_doc.cab").string(), kDefaultList),
              kLookupFound);
    EXPECT_EQ(FindInCabArchive(libraries.Cab(), nullptr, (kFixtures / "cab/nodoc.cab").string(),
                               kDefaultList),
              kLookupNone);
}

TEST_F(RealLibrariesTest, ASearchOverTheFixturesFindsWhatTheManifestSays) {
    const auto rows = LoadManifest();
    ASSERT_GT(rows.size(), 40u);
    TempFolder top;
    LayOut(rows, top);
    // Not archives, whatever their names say.
    top.File("misc/fake.zip", "just text, no archive");
    top.Folder("misc/old.zip");
    top.File("misc/.lzh", "");

    SearchOptions options;
    options.searchFolder = top.Path();
    options.includeSubfolders = true;
    options.searchLha = options.searchZip = options.searchCab = options.searchExe = true;
    StartupValues startup;
    startup.libraries = QueryLibraryVersions(libraries.Set());
    startup.viewerVersion = 100;

    const auto expected = ExpectedHits(rows);
    ASSERT_GT(expected.size(), 20u);
    for (int threads : {1, 2}) {
        std::atomic<bool> abort{false};
        RecordingObserver observer;
        SearchEngine engine(options, startup, libraries.Set(), DocTypeSource{}, abort, observer);
        engine.SetCheckThreads(threads);
        const auto result = engine.Run();

        std::map<std::string, std::string> hits;
        for (const auto& hit : result.archives) {
            hits[hit.Path().substr(top.Path().size())] = hit.kind;
        }
        EXPECT_EQ(hits, expected) << threads << " threads";
        EXPECT_TRUE(result.checked);
        EXPECT_FALSE(result.checkAborted);
        EXPECT_EQ(observer.hitCounts.size(), expected.size());
        EXPECT_EQ(engine.Wildcards(), kDefaultList);
    }
}

TEST_F(RealLibrariesTest, TheViewersDocumentTypesDecideWhatCounts) {
    TempFolder top;
    std::filesystem::copy_file(kFixtures / "lha/manual_doc.lzh", top.Path() + "manual_doc.lzh");
    std::filesystem::copy_file(kFixtures / "lha/lh5.lzh", top.Path() + "lh5.lzh");
    SearchOptions options;
    options.searchFolder = top.Path();
    options.searchLha = true;
    StartupValues startup;
    startup.libraries = QueryLibraryVersions(libraries.Set());

    // A viewer older than 1.00 looks for "*.TXT" only.
    startup.viewerVersion = 99;
    std::atomic<bool> abort{false};
    RecordingObserver observer;
    auto found = SearchEngine(options, startup, libraries.Set(), {}, abort, observer).Run();
    EXPECT_THAT(Names(found.archives), ::testing::ElementsAre("lh5.lzh"));

    startup.viewerVersion = 100;
    found = SearchEngine(options, startup, libraries.Set(), {}, abort, observer).Run();
    EXPECT_THAT(Names(found.archives),
                ::testing::UnorderedElementsAre("lh5.lzh", "manual_doc.lzh"));
}

TEST_F(RealLibrariesTest, NamesThatAreNotUtf8ReachTheHitByteForByte) {
    TempFolder top;
    // Shift-JIS folder and file names.
    const std::string folder = top.Folder("\x8f\x91\x8c\xc9");
    const std::string name = "\x83\x65\x83\x58\x83\x67.lzh";
    std::filesystem::copy_file(kFixtures / "lha/sjis_level2.lzh", folder + name);
    SearchOptions options;
    options.searchFolder = top.Path();
    options.includeSubfolders = true;
    options.searchLha = true;
    StartupValues startup;
    startup.libraries = QueryLibraryVersions(libraries.Set());
    std::atomic<bool> abort{false};
    RecordingObserver observer;
    const auto found = SearchEngine(options, startup, libraries.Set(), {}, abort, observer).Run();
    ASSERT_EQ(found.archives.size(), 1u);
    EXPECT_EQ(found.archives[0].folder, folder);
    EXPECT_EQ(found.archives[0].fileName, name);
    EXPECT_EQ(found.archives[0].kind, "LHA");
}

}  // namespace
}  // namespace mervok
