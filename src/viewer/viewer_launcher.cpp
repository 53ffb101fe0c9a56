#include "viewer/viewer_launcher.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "app/program_folder.h"
#include "app/settings_store.h"
#include "viewer/viewer_settings.h"

extern char** environ;

namespace mervok {

std::string ViewerLaunchErrorText() {
    std::string text = "Quorvix 起動エラー !!";
    text += "\r\n\r\n";
    text += "このプログラムは ";
    text += kViewerFileName;
    text += " と同じ場所に置いてください。";
    return text;
}

std::vector<std::string> ViewerArguments(std::string_view programFolder,
                                         std::optional<std::string_view> archivePath) {
    std::vector<std::string> arguments{PathInFolder(programFolder, kViewerFileName)};
    if (archivePath) {
        arguments.emplace_back(*archivePath);
    }
    return arguments;
}

namespace {

// True while a live process other than leader belongs to leader's process
// group (zombies do not count: they have ended).
bool GroupHasOtherMembers(pid_t leader) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long id = std::strtol(entry->d_name, &end, 10);
        if (id <= 0 || *end != '\0' || id == leader) {
            continue;
        }
        // "pid (name) state ppid pgrp ...": the name may hold anything, so
        // the fields are read after its last ')'.
        char stat[512];
        const int fd =
            open(("/proc/" + std::string(entry->d_name) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            continue;  // ended meanwhile
        }
        const ssize_t got = read(fd, stat, sizeof stat - 1);
        close(fd);
        if (got <= 0) {
            continue;
        }
        stat[got] = '\0';
        const char* nameEnd = std::strrchr(stat, ')');
        char state = 0;
        long parent = 0;
        long group = 0;
        if (nameEnd != nullptr &&
            std::sscanf(nameEnd + 1, " %c %ld %ld", &state, &parent, &group) == 3 &&
            group == leader && state != 'Z' && state != 'X') {
            found = true;
            break;
        }
    }
    closedir(proc);
    return found;
}

}  // namespace

struct ViewerLauncher::Child {
    Child(pid_t id, bool keepGroup) : pid(id), keepsGroup(keepGroup) {}

    const pid_t pid;  // also the id of its process group: the viewer leads its own session
    mutable std::mutex mutex;
    std::condition_variable ended;
    // Guarded by mutex.
    bool keepsGroup;           // its group may still be asked to close
    bool leaderEnded = false;  // the viewer itself has ended
    bool reaped = false;       // once true the id is no longer ours
    bool watched = false;      // a watcher thread waits for its end

    // The leader has ended and is not yet reaped. While it stays unreaped its
    // id, and so its group's id, cannot be given to another process; it is
    // kept so while a group that may still be closed has members left (a
    // viewer that hands the archive to a program of its own and ends).
    void LeaderEndedLocked() {
        leaderEnded = true;
        if (!keepsGroup || !GroupHasOtherMembers(pid)) {
            ReapLocked();
        }
    }
    void ReapLocked() {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        reaped = true;
        ended.notify_all();
    }
    // Looks whether the viewer has ended (when no watcher does), and reaps a
    // kept leader whose group has ended too.
    void PollLocked() {
        if (reaped) {
            return;
        }
        if (leaderEnded) {
            LeaderEndedLocked();
            return;
        }
        if (watched) {
            return;
        }
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
            reaped = errno == ECHILD;  // somebody else has reaped it
        } else if (info.si_pid == pid) {
            LeaderEndedLocked();
        }
    }
};

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// posix_spawn of the argument vector; 0 on failure. The executable is checked
// first because a C library may report a failed exec only through the
// child's exit status.
pid_t Spawn(const std::vector<std::string>& arguments) {
    if (arguments.empty() || !IsExecutableFile(arguments.front())) {
        return 0;
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        return 0;
    }
    // The viewer is a program of its own: its own session (a terminal's
    // Ctrl+C or hang-up does not reach it), no blocked signals, and default
    // handling of the signals a parent may have changed.
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD, SIGQUIT}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

    pid_t pid = 0;
    int error = posix_spawn(&pid, argv.front(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? pid : 0;
}

// How long opening the next archive waits for the last viewer to close.
constexpr std::chrono::milliseconds kCloseWait{2000};

}  // namespace

// Waits for the viewer's end but leaves it unreaped, so that its id stays
// ours until we hold the lock.
void ViewerLauncher::Watch(const std::shared_ptr<Child>& child) {
    siginfo_t info{};
    int result = 0;
    while ((result = waitid(P_PID, static_cast<id_t>(child->pid), &info, WEXITED | WNOWAIT)) < 0 &&
           errno == EINTR) {
    }
    std::lock_guard lock(child->mutex);
    if (result == 0) {
        child->LeaderEndedLocked();
    } else {
        child->reaped = true;  // somebody else has reaped it
    }
    child->ended.notify_all();
}

