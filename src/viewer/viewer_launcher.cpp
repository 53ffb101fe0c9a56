#include "viewer/viewer_launcher.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
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

struct ViewerLauncher::Child {
    explicit Child(pid_t id) : pid(id) {}

    const pid_t pid;
    mutable std::mutex mutex;
    std::condition_variable ended;
    bool reaped = false;   // guarded by mutex; once true the id is no longer ours
    bool watched = false;  // a watcher thread reaps it

    // Without a watcher (the thread could not be started) the child is reaped
    // whenever we look at it. Call with mutex held.
    void ReapIfEndedLocked() {
        if (!watched && !reaped) {
            int status = 0;
            pid_t result = waitpid(pid, &status, WNOHANG);
            if (result == pid || (result < 0 && errno == ECHILD)) {
                reaped = true;
            }
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

}  // namespace

// Waits for the child's end but leaves it unreaped, so that its id stays ours
// until we hold the lock; then reaps it.
void ViewerLauncher::Watch(const std::shared_ptr<Child>& child) {
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(child->pid), &info, WEXITED | WNOWAIT) < 0 &&
           errno == EINTR) {
    }
    std::lock_guard lock(child->mutex);
    int status = 0;
    while (waitpid(child->pid, &status, 0) < 0 && errno == EINTR) {
    }
    child->reaped = true;
    child->ended.notify_all();
}

ViewerLauncher::ViewerLauncher(std::string programFolder, int prevInstance,
                               ErrorFunction showLaunchError)
    : mProgramFolder(std::move(programFolder)),
      mPrevInstance(prevInstance),
      mShowLaunchError(std::move(showLaunchError)) {}

ViewerLauncher::~ViewerLauncher() {
    // Watched viewers are reaped by their threads, which keep their records
    // alive; the others are reaped here if they have ended.
    for (const auto& child : mChildren) {
        std::lock_guard lock(child->mutex);
        child->ReapIfEndedLocked();
    }
}

void ViewerLauncher::OpenArchive(const std::string& archivePath) {
    if (archivePath.empty()) {
        return;
    }
    if (mPrevInstance != 1) {
        SettingsStore viewerIni(ViewerIniPath(mProgramFolder));
        WriteDroppedArcFile(viewerIni);
        CloseLastViewer();
    }
    mLastViewerTaskId = LaunchViewer(ViewerArguments(mProgramFolder, archivePath));
}

void ViewerLauncher::OpenOptions() {
    LaunchViewer(ViewerArguments(mProgramFolder, std::nullopt));
}

pid_t ViewerLauncher::LaunchViewer(const std::vector<std::string>& arguments) {
    // Forget viewers that have ended so that the list stays short.
    std::erase_if(mChildren, [](const std::shared_ptr<Child>& child) {
        std::lock_guard lock(child->mutex);
        child->ReapIfEndedLocked();
        return child->reaped;
    });

    pid_t pid = Spawn(arguments);
    if (pid == 0) {
        if (mShowLaunchError) {
            mShowLaunchError(ViewerLaunchErrorText());
        }
        return 0;
    }
    auto child = std::make_shared<Child>(pid);
    try {
        std::thread([child] { Watch(child); }).detach();
        std::lock_guard lock(child->mutex);
        child->watched = true;
    } catch (const std::system_error&) {
        // No thread: the child is reaped whenever it is looked at.
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
    child->ReapIfEndedLocked();
    if (child->reaped) {
        return false;
    }
    return kill(child->pid, SIGTERM) == 0;
}

bool ViewerLauncher::IsRunning(pid_t pid) const {
    std::shared_ptr<Child> child = Find(pid);
    if (!child) {
        return false;
    }
    std::lock_guard lock(child->mutex);
    child->ReapIfEndedLocked();
    return !child->reaped;
}

bool ViewerLauncher::WaitForEnd(pid_t pid, std::chrono::milliseconds limit) const {
    std::shared_ptr<Child> child = Find(pid);
    if (!child) {
        return true;
    }
    std::unique_lock lock(child->mutex);
    if (!child->watched) {
        child->ReapIfEndedLocked();
        return child->reaped;
    }
    return child->ended.wait_for(lock, limit, [&] { return child->reaped; });
}

}  // namespace mervok
