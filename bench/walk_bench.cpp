// Runs a search over a folder and prints the number of candidates (or hits);
// the benchmark scripts time it against find and bsdtar.
//
//   walk_bench FOLDER [lzh|zip|cab|exe|all] [--check THREADS LIBRARY_FOLDER]
//
// Without --check only the walk runs; with it the document check follows on
// THREADS threads, with the archiver libraries from LIBRARY_FOLDER.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "archivers/archiver_library.h"
#include "search/search_engine.h"
#include "search/search_options.h"

namespace {

class QuietObserver : public mervok::SearchObserver {};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [lzh|zip|cab|exe|all] [--check THREADS LIBS]\n",
                     argv[0]);
        return 2;
    }
    const std::string formats = argc > 2 ? argv[2] : "all";
    const bool check = argc > 5 && std::string(argv[3]) == "--check";
    mervok::SearchOptions options;
    options.searchFolder = mervok::SearchFolderFromText(argv[1]);
    options.includeSubfolders = true;
    options.hideFileNames = true;
    options.skipArchiveCheck = !check;
    options.searchLha = formats == "lzh" || formats == "all";
    options.searchZip = formats == "zip" || formats == "all";
    options.searchCab = formats == "cab" || formats == "all";
    options.searchExe = formats == "exe" || formats == "all";
    // For the walk alone the libraries are never loaded; their versions only
    // make the formats usable.
    mervok::ArchiverLibraries libraries(check ? argv[5] : "/nonexistent/");
    mervok::StartupValues startup;
    startup.libraries = check ? mervok::QueryLibraryVersions(libraries.Set())
                              : mervok::LibraryVersions{100, 100, 100};
    startup.viewerVersion = 100;
    mervok::CancelToken cancel;
    QuietObserver observer;
    mervok::SearchEngine engine(options, startup, libraries.Set(), {}, cancel, observer);
    if (check) {
        engine.SetCheckThreads(std::atoi(argv[4]));
    }
    std::printf("%zu\n", engine.Run().archives.size());
    return 0;
}
