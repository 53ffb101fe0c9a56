// The binding by name, through real shared libraries: one built for these
// tests and, where they are built, the program's own.

#include "archivers/archiver_library.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "archivers/archive_lookup.h"
#include "search/search_test_support.h"

namespace mervok {
namespace {

using namespace mervok::testing;

// The test library's own counters, reached past the binding.
class TestLibraryProbe {
  public:
    TestLibraryProbe() : mModule(dlopen(MERVOK_TEST_UNLHA_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {}
    ~TestLibraryProbe() {
        if (mModule) {
            dlclose(mModule);
        }
    }
    int OpenArchives() const { return Call<int>("TestOpenArchives"); }
    void* LastWindow() const { return Call<void*>("TestLastWindow"); }
    int CursorMode() const { return Call<int>("TestCursorMode"); }

  private:
    template <typename Result>
    Result Call(const char* name) const {
        auto function = reinterpret_cast<Result (*)()>(dlsym(mModule, name));
        return function ? function() : Result{};
    }
    void* mModule;
};

TEST(ArchiverLibraryTest, CallsReachTheLibraryByName) {
    ArchiverLibrary library(MERVOK_TEST_UNLHA_LIBRARY, "Unlha");
    TestLibraryProbe probe;
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_EQ(library.GetVersion(), 89);
    EXPECT_EQ(GetUnlhaVersion(library), 89);
    EXPECT_EQ(library.GetRunning(), 0);
    EXPECT_EQ(library.SetCursorMode(0), 0);
    EXPECT_EQ(probe.CursorMode(), 0);
    EXPECT_EQ(library.GetCursorMode(), 0);
    EXPECT_NE(library.CheckArchive("/x/good.lzh", 0), 0);
    EXPECT_EQ(library.CheckArchive("/x/good.zip", 0), 0);

    int window = 0;
    EXPECT_EQ(FindInLhaArchive(library, &window, "/x/good.lzh", "*.TXT *.DOC"), kLookupFound);
    EXPECT_EQ(probe.LastWindow(), &window);
    EXPECT_EQ(FindInLhaArchive(library, &window, "/x/good.lzh", "*.DOC"), kLookupNone);
    EXPECT_EQ(FindInLhaArchive(library, &window, "/x/other.lzh", "*.TXT"), kLookupCannotOpen);
    EXPECT_EQ(FindInLhaArchive(library, &window, "", "*.TXT"), kLookupEmptyArgument);
    EXPECT_EQ(FindInLhaArchive(library, &window, "/x/good.lzh", ""), kLookupEmptyArgument);
    // One word per call through the same library.
    EXPECT_EQ(FindInCabArchive(library, &window, "/x/good.lzh", "*.DOC *.TXT"), kLookupFound);
    EXPECT_EQ(probe.OpenArchives(), 0);
}

TEST(ArchiverLibraryTest, MissingEntryPointsFailTheirCallsOnly) {
    ArchiverLibrary library(MERVOK_TEST_PARTIAL_LIBRARY, "Unlha");
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_EQ(library.GetVersion(), 90);
    EXPECT_NE(library.CheckArchive("/x/a.lzh", 0), 0);
    EXPECT_EQ(library.GetRunning(), 0);
    EXPECT_EQ(library.GetCursorMode(), 0);
    EXPECT_EQ(library.OpenArchive(nullptr, "/x/a.lzh", kOpenArchiveMode), nullptr);
    EXPECT_NE(library.FindFirst(nullptr, "*.TXT"), 0);
    EXPECT_EQ(FindInLhaArchive(library, nullptr, "/x/a.lzh", "*.TXT"), kLookupCannotOpen);
}

TEST(ArchiverLibraryTest, AnUnreachableLibraryLooksAbsent) {
    TempFolder folder;
    const std::string notALibrary = folder.File("libunlha32.so", "not a shared library");
    for (const std::string& path : {notALibrary, folder.Path() + "missing.so"}) {
        ArchiverLibrary library(path, "Unlha");
        EXPECT_FALSE(library.IsLoaded());
        EXPECT_EQ(GetUnlhaVersion(library), 0);
        EXPECT_EQ(library.GetRunning(), 0);
        EXPECT_EQ(library.CheckArchive("/x/good.lzh", 0), 0);
        EXPECT_EQ(FindInLhaArchive(library, nullptr, "/x/good.lzh", "*.TXT"), kLookupCannotOpen);
    }
    // Right file, wrong prefix: none of the names is there.
    ArchiverLibrary wrongPrefix(MERVOK_TEST_UNLHA_LIBRARY, "UnZip");
    EXPECT_TRUE(wrongPrefix.IsLoaded());
    EXPECT_EQ(GetUnzipVersion(wrongPrefix), 0);
}

TEST(ArchiverLibraryTest, FirstCallsFromManyThreadsBindOnce) {
    ArchiverLibrary library(MERVOK_TEST_UNLHA_LIBRARY, "Unlha");
    std::vector<int> versions(8, -1);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < versions.size(); ++i) {
        threads.emplace_back([&, i] { versions[i] = library.GetVersion(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(versions, std::vector<int>(8, 89));
}

TEST(ArchiverLibrariesTest, TheThreeAreFoundInTheGivenFolderByTheirFileNames) {
    TempFolder folder;
    std::filesystem::copy_file(MERVOK_TEST_UNLHA_LIBRARY, folder.Path() + "libunlha32.so");
    ArchiverLibraries libraries(folder.Path());
    EXPECT_EQ(libraries.Lha().Path(), folder.Path() + "libunlha32.so");
    EXPECT_EQ(libraries.Zip().Path(), folder.Path() + "libunzip32.so");
    EXPECT_EQ(libraries.Cab().Path(), folder.Path() + "libcab32.so");
    const ArchiverSet set = libraries.Set();
    const LibraryVersions versions = QueryLibraryVersions(set);
    EXPECT_EQ(versions.unlha, 89);
    EXPECT_EQ(versions.unzip, 0);
    EXPECT_EQ(versions.cab, 0);
}

}  // namespace
}  // namespace mervok
