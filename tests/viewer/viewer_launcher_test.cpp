#include "viewer/viewer_launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/program_folder.h"

namespace mervok {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous upper bounds so that a broken viewer fails the test instead of
// hanging it; nothing here depends on how fast anything is.
constexpr auto kSafetyLimit = 30s;
constexpr int kSafetyLimitMs = 30000;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> SplitAtNul(const std::string& text) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (auto end = text.find('\0'); end != std::string::npos; end = text.find('\0', start)) {
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

struct ChildProcess {
    pid_t pid;
    char state;
};

// Processes whose parent is this process, with their states ('Z': ended but
// never reaped).
std::vector<ChildProcess> ChildProcesses() {
    std::vector<ChildProcess> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::string stat = ReadFile(entry.path() / "stat");
        auto close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream rest(stat.substr(close + 1));
        char state = 0;
        long parent = 0;
        rest >> state >> parent;
        if (parent == getpid()) {
            children.push_back({static_cast<pid_t>(std::stol(name)), state});
        }
    }
    return children;
}

int CountZombieChildren() {
    int zombies = 0;
    for (const ChildProcess& child : ChildProcesses()) {
        zombies += child.state == 'Z' ? 1 : 0;
    }
    return zombies;
}

// A temporary program folder with a stand-in viewer: a shell script that
// records its script path and arguments (NUL-separated, bytes as they came),
// reports its process id through a FIFO once it is ready for signals, and
// then waits until SIGTERM, which it records before it ends. When the file
// "quit-at-once" exists it ends right after reporting instead.
class ViewerLauncherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/mervok-viewer-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        mRoot = pattern;
        // Blanks, quotes, a command substitution and a non-UTF-8 byte in the
        // program folder itself.
        mFolder = mRoot / "prog dir \"q\" $(touch pwned) \x82\xa0";
        fs::create_directories(mFolder);
        fs::create_directories(mRoot / "state");
        ASSERT_EQ(mkfifo((mRoot / "state" / "ready").c_str(), 0600), 0);
        ASSERT_EQ(mkfifo((mRoot / "state" / "hold").c_str(), 0600), 0);
        // Keep a reader open all the time so that the viewers' writes never
        // block, and a writer so that a viewer closing its end never shows as
        // a hang-up; read without blocking and poll for lines.
        mReady = open((mRoot / "state" / "ready").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(mReady, 0);
        mReadyWriter = open((mRoot / "state" / "ready").c_str(), O_WRONLY);
        ASSERT_GE(mReadyWriter, 0);
        WriteViewer(mFolder);
        WriteFile(mFolder / "Quorvix.ini", kViewerIni);
    }

