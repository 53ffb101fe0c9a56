#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/viewer_command_line.h"

namespace mervok {

// The viewer's executable; it stands in the program folder.
inline constexpr std::string_view kViewerFileName = "Quorvix.exe";

// The text shown when the viewer cannot be started (CR LF line breaks).
std::string ViewerLaunchErrorText();

// The viewer's argument vector: its path in the program folder, followed by
// the archive's exact path when one is given. Each argument goes to the viewer
// as it stands; no shell ever sees it, so nothing needs quoting.
std::vector<std::string> ViewerArguments(std::string_view programFolder,
                                         std::optional<std::string_view> archivePath);

// Starts the viewer on the archive the user picked, closing the one it started
// before, and starts it alone for its options.
//
// A viewer is started with posix_spawn (argument vector, own session, default
// signal handling) and addressed by its process id, which is also the id of
// its process group; "close" is SIGTERM to that whole group, so that programs
// the viewer started go too, even when the viewer itself has already ended
// and left them to show the archive. Every started viewer gets a small
// watcher thread that waits for its end without reaping it (waitid with
// WNOWAIT) and then reaps it under the viewer's lock; a viewer that may still
// be closed is reaped only once its group has no other live member. So no
// viewer lingers as a zombie longer than its group, and a close request,
// sent under the same lock only while the viewer is not yet reaped, can never
// reach another process or group that has been given the same id since.
// Viewers still running when the program ends are left running.
class ViewerLauncher {
  public:
    // Shows the launch failure text (stop icon, the product name as title).
    using ErrorFunction = std::function<void(const std::string& text)>;

    // programFolder holds the viewer; viewerIniFile is its settings file in
    // the settings folder. prevInstance: the viewer's "PrevInstance" setting read at start-up; 1
    // leaves earlier viewers alone and never writes "DroppedArcFile".
    ViewerLauncher(std::string programFolder, std::string viewerIniFile, int prevInstance,
                   ErrorFunction showLaunchError);
    ~ViewerLauncher();
    ViewerLauncher(const ViewerLauncher&) = delete;
    ViewerLauncher& operator=(const ViewerLauncher&) = delete;

    // Opens the archive at archivePath (exact bytes) in a new viewer. With
    // "PrevInstance" not 1 it first writes "DroppedArcFile"="1" into the
    // viewer's settings file (every other byte stays) and asks the viewer
    // started last by this function to close; failures of those steps are
    // ignored. An empty path (no row selected) does nothing.
    void OpenArchive(const std::string& archivePath);
    // The same, at target's entry and text (a text search's match): the
    // archive alone still goes as the one argument.
    void OpenArchive(const ViewerTarget& target);

    // Starts the viewer with no archive; it does not change which viewer the
    // next OpenArchive closes.
    void OpenOptions();

    // Starts the program arguments[0] with the given arguments. Returns its
    // process id, or 0 when it could not be started, in which case the launch
    // error is shown.
    pid_t LaunchViewer(const std::vector<std::string>& arguments);

    // The viewer OpenArchive started last; 0 when none, or when that start
    // failed.
    pid_t LastViewerTaskId() const { return mLastViewerTaskId; }

    // Asks the viewer OpenArchive started last, and every process of its
    // group, to close. False when there is none or the group has already
    // ended; nothing is signalled then.
    bool CloseLastViewer();

    // True while a viewer this object started is still running.
    bool IsRunning(pid_t pid) const;

    // Waits until the viewer has ended, at most for limit. True when it has
    // ended (or was never started by this object).
    bool WaitForEnd(pid_t pid, std::chrono::milliseconds limit) const;

  private:
    struct Child;

    // keepGroup: the viewer's group may be closed later (see the class).
    pid_t Launch(const std::vector<std::string>& arguments, bool keepGroup);

    static void Watch(const std::shared_ptr<Child>& child);
    std::shared_ptr<Child> Find(pid_t pid) const;

    std::string mProgramFolder;
    std::string mViewerIniFile;
    int mPrevInstance;
    ErrorFunction mShowLaunchError;
    pid_t mLastViewerTaskId = 0;
    std::vector<std::shared_ptr<Child>> mChildren;
};

}  // namespace mervok
