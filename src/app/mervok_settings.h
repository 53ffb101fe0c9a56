#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mervok {

class SettingsStore;

inline constexpr std::string_view kSettingsFileName = "Mervok.ini";

// The window's state as key "Window" stores it.
enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };

// Every user choice of the main window, as section "Mervok" of Mervok.ini
// keeps it; the initial values are what a missing key reads as (the bounds
// excepted, which are then the window's current ones). The window copies the
// struct to its controls after loading and from them before saving.
struct MervokSettings {
    WindowState window = WindowState::Normal;  // loads as normal or maximised
    // The window's normal-state outer bounds, in twips.
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::string searchDir;  // blanks trimmed, a NUL ends it
    // The check boxes, each as its box shows it (keys "DispFileName",
    // "CheckArchive" and "SfxIcon" hold these three the same way, whatever
    // their names say).
    bool subDir = false;
    bool searchLha = true;
    bool searchZip = true;
    bool searchCab = true;
    bool searchExe = true;
    bool hideFileNames = false;
    bool skipArchiveCheck = false;
    bool clickMode = false;
    bool autoColumn = false;
    bool noSfxIcons = true;
    bool listColor = true;
    int view = 3;  // cmbView: 0 large icons, 1 small icons, 2 list, 3 details
    // Row colours, red + green * 256 + blue * 65536.
    std::uint32_t colorLha = 0xFF0000;     // "0000FF"
    std::uint32_t colorZip = 0x006600;     // "006600"
    std::uint32_t colorCab = 0x9900FF;     // "FF0099"
    std::uint32_t colorLhaSfx = 0xFF9900;  // "0099FF"
    std::uint32_t colorZipSfx = 0x00CC00;  // "00CC00"
    std::uint32_t colorCabSfx = 0xCC66FF;  // "FF66CC"
    // The text the documents must contain (UTF-8); kept in the file only
    // while it is not empty, so a file of a user who never searched for text
    // stays as it was.
    std::string findText;

    friend bool operator==(const MervokSettings&, const MervokSettings&) = default;
};

// Takes over the two older forms of the settings: a whole section
// "QvCtrler" (whose first entry is not blank) replaces section "Mervok", and
// a key "CheckClick" other than 9 becomes "ClickMode". Returns the value
// "CheckClick" held, which counts even when the file cannot be written.
std::optional<int> Migrate(SettingsStore& ini);

// Reads the settings. Without a file (the first run) every key is written
// with its initial value, the bounds as given by current, and the initial
// values come back; otherwise the older forms are taken over and each key is
// read by its load rule, a missing one taking its initial value. firstRun,
// when given, tells which of the two happened.
MervokSettings LoadSettings(SettingsStore& ini, const MervokSettings& current,
                            bool* firstRun = nullptr);

// Writes every key, new ones in the file's order, in one replace of the file;
// the bounds only while the window is normal. Lines of other keys stay as
// they are. False when the file could not be written.
bool SaveSettings(SettingsStore& ini, const MervokSettings& settings);

}  // namespace mervok
