#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "viewer/viewer_launcher.h"

namespace mervok {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The stand-in viewer the build puts into the program folder, run through the
// real launcher; xdg-open is replaced by a script on PATH that records what it
// was asked to open, since no desktop runs here.
class StandInViewerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/mervok-standin-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        mRoot = pattern;
        mFolder = mRoot / "program folder";
        fs::create_directories(mFolder);
        fs::create_directories(mRoot / "bin");
        fs::copy_file(fs::path(MERVOK_DIST_DIR) / "Quorvix.exe", mFolder / "Quorvix.exe");

        fs::path opener = mRoot / "bin" / "xdg-open";
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\0' \"$@\" > '"
                              << (mRoot / "opened").string() << "'\n";
        fs::permissions(opener, fs::perms::owner_all);
        mOldPath = getenv("PATH") ? getenv("PATH") : "";
        setenv("PATH", ((mRoot / "bin").string() + ":" + mOldPath).c_str(), 1);
    }

    void TearDown() override {
        setenv("PATH", mOldPath.c_str(), 1);
        fs::remove_all(mRoot);
    }

    // Runs the stand-in to its end and returns what it handed to xdg-open.
    std::string Run(void (ViewerLauncher::*open)(const std::string&), const std::string& path) {
        ViewerLauncher launcher(mFolder.string(), 1, nullptr);
        (launcher.*open)(path);
        pid_t pid = launcher.LastViewerTaskId();
        EXPECT_NE(pid, 0);
        EXPECT_TRUE(launcher.WaitForEnd(pid, 30s));
        return ReadFile(mRoot / "opened");
    }

    std::string RunOptions() {
        ViewerLauncher launcher(mFolder.string(), 1, nullptr);
        pid_t pid = launcher.LaunchViewer(ViewerArguments(mFolder.string(), std::nullopt));
        EXPECT_NE(pid, 0);
        EXPECT_TRUE(launcher.WaitForEnd(pid, 30s));
        return ReadFile(mRoot / "opened");
    }

    fs::path mRoot;
    fs::path mFolder;
    std::string mOldPath;
};

TEST_F(StandInViewerTest, IsExecutableInDistFolder) {
    fs::path viewer = fs::path(MERVOK_DIST_DIR) / "Quorvix.exe";
    ASSERT_TRUE(fs::is_regular_file(viewer));
    EXPECT_EQ(access(viewer.c_str(), X_OK), 0);
}

TEST_F(StandInViewerTest, HandsArchiveToDefaultHandlerUnchanged) {
    std::string archive = std::string("/arc/a b \"c\" $(x) \x82\xa0.lzh");
    EXPECT_EQ(Run(&ViewerLauncher::OpenArchive, archive), archive + '\0');
}

TEST_F(StandInViewerTest, WithoutArchiveOpensSettingsFileOrFolder) {
    std::string folder = mFolder.string();
    EXPECT_EQ(RunOptions(), folder + '\0');
    std::ofstream(mFolder / "Quorvix.ini") << "[Option]\r\n";
    EXPECT_EQ(RunOptions(), folder + "/Quorvix.ini" + '\0');
}

}  // namespace
}  // namespace mervok
