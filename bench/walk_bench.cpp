// Runs the search's walk (no document check) over a folder and prints the
// number of candidates; the benchmark scripts time it against find.
//
//   walk_bench FOLDER [lzh|zip|cab|exe|all]

#include <atomic>
#include <cstdio>
#include <string>

#include "archivers/archiver_library.h"
#include "search/search_engine.h"
#include "search/search_options.h"

namespace {

class QuietObserver : public mervok::SearchObserver {
  public:
    void OnCandidate(std::string_view, std::size_t) override {}
    void OnCheckStarted(std::size_t) override {}
    void OnCandidateChecked(std::size_t) override {}
    void OnHit(std::size_t) override {}
    void OnFinished(const mervok::SearchResult&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [lzh|zip|cab|exe|all]\n", argv[0]);
        return 2;
    }
    const std::string formats = argc > 2 ? argv[2] : "all";
    mervok::SearchOptions options;
    options.searchFolder = mervok::SearchFolderFromText(argv[1]);
    options.includeSubfolders = true;
    options.hideFileNames = true;
    options.skipArchiveCheck = true;
    options.searchLha = formats == "lzh" || formats == "all";
    options.searchZip = formats == "zip" || formats == "all";
    options.searchCab = formats == "cab" || formats == "all";
    options.searchExe = formats == "exe" || formats == "all";
    // The walk never calls a library; these are never loaded, their versions
    // only make the formats usable.
    mervok::ArchiverLibraries libraries("/nonexistent/");
    mervok::StartupValues startup;
    startup.libraries = {100, 100, 100};
    std::atomic<bool> abort{false};
    QuietObserver observer;
    mervok::SearchEngine engine(options, startup, libraries.Set(), {}, abort, observer);
    engine.WalkFolder(options.searchFolder, mervok::FilePattern(options, startup.libraries),
                      options.includeSubfolders);
    std::printf("%zu\n", engine.Candidates().size());
    return 0;
}
