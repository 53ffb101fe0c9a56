#pragma once

// The application, fixture archives, program folders, the main window and
// the fakes the widget tests need.

#include <QApplication>
#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "archivers/archiver_api.h"
#include "archivers/archiver_library.h"
#include "ui/frm_mervok.h"
#include "ui/message_box.h"

namespace mervok::test {

// The one application object of the test program.
QApplication& App();

// The widget of that name under root; fails the test when missing.
template <typename Widget>
Widget* Find(const QWidget& root, const char* name) {
    auto* widget = root.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << "no widget " << name;
    return widget;
}

// Runs action once the next modal dialog is up, from inside its event loop.
void WhenModalShown(std::function<void(QWidget& dialog)> action);

namespace fs = std::filesystem;

// A temporary folder, removed with everything in it.
class TempDir : public QTemporaryDir {
  public:
    TempDir() { EXPECT_TRUE(isValid()) << "no temporary folder"; }
    fs::path Path() const { return fs::path(path().toStdString()); }
    std::string Folder() const { return Path().string() + "/"; }
};

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Copies a fixture archive of tests/data/archives (made by real tools, see
// make_archives.sh) to target.
inline void CopyFixture(const char* fixture, const fs::path& target) {
    fs::create_directories(target.parent_path());
    fs::copy_file(fs::path(MERVOK_TEST_DATA_DIR) / "archives" / fixture, target,
                  fs::copy_options::overwrite_existing);
}

// The three real libraries as the build lays them out.
inline ArchiverLibraries& RealLibraries() {
    static ArchiverLibraries libraries(MERVOK_DIST_DIR);
    return libraries;
}

// A library that only reports a version: for the start-up probes.
class VersionOnlyLibrary : public ArchiverApi {
  public:
    explicit VersionOnlyLibrary(std::int16_t version) : mVersion(version) {}
    std::int16_t GetVersion() override { return mVersion; }
    int GetRunning() override { return 0; }
    int GetCursorMode() override { return 0; }
    int SetCursorMode(int) override { return 0; }
    int CheckArchive(const std::string&, int) override { return 0; }
    ArchiveHandle OpenArchive(void*, const std::string&, std::uint32_t) override { return nullptr; }
    int FindFirst(ArchiveHandle, const std::string&) override { return -1; }
    int CloseArchive(ArchiveHandle) override { return 0; }

  private:
    std::int16_t mVersion;
};

// A gate threads of the search wait at until the test opens it.
class Gate {
  public:
    void Wait() {
        std::unique_lock lock(mMutex);
        mReached = true;
        mChanged.notify_all();
        mChanged.wait(lock, [this] { return mOpen; });
    }
    // Called by the test: returns once a thread waits at the gate.
    void AwaitReached() {
        std::unique_lock lock(mMutex);
        mChanged.wait(lock, [this] { return mReached; });
    }
    void Open() {
        std::lock_guard lock(mMutex);
        mOpen = true;
        mChanged.notify_all();
    }

  private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    bool mReached = false;
    bool mOpen = false;
};

// A real library whose opening of the named files waits at its gate.
class GatedLibrary : public ArchiverApi {
  public:
    GatedLibrary(ArchiverApi& real, std::set<std::string> gatedNames)
        : mReal(real), mGated(std::move(gatedNames)) {}

    Gate& Opening() { return mGate; }

    std::int16_t GetVersion() override { return mReal.GetVersion(); }
    int GetRunning() override { return mReal.GetRunning(); }
    int GetCursorMode() override { return mReal.GetCursorMode(); }
    int SetCursorMode(int mode) override { return mReal.SetCursorMode(mode); }
    int CheckArchive(const std::string& path, int mode) override {
        return mReal.CheckArchive(path, mode);
    }
    ArchiveHandle OpenArchive(void* window, const std::string& path, std::uint32_t mode) override {
        if (mGated.count(fs::path(path).filename().string()) != 0) {
            mGate.Wait();
        }
        return mReal.OpenArchive(window, path, mode);
    }
    int FindFirst(ArchiveHandle archive, const std::string& wildcards) override {
        return mReal.FindFirst(archive, wildcards);
    }
    int CloseArchive(ArchiveHandle archive) override { return mReal.CloseArchive(archive); }

  private:
    ArchiverApi& mReal;
    std::set<std::string> mGated;
    Gate mGate;
};

// Waits (handling events) for a signal; the limit only stops a hang.
inline bool AwaitSignal(QSignalSpy& spy) {
    return !spy.isEmpty() || spy.wait(60000);
}

// The main window over a program folder that holds the viewer's settings
// file, and a folder to search.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MessageBox::Reset();
        WriteFile(mProgram.Path() / "Quorvix.ini", "[Option]\r\nPrevInstance=0\r\n");
    }
    void TearDown() override {
        mWindow.reset();
        MessageBox::Reset();
    }

    // Loads the window (over the real libraries unless others are given) and
    // shows it, active, when asked.
    frmMERVOK& Open(std::optional<ArchiverSet> libraries = std::nullopt, bool show = true) {
        mWindow = std::make_unique<frmMERVOK>(mProgram.Folder(),
                                              libraries ? *libraries : RealLibraries().Set());
        EXPECT_TRUE(mWindow->Form_Load());
        if (show) {
            mWindow->ShowLoaded();
            QApplication::setActiveWindow(mWindow.get());
            EXPECT_TRUE(QTest::qWaitForWindowActive(mWindow.get()));
        }
        return *mWindow;
    }
    template <typename Widget = QWidget>
    Widget* Control(const char* name) {
        return Find<Widget>(*mWindow, name);
    }
    fs::path IniPath() const { return mProgram.Path() / "Mervok.ini"; }

    TempDir mProgram;
    TempDir mData;
    std::unique_ptr<frmMERVOK> mWindow;
};

}  // namespace mervok::test
