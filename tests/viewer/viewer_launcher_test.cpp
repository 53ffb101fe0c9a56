#include "viewer/viewer_launcher.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>

#include "support/files.h"
namespace mervok {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WaitUntil;
using testing::WriteBytes;
using Strings = std::vector<std::string>;

// The viewer's own settings file: CR LF line ends and a non-UTF-8 value.
constexpr std::string_view kViewerIni =
    "; written by the viewer\r\n[Option]\r\nPrevInstance=0\r\nDocType=HLP DOC  \xc8\xde\r\n"
    "\r\n[Window]\r\nLeft=10\r\n";

// The state letter of a process ('Z': ended but never reaped), 0 once it is
// gone, '!' while a signal is on its way to a live one. A process may end
// while its status is read: the read then fails, and it counts as gone.
char State(pid_t pid) {
    std::istringstream status(ReadBytes("/proc/" + std::to_string(pid) + "/status"));
    char state = 0;
    bool pending = false;
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("State:") && line.size() > 7) {
            state = line[7];
        } else if (line.starts_with("SigPnd:") || line.starts_with("ShdPnd:")) {
            pending = pending || line.find_first_not_of('0', 8) != std::string::npos;
        }
    }
    return pending && state != 'Z' && state != 'X' ? '!' : state;
}

// Ended: gone, or a zombie that is not ours to reap.
bool Ended(pid_t pid) {
    return std::string_view("\0ZX", 3).find(State(pid)) != std::string_view::npos;
}

bool Untouched(pid_t pid) {
    return std::string_view("\0ZX!", 4).find(State(pid)) == std::string_view::npos;
}

std::vector<pid_t> Ids(const std::string& file) {
    std::istringstream in(ReadBytes(file));
    return {std::istream_iterator<pid_t>(in), std::istream_iterator<pid_t>()};
}

// A program folder with blanks, quotes, a command substitution and a
// non-UTF-8 byte in its name, holding a viewer that records its arguments and
// its id, then runs `tail` (by default: waits until it is closed).
class ViewerLauncherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(mFolder);
        WriteBytes(mIni, kViewerIni);
        Viewer("exec sleep 600");
    }
    void TearDown() override {
        mLauncher.reset();
        // Whole groups: viewers and whatever they started.
        for (pid_t pid : Started()) {
            kill(-pid, SIGTERM);
        }
        for (pid_t pid : Ids(mTemp.File("children"))) {
            kill(pid, SIGTERM);
        }
    }

    void Viewer(const std::string& tail) {
        WriteBytes(mViewer, "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" > " + mTemp.File("args.$$") +
                                "\necho $$ >> " + mTemp.File("pids") + "\n" + tail + "\n");
        fs::permissions(mViewer, fs::perms::owner_all);
    }
    ViewerLauncher& Launcher(int prevInstance) {
        mLauncher = std::make_unique<ViewerLauncher>(
            mFolder, mIni, prevInstance,
            [this](const std::string& text) { mErrors.push_back(text); });
        return *mLauncher;
    }
    // The ids of the viewers that have started so far.
    std::vector<pid_t> Started() { return Ids(mTemp.File("pids")); }
    bool StartedCount(std::size_t count) {
        return WaitUntil([&] { return Started().size() == count; });
    }
    // The arguments a viewer was given, each followed by a NUL.
    std::string Arguments(pid_t pid) {
        return ReadBytes(mTemp.File("args." + std::to_string(pid)));
    }
    // Only "DroppedArcFile" is new in the settings file; every other byte stays.
    bool MarkedAsDropped() {
        const std::string ini = ReadBytes(mIni), added = "DroppedArcFile=1\r\n";
        const auto at = ini.find(added);
        return at != std::string::npos &&
               ini.substr(0, at) + ini.substr(at + added.size()) == kViewerIni;
    }

    TempFolder mTemp;
    const std::string mFolder = mTemp.File("prog dir \"q\" $(touch pwned) \x82\xa0");
    const std::string mViewer = mFolder + "/Quorvix.exe";
    const std::string mIni = mTemp.File("Quorvix.ini");  // the settings folder is elsewhere
    std::unique_ptr<ViewerLauncher> mLauncher;
    Strings mErrors;
};

