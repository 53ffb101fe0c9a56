// The program's own archiver libraries, bound by name from the program folder,
// over fixture archives that real tools made; the manifest beside the
// fixtures says what each library finds in each file.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "archivers/archive_lookup.h"
#include "archivers/archiver_library.h"
#include "support/real_search.h"

namespace mervok {
namespace {

using namespace mervok::testing;

const std::string kFixtures = std::string(MERVOK_TEST_DATA_DIR) + "/archives/";
const std::string kList = "*.TXT *.HLP *.DOC *.HTM *.HTML *.CHM";

class RealLibrariesTest : public RealSearchTest {
  protected:
    SearchResult Search(int threads = 2) {
        SearchOptions options;
        options.includeSubfolders = true;
        return RunSearch(options, threads);
    }
};

TEST_F(RealLibrariesTest, BoundByNameBesideTheProgramAndAbsentWhenUnreachable) {
    EXPECT_EQ(libraries.Cab().Path(), std::string(MERVOK_DIST_DIR) + "/libcab32.so");
    const LibraryVersions versions = QueryLibraryVersions(libraries.Set());
    EXPECT_GT(versions.unlha, 0);
    EXPECT_GT(versions.unzip, 0);
    EXPECT_GE(versions.cab, kCabSfxVersion);  // self-extracting cabinets need it
    for (ArchiverLibrary* ours : {&libraries.Lha(), &libraries.Zip(), &libraries.Cab()}) {
        EXPECT_TRUE(ours->IndependentHandles()) << ours->Path();
    }
    const std::string lzh = kFixtures + "lha/lh5.lzh";
    EXPECT_EQ(FindInLhaArchive(libraries.Lha(), nullptr, lzh, ""), LookupResult::EmptyArgument);
    EXPECT_EQ(FindInCabArchive(libraries.Cab(), nullptr, "", kList), LookupResult::EmptyArgument);
    // Not a library, no file, or the right file under another prefix: every
    // call fails the way the API's own failure looks.
    ArchiverLibrary notALibrary(top.Write("libunlha32.so", "not a shared library"), "Unlha");
    ArchiverLibrary missing(top.Folder() + "missing.so", "Unlha");
    ArchiverLibrary wrongPrefix(libraries.Zip().Path(), "Unlha");
    for (ArchiverLibrary* library : {&notALibrary, &missing, &wrongPrefix}) {
        EXPECT_EQ(library->IsLoaded(), library == &wrongPrefix) << library->Path();
        EXPECT_EQ(GetUnlhaVersion(*library), 0);
        EXPECT_EQ(library->GetRunning(), 0);
        EXPECT_FALSE(library->IndependentHandles());
        EXPECT_EQ(library->CheckArchive(lzh, 0), 0);
        EXPECT_EQ(FindInLhaArchive(*library, nullptr, lzh, kList), LookupResult::CannotOpen);
    }
}

TEST_F(RealLibrariesTest, EachLibraryAndASearchOverTheFixturesFindWhatTheManifestSays) {
    // Self-extractors with large stubs are made from their parts.
    std::map<std::string, std::string> expected;
    const auto rows = ManifestRows(kFixtures);
    for (const auto& cell : rows) {
        const std::string path = top.Folder() + cell[0];
        if (!std::filesystem::exists(path)) {
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            WriteBytes(path, cell[7]);
        }
        // Only the owner recognises and opens the file, and finds what it says.
        SCOPED_TRACE(cell[0] + " " + cell[4]);
        const struct {
            const char* name;
            ArchiverApi& library;
            decltype(&FindInLhaArchive) find;
        } owners[] = {{"lha", libraries.Lha(), FindInLhaArchive},
                      {"zip", libraries.Zip(), FindInZipArchive},
                      {"cab", libraries.Cab(), FindInCabArchive}};
        for (const auto& owner : owners) {
            const bool owns = cell[2] == owner.name;
            EXPECT_EQ(owner.library.CheckArchive(path, 0) != 0, owns) << owner.name;
            const LookupResult want = !owns || cell[3] != "1" ? LookupResult::CannotOpen
                                      : cell[5] == "0"        ? LookupResult::Found
                                                              : LookupResult::NoMatch;
            EXPECT_EQ(owner.find(owner.library, nullptr, path, cell[4]), want) << owner.name;
        }
        // A hit of a search with the default list of document types.
        bool inList = cell[5] == "0";
        std::istringstream words(cell[4]);
        for (std::string word; words >> word;) {
            inList = inList && (" " + kList + " ").find(" " + word + " ") != std::string::npos;
        }
        if (inList) {
            const std::string kind = cell[2] == "lha" ? "LHA" : cell[2] == "zip" ? "ZIP" : "CAB";
            expected[cell[0]] = cell[0].ends_with(".exe") ? kind + "-SFX" : kind;
        }
    }
    ASSERT_GT(rows.size(), 80u);
    ASSERT_GT(expected.size(), 20u);
    // Not archives, whatever their names say.
    top.Write("misc/fake.zip", "just text, no archive");
    top.Folder("misc/old.zip");
    top.Write("misc/.lzh", "");
    for (int threads : {1, SearchEngine::kDefaultCheckThreads}) {
        const auto result = Search(threads);
        std::map<std::string, std::string> hits;
        for (const auto& hit : result.archives) {
            hits[hit.Path().substr(top.Folder().size())] = KindLabel(hit);
        }
        EXPECT_EQ(hits, expected) << threads << " threads";
        EXPECT_EQ(result.outcome, SearchOutcome::Checked);
    }
}

}  // namespace
}  // namespace mervok
