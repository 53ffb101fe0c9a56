#include "app/settings_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

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

// Copies from to a new file to, never over an existing one. The copy is
// made under a name of its own and linked into place whole, so that a reader
// never sees it half-written; what is left of a failed copy is removed, so a
// later start tries again.
void CopyNew(const std::string& from, const std::string& to) {
    const std::string temp = to + ".seed-" + std::to_string(getpid());
    std::error_code error;
    std::filesystem::remove(temp, error);
    if (std::filesystem::copy_file(from, temp, error)) {
        [[maybe_unused]] const int linked = link(temp.c_str(), to.c_str());  // EEXIST: kept
    }
    std::filesystem::remove(temp, error);
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
    const std::string source = PathInFolder(programFolder, kViewerIniName);
    const std::string seeded = PathInFolder(where.folder, kViewerIniName);
    if (stat(seeded.c_str(), &info) != 0 && stat(source.c_str(), &info) == 0) {
        CopyNew(source, seeded);
    }
    return where;
}

}  // namespace mervok