TEST_F(ViewerLauncherTest, ArchivePathReachesTheViewerByteForByteAndTheEndedViewerIsReaped) {
    Viewer("exit 0");
    // A settings file that cannot be written does not stop the open.
    fs::remove(mIni);
    fs::create_directory(mIni);
    ViewerLauncher& launcher = Launcher(0);
    for (const std::string path : {"/arc/with blank/a b.lzh", "/arc/\"quoted\" 'single'.zip",
                                   "/arc/$(touch pwned) `touch pwned2` ; rm -rf x &.cab",
                                   "/arc/\x82\xa0\x83\x41 \xff.lzh", "-starts-with-dash.lzh"}) {
        // The viewer opened before has ended by itself: nothing to close.
        launcher.OpenArchive(path);
        const pid_t pid = launcher.LastViewerTaskId();
        ASSERT_NE(pid, 0) << path;
        // Reaped without any call of ours: no zombie stays behind.
        ASSERT_TRUE(WaitUntil([&] { return State(pid) == 0; }));
        EXPECT_FALSE(launcher.IsRunning(pid));
        EXPECT_EQ(Arguments(pid), mViewer + '\0' + path + '\0');
    }
    // A match: the entry and the text go before the archive, each as it is.
    launcher.OpenArchive(ViewerTarget{"-a.zip", "docs/-i.txt", "--line", 12, true});
    ASSERT_TRUE(WaitUntil([&] { return State(launcher.LastViewerTaskId()) == 0; }));
    EXPECT_EQ(Arguments(launcher.LastViewerTaskId()),
              mViewer +
                  "\0--entry\0docs/-i.txt\0--find\0--line\0-i\0--line\0"
                  "12\0--\0-a.zip\0"s);
    EXPECT_FALSE(launcher.CloseLastViewer());  // it has ended: nothing to signal
    EXPECT_FALSE(fs::exists(mFolder + "/pwned") || fs::exists("pwned") || fs::exists("pwned2"));
    EXPECT_TRUE(mErrors.empty());
}

TEST_F(ViewerLauncherTest, PrevInstanceZeroMarksTheDropAndClosesTheLastArchiveViewerOnly) {
    ViewerLauncher& launcher = Launcher(0);
    launcher.OpenArchive("");  // no row selected
    launcher.OpenOptions();
    ASSERT_TRUE(StartedCount(1));
    const pid_t options = Started()[0];
    EXPECT_EQ(launcher.LastViewerTaskId(), 0);
    EXPECT_EQ(ReadBytes(mIni), kViewerIni);
    std::vector<pid_t> viewers;
    // Marked once, however often.
    for (const char* path : {"/arc/1.lzh", "/arc/2.lzh", "/arc/3.lzh"}) {
        launcher.OpenArchive(path);
        EXPECT_TRUE(MarkedAsDropped()) << ReadBytes(mIni);
        viewers.push_back(launcher.LastViewerTaskId());
        ASSERT_TRUE(StartedCount(viewers.size() + 1));
    }
    for (pid_t pid : {viewers[0], viewers[1]}) {
        EXPECT_TRUE(launcher.WaitForEnd(pid, 30s));
        EXPECT_TRUE(WaitUntil([&] { return State(pid) == 0; }));
    }
    EXPECT_TRUE(launcher.CloseLastViewer());
    EXPECT_TRUE(launcher.WaitForEnd(viewers[2], 30s));
    EXPECT_TRUE(WaitUntil([&] { return State(viewers[2]) == 0; }));
    EXPECT_FALSE(launcher.CloseLastViewer());
    // The options viewer is neither recorded nor closed.
    EXPECT_EQ(Arguments(options), mViewer + '\0');
    EXPECT_TRUE(Untouched(options));
}