    void TearDown() override {
        // Every viewer still running, reported or not, ends with the test.
        for (const ChildProcess& child : ChildProcesses()) {
            kill(child.pid, SIGTERM);
            if (mLauncher) {
                mLauncher->WaitForEnd(child.pid, kSafetyLimit);
            }
        }
        mLauncher.reset();
        for (int fd : {mReady, mReadyWriter}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        fs::remove_all(mRoot);
    }

    void WriteViewer(const fs::path& folder) {
        fs::path script = folder / "Quorvix.exe";
        WriteFile(script,
                  "#!/bin/sh\n"
                  "state='" +
                      (mRoot / "state").string() +
                      "'\n"
                      "trap 'echo ended > \"$state/ended.$$\"; exit 0' TERM\n"
                      "{ printf '%s\\0' \"$0\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } "
                      "> \"$state/args.$$\"\n"
                      "echo $$ > \"$state/ready\"\n"
                      "[ -e \"$state/quit-at-once\" ] && exit 0\n"
                      // Waits in the shell itself, not in a child that a
                      // signal could leave behind: nobody writes to hold.
                      "exec 3<> \"$state/hold\"\n"
                      "read never <&3\n");
        fs::permissions(script, fs::perms::owner_all);
    }

    ViewerLauncher& Launcher(int prevInstance) {
        mLauncher = std::make_unique<ViewerLauncher>(
            mFolder.string(), prevInstance,
            [this](const std::string& text) { mErrors.push_back(text); });
        return *mLauncher;
    }

    // The id the next viewer reports once it is ready; 0 when none reports.
    pid_t NextReadyViewer() {
        std::string line;
        for (;;) {
            char c = 0;
            ssize_t got = read(mReady, &c, 1);
            if (got == 1) {
                if (c == '\n') {
                    break;
                }
                line += c;
                continue;
            }
            pollfd wait{mReady, POLLIN, 0};
            if (poll(&wait, 1, kSafetyLimitMs) <= 0 || (wait.revents & POLLIN) == 0) {
                return 0;
            }
        }
        return static_cast<pid_t>(std::stol(line));
    }

    std::vector<std::string> ArgumentsOf(pid_t pid) {
        return SplitAtNul(ReadFile(mRoot / "state" / ("args." + std::to_string(pid))));
    }

    bool EndedBySignal(pid_t pid) {
        return fs::exists(mRoot / "state" / ("ended." + std::to_string(pid)));
    }

    std::string ViewerIni() const { return ReadFile(mFolder / "Quorvix.ini"); }

    // The viewer's settings as written before an open: only the one key is
    // new, every other byte as it was.
    static bool MarkedAsDropped(const std::string& ini) {
        const std::string added = "DroppedArcFile=1\r\n";
        auto at = ini.find(added);
        return at != std::string::npos &&
               ini.substr(0, at) + ini.substr(at + added.size()) == kViewerIni;
    }

    static constexpr const char* kViewerIni =
        "; written by the viewer\r\n"
        "[Option]\r\n"
        "PrevInstance=0\r\n"
        "DocType=HLP DOC  \xc8\xde\r\n"
        "\r\n"
        "[Window]\r\n"
        "Left=10\r\n";

    std::string ViewerPath() const { return PathInFolder(mFolder.string(), "Quorvix.exe"); }

    fs::path mRoot;
    fs::path mFolder;
    int mReady = -1;
    int mReadyWriter = -1;
    std::unique_ptr<ViewerLauncher> mLauncher;
    std::vector<std::string> mErrors;
};

TEST(ViewerArgumentsTest, ViewerBesideProgramThenExactArchivePath) {
    EXPECT_EQ(ViewerArguments("/opt/mervok/", std::nullopt),
              std::vector<std::string>{"/opt/mervok/Quorvix.exe"});
    EXPECT_EQ(ViewerArguments("/opt/mervok", std::string_view("/a b/\"x\".lzh")),
              (std::vector<std::string>{"/opt/mervok/Quorvix.exe", "/a b/\"x\".lzh"}));
    EXPECT_EQ(ViewerArguments("/", std::string_view("/a.lzh")),
              (std::vector<std::string>{"/Quorvix.exe", "/a.lzh"}));
}

TEST(ViewerArgumentsTest, LaunchErrorText) {
    EXPECT_EQ(ViewerLaunchErrorText(),
              "Quorvix 起動エラー !!\r\n\r\nこのプログラムは Quorvix.exe "
              "と同じ場所に置いてください。");
}

TEST_F(ViewerLauncherTest, ArchivePathReachesViewerByteForByte) {
    ViewerLauncher& launcher = Launcher(1);
    const std::vector<std::string> paths = {
        "/arc/with blank/a b.lzh",
        "/arc/\"quoted\" 'single'.zip",
        "/arc/$(touch pwned) `touch pwned2` ; rm -rf x &.cab",
        std::string("/arc/\x82\xa0\x83\x41 sjis \xff.lzh"),
        "/arc/-starts-with-dash.lzh",
    };
    for (const std::string& path : paths) {
        launcher.OpenArchive(path);
        pid_t pid = NextReadyViewer();
        ASSERT_NE(pid, 0) << path;
        EXPECT_EQ(launcher.LastViewerTaskId(), pid);
        EXPECT_EQ(ArgumentsOf(pid), (std::vector<std::string>{ViewerPath(), path}));
    }
    EXPECT_FALSE(fs::exists(mFolder / "pwned"));
    EXPECT_FALSE(fs::exists(fs::current_path() / "pwned"));
    EXPECT_FALSE(fs::exists(fs::current_path() / "pwned2"));
    EXPECT_TRUE(mErrors.empty());
}

TEST_F(ViewerLauncherTest, EmptySelectionOpensNothing) {
    ViewerLauncher& launcher = Launcher(0);
    launcher.OpenArchive("");
    EXPECT_EQ(launcher.LastViewerTaskId(), 0);
    EXPECT_EQ(ViewerIni(), kViewerIni);
    EXPECT_TRUE(mErrors.empty());
}

TEST_F(ViewerLauncherTest, PrevInstanceZeroClosesPreviousViewerAndMarksDrop) {
    ViewerLauncher& launcher = Launcher(0);
    launcher.OpenArchive("/arc/first.lzh");
    pid_t first = NextReadyViewer();
    ASSERT_NE(first, 0);
    EXPECT_TRUE(MarkedAsDropped(ViewerIni())) << ViewerIni();

    WriteFile(mFolder / "Quorvix.ini", kViewerIni);
    launcher.OpenArchive("/arc/second.lzh");
    pid_t second = NextReadyViewer();
    ASSERT_NE(second, 0);
    EXPECT_TRUE(MarkedAsDropped(ViewerIni())) << ViewerIni();
    EXPECT_EQ(launcher.LastViewerTaskId(), second);

    ASSERT_TRUE(launcher.WaitForEnd(first, kSafetyLimit));
    EXPECT_TRUE(EndedBySignal(first));
    EXPECT_TRUE(launcher.IsRunning(second));
    EXPECT_FALSE(EndedBySignal(second));
    EXPECT_EQ(CountZombieChildren(), 0);
}

TEST_F(ViewerLauncherTest, PrevInstanceOneLeavesEarlierViewersAndNeverMarks) {
    ViewerLauncher& launcher = Launcher(1);
    launcher.OpenArchive("/arc/first.lzh");
    pid_t first = NextReadyViewer();
    launcher.OpenArchive("/arc/second.lzh");
    pid_t second = NextReadyViewer();
    ASSERT_NE(first, 0);
    ASSERT_NE(second, 0);

    EXPECT_EQ(ViewerIni(), kViewerIni);
    EXPECT_EQ(launcher.LastViewerTaskId(), second);
    EXPECT_TRUE(launcher.IsRunning(first));
    EXPECT_TRUE(launcher.IsRunning(second));
    EXPECT_FALSE(EndedBySignal(first));
}

TEST_F(ViewerLauncherTest, OptionsViewerIsNeitherRecordedNorClosed) {
    ViewerLauncher& launcher = Launcher(0);
    launcher.OpenArchive("/arc/first.lzh");
    pid_t first = NextReadyViewer();
    ASSERT_NE(first, 0);

    WriteFile(mFolder / "Quorvix.ini", kViewerIni);
    launcher.OpenOptions();
    pid_t options = NextReadyViewer();
    ASSERT_NE(options, 0);
    EXPECT_EQ(ArgumentsOf(options), std::vector<std::string>{ViewerPath()});
    EXPECT_EQ(launcher.LastViewerTaskId(), first);
    EXPECT_EQ(ViewerIni(), kViewerIni);

    // The next open closes the archive's viewer, not the options viewer.
    launcher.OpenArchive("/arc/second.lzh");
    pid_t second = NextReadyViewer();
    ASSERT_NE(second, 0);
    ASSERT_TRUE(launcher.WaitForEnd(first, kSafetyLimit));
    EXPECT_TRUE(EndedBySignal(first));
    EXPECT_TRUE(launcher.IsRunning(options));
    EXPECT_FALSE(EndedBySignal(options));
}

TEST_F(ViewerLauncherTest, ViewerAlreadyGoneIsSkippedQuietly) {
    ViewerLauncher& launcher = Launcher(0);
    WriteFile(mRoot / "state" / "quit-at-once", "");
    launcher.OpenArchive("/arc/first.lzh");
    pid_t first = NextReadyViewer();
    ASSERT_NE(first, 0);
    // The viewer ends by itself and is reaped without any call of ours.
    ASSERT_TRUE(launcher.WaitForEnd(first, kSafetyLimit));
    EXPECT_EQ(CountZombieChildren(), 0);
    EXPECT_FALSE(launcher.IsRunning(first));
    EXPECT_FALSE(launcher.CloseLastViewer());

    fs::remove(mRoot / "state" / "quit-at-once");
    launcher.OpenArchive("/arc/second.lzh");
    pid_t second = NextReadyViewer();
    ASSERT_NE(second, 0);
    EXPECT_EQ(launcher.LastViewerTaskId(), second);
    EXPECT_FALSE(EndedBySignal(first));
    EXPECT_TRUE(mErrors.empty());
}

TEST_F(ViewerLauncherTest, UnwritableViewerSettingsDoNotStopTheOpen) {
    fs::remove(mFolder / "Quorvix.ini");
    fs::create_directory(mFolder / "Quorvix.ini");
    ViewerLauncher& launcher = Launcher(0);
    launcher.OpenArchive("/arc/a.lzh");
    pid_t viewer = NextReadyViewer();
    ASSERT_NE(viewer, 0);
    EXPECT_EQ(launcher.LastViewerTaskId(), viewer);
    EXPECT_TRUE(mErrors.empty());
    EXPECT_TRUE(fs::is_directory(mFolder / "Quorvix.ini"));
}

TEST_F(ViewerLauncherTest, ViewerThatCannotStartReportsFailure) {
    // Missing, not executable, a folder, and a script whose interpreter is
    // missing (only the spawn itself can tell that one).
    fs::path viewer = mFolder / "Quorvix.exe";
    std::vector<std::function<void()>> breakViewer = {
        [&] { fs::remove(viewer); },
        [&] {
            WriteFile(viewer, "#!/bin/sh\nexit 0\n");
            fs::permissions(viewer, fs::perms::owner_read | fs::perms::owner_write);
        },
        [&] {
            fs::remove(viewer);
            fs::create_directory(viewer);
        },
        [&] {
            fs::remove_all(viewer);
            WriteFile(viewer, "#!/nonexistent/interpreter\n");
            fs::permissions(viewer, fs::perms::owner_all);
        },
    };
    ViewerLauncher& launcher = Launcher(0);
    for (std::size_t i = 0; i < breakViewer.size(); ++i) {
        breakViewer[i]();
        mErrors.clear();
        launcher.OpenArchive("/arc/a.lzh");
        EXPECT_EQ(launcher.LastViewerTaskId(), 0) << i;
        ASSERT_EQ(mErrors.size(), 1u) << i;
        EXPECT_EQ(mErrors[0], ViewerLaunchErrorText());

        mErrors.clear();
        launcher.OpenOptions();
        EXPECT_EQ(mErrors.size(), 1u) << i;
    }
    EXPECT_EQ(CountZombieChildren(), 0);
}

TEST_F(ViewerLauncherTest, FailedStartForgetsPreviousViewer) {
    ViewerLauncher& launcher = Launcher(0);
    launcher.OpenArchive("/arc/first.lzh");
    pid_t first = NextReadyViewer();
    ASSERT_NE(first, 0);

    fs::remove(mFolder / "Quorvix.exe");
    launcher.OpenArchive("/arc/second.lzh");  // closes the first, fails to start
    EXPECT_EQ(launcher.LastViewerTaskId(), 0);
    ASSERT_TRUE(launcher.WaitForEnd(first, kSafetyLimit));

    WriteViewer(mFolder);
    launcher.OpenArchive("/arc/third.lzh");
    pid_t third = NextReadyViewer();
    ASSERT_NE(third, 0);
    EXPECT_EQ(launcher.LastViewerTaskId(), third);
    EXPECT_EQ(mErrors.size(), 1u);
}

TEST_F(ViewerLauncherTest, NoZombiesAfterManyViewers) {
    ViewerLauncher& launcher = Launcher(0);
    std::vector<pid_t> viewers;
    for (int i = 0; i < 6; ++i) {
        launcher.OpenArchive("/arc/" + std::to_string(i) + ".lzh");
        viewers.push_back(NextReadyViewer());
        ASSERT_NE(viewers.back(), 0);
    }
    for (std::size_t i = 0; i + 1 < viewers.size(); ++i) {
        ASSERT_TRUE(launcher.WaitForEnd(viewers[i], kSafetyLimit));
        EXPECT_TRUE(EndedBySignal(viewers[i]));
    }
    ASSERT_TRUE(launcher.CloseLastViewer());
    ASSERT_TRUE(launcher.WaitForEnd(viewers.back(), kSafetyLimit));
    EXPECT_FALSE(launcher.CloseLastViewer());
    EXPECT_EQ(CountZombieChildren(), 0);
}

}  // namespace
}  // namespace mervok
