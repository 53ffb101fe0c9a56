// Where the settings live: beside a writable program, else per user.

#include "app/settings_folder.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/files.h"

namespace mervok {
namespace {

using testing::ReadBytes;
using testing::RunUnprivileged;
using testing::TempFolder;
using testing::WriteBytes;

// The checks run as an ordinary user, whom permissions stop; a failed check
// names itself on stderr, since the child's expectations do not reach here.
bool Check(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "settings folder check failed: %s\n", what);
    }
    return ok;
}

TEST(SettingsFolderTest, BesideAWritableProgramElsePerUserWithTheViewerSettingsSeededOnce) {
    TempFolder temp;
    const std::string top = temp.Path();
    const auto OwnerOnly = [](const std::string& path) {
        return std::filesystem::status(path).permissions() == std::filesystem::perms::owner_all;
    };
    const std::string ini = "; shipped\r\n[Option]\r\nDocType=HTM DOC\r\n";
    for (const char* folder : {"/portable", "/installed", "/broken", "/home", "/xdg", "/marked"}) {
        ASSERT_EQ(mkdir((top + folder).c_str(), 0755), 0);
    }
    WriteBytes(top + "/portable/Quorvix.ini", ini);
    WriteBytes(top + "/installed/Quorvix.ini", ini);
    WriteBytes(top + "/marked/" + std::string(kInstalledMarker), "");
    chmod(top.c_str(), 0755);
    chmod((top + "/installed").c_str(), 0555);
    chmod((top + "/broken").c_str(), 0555);
    // The ordinary user owns the portable copy and its own home.
    for (const char* owned : {"/portable", "/portable/Quorvix.ini", "/home", "/xdg", "/marked"}) {
        if (geteuid() == 0) {
            ASSERT_EQ(chown((top + owned).c_str(), 65534, 65534), 0);
        }
    }

    EXPECT_EQ(RunUnprivileged([&] {
                  setenv("HOME", (top + "/home").c_str(), 1);
                  unsetenv("XDG_CONFIG_HOME");
                  const auto portable = PrepareSettingsFolder(top + "/portable");
                  bool ok = Check(portable.folder == top + "/portable/" && !portable.perUser,
                                  "a writable program folder keeps its settings");
                  ok &= Check(!std::filesystem::exists(top + "/home/.config"),
                              "nothing is made in the home for a portable copy");

                  const auto installed = PrepareSettingsFolder(top + "/installed/");
                  const std::string mine = top + "/home/.config/mervok/";
                  ok &= Check(installed.folder == mine && installed.perUser,
                              "a read-only program folder sends settings to ~/.config/mervok");
                  ok &= Check(OwnerOnly(top + "/home/.config") && OwnerOnly(mine),
                              "made folders are the user's alone");
                  ok &= Check(ReadBytes(mine + "Quorvix.ini") == ini,
                              "the viewer's settings are seeded byte for byte");
                  WriteBytes(mine + "Quorvix.ini", "[Option]\nPrevInstance=1\n");
                  PrepareSettingsFolder(top + "/installed");
                  ok &= Check(ReadBytes(mine + "Quorvix.ini") == "[Option]\nPrevInstance=1\n",
                              "the user's own copy is never replaced");

                  setenv("XDG_CONFIG_HOME", (top + "/xdg/conf").c_str(), 1);
                  const auto xdg = PrepareSettingsFolder(top + "/installed");
                  ok &= Check(xdg.folder == top + "/xdg/conf/mervok/" &&
                                  std::filesystem::is_regular_file(xdg.folder + "Quorvix.ini"),
                              "XDG_CONFIG_HOME is honoured and made when missing");
                  setenv("XDG_CONFIG_HOME", "relative/conf", 1);
                  ok &= Check(LocateSettingsFolder(top + "/installed").folder == mine,
                              "a relative XDG_CONFIG_HOME is ignored");
                  ok &= Check(LocateSettingsFolder(top + "/marked").folder == mine,
                              "an installed folder goes per user also where it is writable");

                  const auto broken = PrepareSettingsFolder(top + "/broken");
                  ok &= Check(broken.perUser && broken.folder == mine,
                              "an installation without Quorvix.ini still goes per user");
                  unlink((mine + "Quorvix.ini").c_str());
                  PrepareSettingsFolder(top + "/broken");
                  ok &= Check(!std::filesystem::exists(mine + "Quorvix.ini"),
                              "and no Quorvix.ini is made up for it");
                  // Seeded whole under the final name: no write is ever seen there.
                  const int watch = inotify_init1(IN_NONBLOCK);
                  inotify_add_watch(watch, mine.c_str(), IN_MODIFY | IN_CLOSE_WRITE);
                  PrepareSettingsFolder(top + "/installed");
                  alignas(inotify_event) char events[4096];
                  const ssize_t got = read(watch, events, sizeof events);
                  int writes = 0;
                  for (ssize_t at = 0; at < got;) {
                      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                      writes += event->len > 0 && std::string(event->name) == "Quorvix.ini";
                      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                  }
                  close(watch);
                  const std::filesystem::directory_iterator seeded(mine);
                  ok &= Check(got > 0 && writes == 0 && ReadBytes(mine + "Quorvix.ini") == ini &&
                                  std::distance(begin(seeded), end(seeded)) == 1,
                              "the seeded file appears whole, nothing left beside it");

                  setenv("HOME", (top + "/installed").c_str(), 1);
                  unsetenv("XDG_CONFIG_HOME");
                  const auto nowhere = PrepareSettingsFolder(top + "/broken");
                  ok &= Check(nowhere.folder == top + "/broken/" && !nowhere.perUser,
                              "without a usable home the program folder is the answer");
                  return ok;
              }),
              1);
}

}  // namespace
}  // namespace mervok
