#include "quorvix/quorvix_settings.h"

#include <algorithm>
#include <utility>

#include "app/text_util.h"
#include "viewer/viewer_settings.h"

namespace mervok::quorvix {

namespace {

// The numeric keys of section "Window", with the range a value must lie in
// to be taken (a damaged file must not open a window 10^9 pixels wide).
struct IntKey {
    std::string_view name;
    int WindowSettings::*member;
    int low, high;
};
constexpr IntKey kIntKeys[] = {
    {"Width", &WindowSettings::width, 200, 16384},
    {"Height", &WindowSettings::height, 150, 16384},
    {"Left", &WindowSettings::left, -16384, 16384},
    {"Top", &WindowSettings::top, -16384, 16384},
    {"ListWidth", &WindowSettings::listWidth, 0, 16384},
    {"FontSize", &WindowSettings::fontSize, 0, 200},
};
struct BoolKey {
    std::string_view name;
    bool WindowSettings::*member;
};
constexpr BoolKey kBoolKeys[] = {
    {"Wrap", &WindowSettings::wrap},
    {"AllEntries", &WindowSettings::allEntries},
};
constexpr std::string_view kFontFamilyKey = "FontFamily";

}  // namespace

WindowSettings ReadWindowSettings(const SettingsStore& ini) {
    WindowSettings settings;
    for (const IntKey& key : kIntKeys) {
        const int value = ini.GetInt(kWindowSection, key.name, settings.*key.member);
        if (value >= key.low && value <= key.high) {
            settings.*key.member = value;
        }
    }
    for (const BoolKey& key : kBoolKeys) {
        settings.*key.member = ini.GetInt(kWindowSection, key.name, settings.*key.member) != 0;
    }
    settings.fontFamily = TrimAtNull(ini.GetString(kWindowSection, kFontFamilyKey, ""));
    return settings;
}

void WriteWindowSettings(SettingsStore& ini, const WindowSettings& settings) {
    for (const IntKey& key : kIntKeys) {
        ini.WriteString(kWindowSection, key.name, std::to_string(settings.*key.member));
    }
    for (const BoolKey& key : kBoolKeys) {
        ini.WriteString(kWindowSection, key.name, settings.*key.member ? "1" : "0");
    }
    ini.WriteString(kWindowSection, kFontFamilyKey, settings.fontFamily);
}

ViewerOptions ReadViewerOptions(const SettingsStore& ini) {
    return {ReadViewerDocTypes(ini), ReadViewerPrevInstance(ini) == 1};
}

bool WriteViewerOptions(SettingsStore& ini, const ViewerOptions& options) {
    const ViewerOptions old = ReadViewerOptions(ini);
    bool written = true;
    if (options.docTypes != old.docTypes) {
        written &= ini.WriteString(kViewerOptionSection, kDocTypeKey, TrimBlanks(options.docTypes));
    }
    if (options.prevInstance != old.prevInstance) {
        written &= ini.WriteString(kViewerOptionSection, kPrevInstanceKey,
                                   options.prevInstance ? "1" : "0");
    }
    return written;
}

bool TakeDroppedArcFile(SettingsStore& ini) {
    if (ini.GetInt(kViewerOptionSection, kDroppedArcFileKey, 0) != 1) {
        return false;
    }
    ini.WriteString(kViewerOptionSection, kDroppedArcFileKey, "0");
    return true;
}

}  // namespace mervok::quorvix
