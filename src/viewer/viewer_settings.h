#pragma once

#include <string>
#include <string_view>

#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "search/search_options.h"

namespace mervok {

// The viewer's settings file beside the program, and the few keys of its
// section "Option" that this program reads or writes. Nothing else of the
// file is touched.
inline constexpr std::string_view kViewerOptionSection = "Option";
inline constexpr std::string_view kPrevInstanceKey = "PrevInstance";
inline constexpr std::string_view kDocTypeKey = "DocType";
inline constexpr std::string_view kDroppedArcFileKey = "DroppedArcFile";

// Full path of the viewer's settings file in the settings folder.
std::string ViewerIniPath(std::string_view settingsFolder);

// True when the viewer's settings file can be opened for reading; without it
// the program does not start.
bool ViewerIniExists(const std::string& viewerIniPath);

// 1 when "PrevInstance" is 1, otherwise (any other value, or missing) 0.
int ReadViewerPrevInstance(const SettingsStore& viewerIni);

// The viewer's blank-separated document extensions, "DocType"; the viewer's
// own default list when the key is missing.
std::string ReadViewerDocTypes(const SettingsStore& viewerIni);

// Tells the viewer that it is being started on an archive ("DroppedArcFile" =
// "1"). False when the file could not be written; callers go on regardless.
bool WriteDroppedArcFile(SettingsStore& viewerIni);

}  // namespace mervok
