#pragma once

#include <string>
#include <string_view>

#include "app/settings_store.h"

namespace mervok {

// Where Mervok.ini and Quorvix.ini live. A program folder the user may write
// to (a copy unpacked anywhere, the build's dist/) keeps its settings beside
// the program, as it always has. An installed program's folder is not
// writable, or says it is installed, so its settings go to $XDG_CONFIG_HOME/mervok/ (by default
// ~/.config/mervok/). The window, mervok-search and the viewer all ask here.
// Installed beside the programs by the package: the folder is an installed
// one even where the user may write to it (root does), so that no settings
// are ever written among the installed files.
inline constexpr std::string_view kInstalledMarker = "per-user-settings";

// The viewer's settings file, seeded into the per-user folder.
inline constexpr std::string_view kViewerIniName = "Quorvix.ini";

struct SettingsFolder {
    std::string folder;    // ends with a separator
    bool perUser = false;  // false: the program folder itself
};

// Decides the folder; nothing is created.
SettingsFolder LocateSettingsFolder(std::string_view programFolder);

// Decides the folder and, for the per-user folder, makes it ready: created
// (mode 0700) when missing, and Quorvix.ini copied in from the program
// folder when it is not there yet. When the program folder has no
// Quorvix.ini, none is made up, so that a missing one still shows a broken
// installation. Falls back to the program folder when the per-user folder
// cannot be made. A folder whose settings are refused (SettingsTrust) is
// still the answer, and nothing is written into it.
SettingsFolder PrepareSettingsFolder(std::string_view programFolder);

// Why the settings in file are neither read nor written, as the windows
// say it once; "" when trust is Usable.
std::string SettingsRefusalText(SettingsTrust trust, const std::string& file);

}  // namespace mervok
