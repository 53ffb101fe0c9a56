#pragma once

#include <string>
#include <string_view>

#include "app/settings_store.h"

namespace mervok::quorvix {

// The viewer keeps its own state in Quorvix.ini beside it, in a section of its
// own, "Window"; section "Option" holds what the search window shares with it
// ("DocType", "PrevInstance", "DroppedArcFile"). Every write goes through
// SettingsStore, so the rest of the file stays byte for byte.
inline constexpr std::string_view kWindowSection = "Window";

struct WindowSettings {
    static constexpr int kNoPosition = -100000;  // the window system places it
    static constexpr int kMinListWidth = 60;
    static constexpr int kMinDocumentWidth = 200;

    int width = 900;  // pixels
    int height = 640;
    int left = kNoPosition;  // of the frame, on the virtual desktop
    int top = kNoPosition;
    int listWidth = 220;     // the list's side of the splitter
    std::string fontFamily;  // empty: the system's fixed-pitch font
    int fontSize = 0;        // points; 0: the family's default
    bool wrap = true;
    bool allEntries = false;  // list every file, not just the documents
};

WindowSettings ReadWindowSettings(const SettingsStore& ini);
// All keys of section "Window" in one replace of the file; false when it
// could not be written.
bool WriteWindowSettings(SettingsStore& ini, const WindowSettings& settings);

// What the options dialog edits.
struct ViewerOptions {
    std::string docTypes;       // "DocType", blank-separated extensions
    bool prevInstance = false;  // "PrevInstance" = 1: one viewer
};

ViewerOptions ReadViewerOptions(const SettingsStore& ini);
// Writes only the keys whose value changed; false when a write failed.
bool WriteViewerOptions(SettingsStore& ini, const ViewerOptions& options);

// "DroppedArcFile" = 1: the search window is starting this viewer on a hit
// from its list. The flag stands for this one start, so it is set back to 0.
// True when it was 1.
bool TakeDroppedArcFile(SettingsStore& ini);

}  // namespace mervok::quorvix