TEST_F(ViewerLauncherTest, TheNextOpenClosesWhatTheLastViewerStartedEvenAfterItEnded) {
    // A viewer that shows the archive in a program of its own: one waits for
    // it, one ends at once and leaves it running (as a desktop opener does).
    for (const char* tail : {"wait", "exit 0"}) {
        SCOPED_TRACE(tail);
        fs::remove(mTemp.File("pids"));
        fs::remove(mTemp.File("children"));
        Viewer("sleep 600 &\necho $! >> " + mTemp.File("children") + "\n" + tail);
        ViewerLauncher& launcher = Launcher(0);
        launcher.OpenArchive("/arc/first.lzh");
        const pid_t first = launcher.LastViewerTaskId();
        ASSERT_TRUE(WaitUntil([&] { return Ids(mTemp.File("children")).size() == 1; }));
        const pid_t firstChild = Ids(mTemp.File("children"))[0];
        // The first viewer's id still names its group while the program it
        // left behind runs.
        EXPECT_TRUE(WaitUntil([&] { return getpgid(firstChild) == first; }));

        launcher.OpenArchive("/arc/second.lzh");
        EXPECT_TRUE(WaitUntil([&] { return Ended(firstChild); }));
        EXPECT_TRUE(WaitUntil([&] { return State(first) == 0; })) << "reaped, not left a zombie";
        ASSERT_TRUE(WaitUntil([&] { return Ids(mTemp.File("children")).size() == 2; }));
        const pid_t secondChild = Ids(mTemp.File("children"))[1];
        EXPECT_TRUE(Untouched(secondChild));

        // A group that ends by itself needs no close, and its viewer is
        // reaped when next looked at.
        kill(secondChild, SIGTERM);
        const pid_t second = launcher.LastViewerTaskId();
        EXPECT_TRUE(launcher.WaitForEnd(second, 30s));
        EXPECT_TRUE(WaitUntil([&] { return !launcher.IsRunning(second) && State(second) == 0; }));
        EXPECT_FALSE(launcher.CloseLastViewer());
    }
}

TEST_F(ViewerLauncherTest, PrevInstanceOneLeavesEarlierViewersAndNeverMarks) {
    ViewerLauncher& launcher = Launcher(1);
    launcher.OpenArchive("/arc/first.lzh");
    const pid_t first = launcher.LastViewerTaskId();
    launcher.OpenArchive("/arc/second.lzh");
    ASSERT_TRUE(StartedCount(2));
    EXPECT_EQ(Arguments(launcher.LastViewerTaskId()), mViewer + '\0' + "/arc/second.lzh" + '\0');
    EXPECT_TRUE(Untouched(first));
    EXPECT_EQ(ReadBytes(mIni), kViewerIni);
}

TEST_F(ViewerLauncherTest, AViewerThatCannotStartIsReportedAndForgotten) {
    ViewerLauncher& launcher = Launcher(0);
    launcher.OpenArchive("/arc/first.lzh");
    const pid_t first = launcher.LastViewerTaskId();
    ASSERT_TRUE(StartedCount(1));
    // Missing, not executable, a folder, and a script whose interpreter is
    // missing (only the start itself can tell that one).
    const std::function<void()> spoilers[] = {
        [&] { fs::remove(mViewer); },
        [&] {
            WriteBytes(mViewer, "#!/bin/sh\n"), fs::permissions(mViewer, fs::perms::owner_read);
        },
        [&] { fs::remove(mViewer), fs::create_directory(mViewer); },
        [&] {
            fs::remove(mViewer);
            WriteBytes(mViewer, "#!/nonexistent/sh\n");
            fs::permissions(mViewer, fs::perms::owner_all);
        },
    };
    for (const auto& spoil : spoilers) {
        spoil();
        launcher.OpenArchive("/arc/a.lzh");
        EXPECT_EQ(launcher.LastViewerTaskId(), 0);
        launcher.OpenOptions();
    }
    const std::string text =
        "Quorvix 起動エラー !!\r\n\r\nこのプログラムは Quorvix.exe と同じ場所に置いてください。";
    EXPECT_EQ(mErrors, Strings(8, text));
    EXPECT_TRUE(launcher.WaitForEnd(first, 30s));  // closed on the way
    EXPECT_TRUE(WaitUntil([&] { return State(first) == 0; }));
}

}  // namespace
}  // namespace mervok
