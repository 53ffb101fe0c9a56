#include "app/settings_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "app/program_folder.h"

namespace mervok {

namespace {

constexpr std::string_view kViewerIni = "Quorvix.ini";

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

// Copies from to a new file to, never over an existing one; a half-written
// copy is removed, so a later start tries again.
bool CopyNew(const std::string& from, const std::string& to) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return false;
    }
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        close(in);
        return errno == EEXIST;
    }
    bool ok = true;
    char buffer[16384];
    for (;;) {
        const ssize_t got = read(in, buffer, sizeof buffer);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(out, buffer + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                ok = false;
                break;
            }
            done += put;
        }
        if (!ok) {
            break;
        }
    }
    ok = fsync(out) == 0 && ok;
    ok = close(out) == 0 && ok;
    close(in);
    if (!ok) {
        unlink(to.c_str());
    }
    return ok;
}

}  // namespace

SettingsFolder LocateSettingsFolder(std::string_view programFolder) {
    const std::string folder = WithTrailingSeparator(std::string(programFolder));
    // access() asks with the real user's rights, and a read-only mount says
    // EROFS even to root.
    if (access(folder.c_str(), W_OK | X_OK) == 0) {
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
    const std::string source = PathInFolder(programFolder, kViewerIni);
    const std::string seeded = PathInFolder(where.folder, kViewerIni);
    if (stat(seeded.c_str(), &info) != 0 && stat(source.c_str(), &info) == 0) {
        CopyNew(source, seeded);
    }
    return where;
}

}  // namespace mervok
