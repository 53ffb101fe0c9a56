#include "app/mervok_settings.h"

#include <array>
#include <optional>
#include <variant>
#include <vector>

#include "app/color_codec.h"
#include "app/file_exists.h"
#include "app/settings_store.h"
#include "app/text_util.h"

namespace mervok {

namespace {

constexpr std::string_view kSection = "Mervok";
constexpr std::string_view kLegacySection = "QvCtrler";
constexpr std::string_view kLegacyClickKey = "CheckClick";
// What "CheckClick" reads as when it is missing.
constexpr int kNoLegacyClick = 9;
// The older section is read as the classic function would, into this many
// bytes.
constexpr std::size_t kLegacySectionBuffer = 200;

enum class Rule {
    State,   // 2 maximised, anything else normal
    Bound,   // as stored; saved only while the window is normal
    Text,    // cut at a NUL, blanks trimmed
    Box,     // a box ticked by default clears only on 0, one clear ticks only on 1
    View,    // 0..3, anything else 3
    Colour,  // six hex digits, red first; anything else the initial colour
    Phrase,  // cut at a NUL; an empty one removes the key
};

using Field =
    std::variant<WindowState MervokSettings::*, int MervokSettings::*, bool MervokSettings::*,
                 std::string MervokSettings::*, std::uint32_t MervokSettings::*>;

struct Key {
    std::string_view name;
    Rule rule;
    Field field;
};

// The keys in the order the file holds them.
const std::array<Key, 25> kKeys = {{
    {"Window", Rule::State, &MervokSettings::window},
    {"Left", Rule::Bound, &MervokSettings::left},
    {"Top", Rule::Bound, &MervokSettings::top},
    {"Width", Rule::Bound, &MervokSettings::width},
    {"Height", Rule::Bound, &MervokSettings::height},
    {"SearchDir", Rule::Text, &MervokSettings::searchDir},
    {"SubDir", Rule::Box, &MervokSettings::subDir},
    {"SearchLHA", Rule::Box, &MervokSettings::searchLha},
    {"SearchZIP", Rule::Box, &MervokSettings::searchZip},
    {"SearchCAB", Rule::Box, &MervokSettings::searchCab},
    {"SearchEXE", Rule::Box, &MervokSettings::searchExe},
    {"DispFileName", Rule::Box, &MervokSettings::hideFileNames},
    {"CheckArchive", Rule::Box, &MervokSettings::skipArchiveCheck},
    {"ClickMode", Rule::Box, &MervokSettings::clickMode},
    {"AutoColumn", Rule::Box, &MervokSettings::autoColumn},
    {"SfxIcon", Rule::Box, &MervokSettings::noSfxIcons},
    {"ListColor", Rule::Box, &MervokSettings::listColor},
    {"View", Rule::View, &MervokSettings::view},
    {"ColorLHA", Rule::Colour, &MervokSettings::colorLha},
    {"ColorZIP", Rule::Colour, &MervokSettings::colorZip},
    {"ColorCAB", Rule::Colour, &MervokSettings::colorCab},
    {"ColorLHASFX", Rule::Colour, &MervokSettings::colorLhaSfx},
    {"ColorZIPSFX", Rule::Colour, &MervokSettings::colorZipSfx},
    {"ColorCABSFX", Rule::Colour, &MervokSettings::colorCabSfx},
    {"FindText", Rule::Phrase, &MervokSettings::findText},
}};

void Read(const SettingsStore& ini, const Key& key, WindowState& value, WindowState missing) {
    const int stored = ini.GetInt(kSection, key.name, static_cast<int>(missing));
    value = stored == static_cast<int>(WindowState::Maximized) ? WindowState::Maximized
                                                               : WindowState::Normal;
}

void Read(const SettingsStore& ini, const Key& key, int& value, int missing) {
    const int stored = ini.GetInt(kSection, key.name, missing);
    switch (key.rule) {
        case Rule::View:
            value = stored < 0 || stored > 3 ? 3 : stored;
            break;
        default:
            value = stored;
            break;
    }
}

void Read(const SettingsStore& ini, const Key& key, bool& value, bool missing) {
    const int stored = ini.GetInt(kSection, key.name, missing ? 1 : 0);
    value = missing ? stored != 0 : stored == 1;
}

void Read(const SettingsStore& ini, const Key& key, std::string& value, const std::string&) {
    value = TrimAtNull(ini.GetString(kSection, key.name, ""));
}

void Read(const SettingsStore& ini, const Key& key, std::uint32_t& value, std::uint32_t missing) {
    const std::string initial = ColorToHex(static_cast<int>(missing));
    const int colour = HexToColor(TrimAtNull(ini.GetString(kSection, key.name, initial)));
    value = colour == -1 ? missing : static_cast<std::uint32_t>(colour);
}

std::string Text(WindowState value) {
    return std::to_string(static_cast<int>(value));
}
std::string Text(int value) {
    return std::to_string(value);
}
std::string Text(bool value) {
    return value ? "1" : "0";
}
std::string Text(const std::string& value) {
    return TrimBlanks(value);
}
std::string Text(std::uint32_t value) {
    return ColorToHex(static_cast<int>(value));
}

}  // namespace

std::optional<int> Migrate(SettingsStore& ini) {
    std::string legacy(kLegacySectionBuffer, ' ');
    ini.ReadSection(kLegacySection, legacy);
    if (!TrimAtNull(legacy).empty()) {
        // The entries with their NULs and the closing double NUL.
        ini.WriteSection(kSection, TrimBlanks(legacy));
        ini.WriteSection(kLegacySection, std::nullopt);
    }
    const int click = ini.GetInt(kSection, kLegacyClickKey, kNoLegacyClick);
    if (click == kNoLegacyClick) {
        return std::nullopt;
    }
    ini.WriteString(kSection, kLegacyClickKey, std::nullopt);
    ini.WriteString(kSection, "ClickMode", Text(click));
    return click;
}

MervokSettings LoadSettings(SettingsStore& ini, const MervokSettings& current, bool* firstRun) {
    std::string path = ini.Path();
    const bool fresh = !FileExists(path);
    if (firstRun != nullptr) {
        *firstRun = fresh;
    }
    MervokSettings initial;
    initial.left = current.left;
    initial.top = current.top;
    initial.width = current.width;
    initial.height = current.height;
    if (fresh) {
        SaveSettings(ini, initial);
        return initial;
    }
    const std::optional<int> legacyClick = Migrate(ini);
    MervokSettings settings;
    for (const Key& key : kKeys) {
        std::visit([&](auto field) { Read(ini, key, settings.*field, initial.*field); }, key.field);
    }
    if (legacyClick) {
        settings.clickMode = *legacyClick == 1;
    }
    return settings;
}

bool SaveSettings(SettingsStore& ini, const MervokSettings& settings) {
    std::array<std::string, kKeys.size()> texts;
    std::vector<SettingsValue> values;
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const Key& key = kKeys[i];
        if (key.rule == Rule::Bound && settings.window != WindowState::Normal) {
            continue;
        }
        if (key.rule == Rule::Phrase) {
            const std::string& phrase =
                settings.*std::get<std::string MervokSettings::*>(key.field);
            texts[i] = phrase.substr(0, phrase.find('\0'));
            values.push_back(
                {kSection, key.name,
                 texts[i].empty() ? std::nullopt : std::optional<std::string_view>(texts[i])});
            continue;
        }
        std::visit([&](auto field) { texts[i] = Text(settings.*field); }, key.field);
        values.push_back({kSection, key.name, texts[i]});
    }
    return ini.WriteStrings(values);
}

}  // namespace mervok
