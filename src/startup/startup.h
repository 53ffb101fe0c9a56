#pragma once

#include <string>
#include <string_view>

#include "app/settings_store.h"
#include "archivers/archiver_api.h"
#include "search/search_engine.h"
#include "search/search_options.h"

namespace mervok {

// What the window and mervok-search learn once at start, from the program
// folder and the libraries beside it, and hand to every search.
struct Startup {
    // Where Mervok.ini and the viewer's Quorvix.ini live (app/settings_folder).
    std::string settingsFolder;
    // Whether the viewer's settings there may be used: refused ones (another
    // user's folder, a planted link) read as missing and are never written.
    SettingsTrust viewerIniTrust = SettingsTrust::Usable;
    // The libraries' versions, the viewer's version, its settings file and
    // its "PrevInstance" setting.
    StartupValues values;
    // The formats those libraries can search.
    UsableFormats usable;
    // The viewer's "DocType" setting, read anew at every check.
    DocTypeSource docTypes;
};

// Asks each library present for its version (loading it) and reads what the
// program needs of the viewer beside it and of the viewer's settings in the
// settings folder (made ready here); a missing viewer or settings file gives
// version 0 and the defaults.
Startup AssembleStartup(std::string_view programFolder, const ArchiverSet& libraries);

// The document types of a check, from the viewer's settings file.
DocTypeSource ViewerDocTypes(const std::string& viewerIniFile);

}  // namespace mervok
