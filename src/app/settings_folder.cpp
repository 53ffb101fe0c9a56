#include "app/settings_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "app/program_folder.h"

namespace mervok {

namespace {

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // The base directory spec: a relative value is to be ignored.
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* entry = getpwuid(getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    return home != nullptr && home[0] == '/' ? PathInFolder(home, ".config") : std::string();
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.is_open() || in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

SettingsFolder LocateSettingsFolder(std::string_view programFolder) {
    const std::string folder = WithTrailingSeparator(std::string(programFolder));
    // access() asks with the real user's rights, and a read-only mount says
    // EROFS even to root.
    if (access(folder.c_str(), W_OK | X_OK) == 0 &&
        access(PathInFolder(folder, kInstalledMarker).c_str(), F_OK) != 0) {
        return {folder, false};
    }
    const std::string configHome = ConfigHome();
    if (configHome.empty()) {
        return {folder, false};
    }
    return {WithTrailingSeparator(PathInFolder(configHome, "mervok")), true};
}

SettingsFolder PrepareSettingsFolder(std::string_view programFolder) {
    SettingsFolder where = LocateSettingsFolder(programFolder);
    if (!where.perUser) {
        return where;
    }
    // Folders we make are the user's alone (the base directory spec asks 0700
    // for a missing $XDG_CONFIG_HOME); existing ones keep their modes.
    const std::filesystem::path folder(where.folder);
    mkdir(folder.parent_path().parent_path().c_str(), 0700);
    mkdir(folder.parent_path().c_str(), 0700);
    struct stat info {};
    if (stat(where.folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return {WithTrailingSeparator(std::string(programFolder)), false};
    }
    // Seeded by the store's own rules: never through a link, never into a
    // folder someone else controls.
    if (const auto source = ReadFile(PathInFolder(programFolder, kViewerIniName))) {
        SettingsStore(PathInFolder(where.folder, kViewerIniName)).CreateIfMissing(*source);
    }
    return where;
}

std::string SettingsRefusalText(SettingsTrust trust, const std::string& file) {
    const auto slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? file : file.substr(0, slash + 1);
    std::string why;
    switch (trust) {
        case SettingsTrust::Usable:
            return {};
        case SettingsTrust::FolderNotOwned:
            why = "設定フォルダ " + folder + " は別のユーザーのものです。";
            break;
        case SettingsTrust::FolderOpenToOthers:
            why = "設定フォルダ " + folder + " には他のユーザーも書き込めます。";
            break;
        case SettingsTrust::FileNotOwned:
            why = "設定ファイル " + file + " はリンクか、別のユーザーのものです。";
            break;
    }
    return why + "設定は読み書きせず、既定の設定で動きます。";
}

}  // namespace mervok
