#pragma once

// The application object, widgets by name, program folders with a copy of the
// built viewer, and its processes.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/files.h"
#include "support/qt_app.h"

namespace mervok::quorvix::test {

namespace fs = std::filesystem;
using mervok::testing::Fixture;
using mervok::testing::ManifestRows;
using mervok::testing::ReadBytes;
using mervok::testing::TempFolder;
using mervok::testing::WaitUntil;
using mervok::testing::WriteBytes;

using mervok::test::App;
using mervok::test::Find;
using mervok::test::RunEvents;

// A viewer process; killed and reaped at the end of the test if it is still
// running then, so that a failing test leaves nothing behind.
class ViewerProcess {
  public:
    explicit ViewerProcess(pid_t pid) : mPid(pid) {}
    ViewerProcess(const ViewerProcess&) = delete;
    ViewerProcess& operator=(const ViewerProcess&) = delete;
    ~ViewerProcess() {
        if (mPid > 0 && mStatus == -1) {
            ::kill(mPid, SIGKILL);
            ::waitpid(mPid, nullptr, 0);
        }
    }
    pid_t Pid() const { return mPid; }

    bool Ended() {
        int status = 0;
        if (mStatus == -1 && ::waitpid(mPid, &status, WNOHANG) == mPid) {
            mStatus = status;
        }
        return mStatus != -1;
    }

    // The wait status once it has ended, the event loop running meanwhile;
    // -1 when it has not ended within the spin's limit.
    int WaitForEnd() {
        WaitUntil([this] { return Ended(); }, RunEvents);
        return mStatus;
    }

  private:
    pid_t mPid;
    int mStatus = -1;
};

// A program folder holding a copy of the built viewer and its settings file,
// with the temporary and the runtime folder of the viewers started there.
class ViewerFolder {
  public:
    explicit ViewerFolder(const std::string& ini) {
        fs::copy_file(fs::path(MERVOK_DIST_DIR) / "Quorvix.exe", Viewer());
        WriteBytes(Ini(), ini);
        fs::create_directory(Tmp());
        fs::create_directory(Runtime());
        fs::permissions(Runtime(), fs::perms::owner_all);
    }
    // As the viewer names it: the real path, with a separator at the end.
    std::string Folder() const { return fs::canonical(mFolder.Path()).string() + "/"; }
    std::string Viewer() const { return mFolder.File("Quorvix.exe"); }
    std::string Ini() const { return mFolder.File("Quorvix.ini"); }
    std::string Tmp() const { return mFolder.File("tmp"); }
    std::string Runtime() const { return mFolder.File("run"); }

    // True while a viewer's private folder exists: it is made once the viewer
    // is past the hand-over and about to show its window.
    bool HasPrivateFolder() const {
        for (const auto& entry : fs::directory_iterator(Tmp())) {
            if (entry.path().filename().string().starts_with("quorvix-")) {
                return true;
            }
        }
        return false;
    }

    std::unique_ptr<ViewerProcess> Start(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), Viewer());
        return std::make_unique<ViewerProcess>(mervok::testing::Spawn(
            arguments,
            {"TMPDIR=" + Tmp(), "XDG_RUNTIME_DIR=" + Runtime(), "QT_QPA_PLATFORM=offscreen"}));
    }

  private:
    TempFolder mFolder;
};

}  // namespace mervok::quorvix::test