ViewerLauncher::ViewerLauncher(std::string programFolder, std::string viewerIniFile,
                               int prevInstance, ErrorFunction showLaunchError)
    : mProgramFolder(std::move(programFolder)),
      mViewerIniFile(std::move(viewerIniFile)),
      mPrevInstance(prevInstance),
      mShowLaunchError(std::move(showLaunchError)) {}

ViewerLauncher::~ViewerLauncher() {
    // Watched viewers are reaped by their threads, which keep their records
    // alive; the others, and leaders kept for their groups, are reaped here
    // if they have ended. Viewers still running stay running.
    for (const auto& child : mChildren) {
        std::lock_guard lock(child->mutex);
        child->keepsGroup = false;
        child->PollLocked();
    }
}

void ViewerLauncher::OpenArchive(const std::string& archivePath) {
    ViewerTarget target;
    target.archive = archivePath;
    OpenArchive(target);
}

void ViewerLauncher::OpenArchive(const ViewerTarget& target) {
    if (target.archive.empty()) {
        return;
    }
    const bool closesEarlier = mPrevInstance != 1;
    if (closesEarlier) {
        SettingsStore viewerIni(mViewerIniFile);
        WriteDroppedArcFile(viewerIni);
        // The closing viewer saves its settings into the file the next one
        // reads and resets as it starts: it is given a moment to end first.
        const pid_t last = mLastViewerTaskId;
        if (CloseLastViewer()) {
            WaitForEnd(last, kCloseWait);
        }
    }
    std::vector<std::string> arguments = ViewerArguments(mProgramFolder, std::nullopt);
    for (std::string& argument : ViewerTargetArguments(target)) {
        arguments.push_back(std::move(argument));
    }
    mLastViewerTaskId = Launch(arguments, closesEarlier);
}

void ViewerLauncher::OpenOptions() {
    LaunchViewer(ViewerArguments(mProgramFolder, std::nullopt));
}

pid_t ViewerLauncher::LaunchViewer(const std::vector<std::string>& arguments) {
    return Launch(arguments, false);
}

pid_t ViewerLauncher::Launch(const std::vector<std::string>& arguments, bool keepGroup) {
    // Forget viewers that have ended so that the list stays short.
    std::erase_if(mChildren, [](const std::shared_ptr<Child>& child) {
        std::lock_guard lock(child->mutex);
        child->PollLocked();
        return child->reaped;
    });

    pid_t pid = Spawn(arguments);
    if (pid == 0) {
        if (mShowLaunchError) {
            mShowLaunchError(ViewerLaunchErrorText());
        }
        return 0;
    }
    auto child = std::make_shared<Child>(pid, keepGroup);
    try {
        std::thread([child] { Watch(child); }).detach();
        std::lock_guard lock(child->mutex);
        child->watched = true;
    } catch (const std::system_error&) {
        // No thread: the child is looked at whenever it is asked about.
    }
    mChildren.push_back(std::move(child));
    return pid;
}

std::shared_ptr<ViewerLauncher::Child> ViewerLauncher::Find(pid_t pid) const {
    if (pid <= 0) {
        return nullptr;
    }
    auto found = std::find_if(mChildren.begin(), mChildren.end(),
                              [pid](const auto& child) { return child->pid == pid; });
    return found == mChildren.end() ? nullptr : *found;
}

bool ViewerLauncher::CloseLastViewer() {
    std::shared_ptr<Child> child = Find(mLastViewerTaskId);
    if (!child) {
        return false;
    }
    std::lock_guard lock(child->mutex);
    child->PollLocked();
    if (child->reaped) {
        return false;
    }
    // The whole group: a viewer may have started programs of its own, and
    // may even have ended and left them to show the archive. The unreaped
    // leader keeps the group's id ours until the signal is sent.
    child->keepsGroup = false;
    const bool sent = kill(-child->pid, SIGTERM) == 0;
    if (child->leaderEnded) {
        child->ReapLocked();
    }
    return sent;
}

bool ViewerLauncher::IsRunning(pid_t pid) const {
    std::shared_ptr<Child> child = Find(pid);
    if (!child) {
        return false;
    }
    std::lock_guard lock(child->mutex);
    child->PollLocked();
    return !child->reaped && !child->leaderEnded;
}

bool ViewerLauncher::WaitForEnd(pid_t pid, std::chrono::milliseconds limit) const {
    std::shared_ptr<Child> child = Find(pid);
    if (!child) {
        return true;
    }
    std::unique_lock lock(child->mutex);
    const auto over = [&] {
        child->PollLocked();
        return child->reaped || child->leaderEnded;
    };
    if (!child->watched) {
        return over();
    }
    return child->ended.wait_for(lock, limit, over);
}

}  // namespace mervok
