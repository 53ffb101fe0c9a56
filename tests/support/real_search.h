#pragma once

// A whole search through the program's own archiver libraries, bound by name
// from the built program folder, over files a test puts in a temporary folder.

#include <gtest/gtest.h>

#include "archivers/archiver_library.h"
#include "search/search_engine.h"
#include "support/fakes.h"
#include "support/files.h"

namespace mervok::testing {

class RealSearchTest : public ::testing::Test {
  protected:
    // Runs options over the temporary folder, every format chosen.
    SearchResult RunSearch(SearchOptions options, int threads) {
        options.searchFolder = top.Folder();
        options.searchLha = options.searchZip = options.searchCab = options.searchExe = true;
        StartupValues startup;
        startup.libraries = QueryLibraryVersions(libraries.Set());
        startup.viewerVersion = 100;
        SearchEngine engine(options, startup, libraries.Set(), {}, cancel, observer);
        engine.SetCheckThreads(threads);
        return engine.Run();
    }

    ArchiverLibraries libraries{MERVOK_DIST_DIR};
    CancelToken cancel;
    RecordingObserver observer;
    TempFolder top;
};

}  // namespace mervok::testing
