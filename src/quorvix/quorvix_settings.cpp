#include "quorvix/quorvix_settings.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

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
    // The list is never hidden (a list dragged to nothing would stay so) and
    // leaves the document room, whatever the file says.
    settings.listWidth = std::clamp(settings.listWidth, WindowSettings::kMinListWidth,
                                    std::max(WindowSettings::kMinListWidth,
                                             settings.width - WindowSettings::kMinDocumentWidth));
    return settings;
}

bool WriteWindowSettings(SettingsStore& ini, const WindowSettings& settings) {
    std::vector<std::string> numbers;
    numbers.reserve(std::size(kIntKeys));  // the values below point into it
    std::vector<SettingsValue> values;
    for (const IntKey& key : kIntKeys) {
        numbers.push_back(std::to_string(settings.*key.member));
        values.push_back({kWindowSection, key.name, numbers.back()});
    }
    for (const BoolKey& key : kBoolKeys) {
        values.push_back({kWindowSection, key.name, settings.*key.member ? "1" : "0"});
    }
    values.push_back({kWindowSection, kFontFamilyKey, settings.fontFamily});
    return ini.WriteStrings(values);
}

ViewerOptions ReadViewerOptions(const SettingsStore& ini) {
    return {ReadViewerDocTypes(ini), ReadViewerPrevInstance(ini) == 1};
}

bool WriteViewerOptions(SettingsStore& ini, const ViewerOptions& options) {
    const ViewerOptions old = ReadViewerOptions(ini);
    const std::string docTypes = TrimBlanks(options.docTypes);
    std::vector<SettingsValue> values;
    if (options.docTypes != old.docTypes) {
        values.push_back({kViewerOptionSection, kDocTypeKey, docTypes});
    }
    if (options.prevInstance != old.prevInstance) {
        values.push_back(
            {kViewerOptionSection, kPrevInstanceKey, options.prevInstance ? "1" : "0"});
    }
    return values.empty() || ini.WriteStrings(values);
}

bool TakeDroppedArcFile(SettingsStore& ini) {
    if (ini.GetInt(kViewerOptionSection, kDroppedArcFileKey, 0) != 1) {
        return false;
    }
    ini.WriteString(kViewerOptionSection, kDroppedArcFileKey, "0");
    return true;
}

}  // namespace mervok::quorvix
