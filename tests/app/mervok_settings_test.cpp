#include "app/mervok_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>

#include "app/settings_store.h"
#include "support/files.h"

namespace mervok {
namespace {

using namespace std::string_literals;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// The initial values with the window's current bounds.
MervokSettings Current() {
    MervokSettings current;
    current.left = 1500, current.top = 1200, current.width = 8265, current.height = 6750;
    return current;
}

MervokSettings With(const std::function<void(MervokSettings&)>& change) {
    MervokSettings settings = Current();
    change(settings);
    return settings;
}

class MervokSettingsTest : public ::testing::Test {
  protected:
    MervokSettings Load(const std::string& text, bool* firstRun = nullptr) {
        WriteBytes(mPath, text);
        return LoadSettings(mIni, Current(), firstRun);
    }

    TempFolder mFolder;
    const std::string mPath = mFolder.File("Mervok.ini");
    SettingsStore mIni{mPath};
};

TEST_F(MervokSettingsTest, FirstRunWritesEveryKeyInOrderAndSaveKeepsWhatItDoesNotOwn) {
    bool firstRun = false;
    EXPECT_EQ(LoadSettings(mIni, Current(), &firstRun), Current());
    EXPECT_TRUE(firstRun);
    const std::string written =
        "[Mervok]\nWindow=0\nLeft=1500\nTop=1200\nWidth=8265\nHeight=6750\nSearchDir=\nSubDir=0\n"
        "SearchLHA=1\nSearchZIP=1\nSearchCAB=1\nSearchEXE=1\nDispFileName=0\nCheckArchive=0\n"
        "ClickMode=0\nAutoColumn=0\nSfxIcon=1\nListColor=1\nView=3\nColorLHA=0000FF\n"
        "ColorZIP=006600\nColorCAB=FF0099\nColorLHASFX=0099FF\nColorZIPSFX=00CC00\n"
        "ColorCABSFX=FF66CC\n";
    EXPECT_EQ(ReadBytes(mPath), written);

    // Every value survives a save and a load; a maximised or minimised
    // window leaves the bounds as they were, and lines of others stay.
    const MervokSettings changed = With([](MervokSettings& s) {
        s.window = WindowState::Maximized, s.view = 0, s.colorLha = 0x123456,
        s.colorCabSfx = 0xABCDEF;
        s.left = s.top = s.width = s.height = 99;
        s.searchDir = "  /srv/\x83\x65\x83\x58\x83\x67  ";
        s.findText = "設定ファイル";
        s.subDir = s.hideFileNames = s.skipArchiveCheck = s.clickMode = s.autoColumn = true;
        s.searchLha = s.searchZip = s.searchCab = s.searchExe = s.noSfxIcons = s.listColor = false;
    });
    WriteBytes(mPath, "; mine\r\n[Other]\r\nView=1\r\n[Mervok]\r\nLeft=10\r\nUnknown=x\r\n");
    int replaces = 0;
    SettingsStore::SetBeforeReplaceHookForTesting([&](const std::string&) {
        ++replaces;
        return true;
    });
    EXPECT_TRUE(SaveSettings(mIni, changed));
    SettingsStore::SetBeforeReplaceHookForTesting({});
    EXPECT_EQ(replaces, 1) << "all keys in one replace of the file";
    const std::string saved = ReadBytes(mPath);
    EXPECT_TRUE(
        saved.starts_with("; mine\r\n[Other]\r\nView=1\r\n[Mervok]\r\nLeft=10\r\nUnknown=x\r\n"))
        << saved;
    EXPECT_EQ(saved.find("Top="), std::string::npos) << saved;
    MervokSettings loaded = LoadSettings(mIni, Current());
    EXPECT_EQ(loaded, With([&](MervokSettings& s) {
                  s = changed;
                  s.left = 10, s.top = 1200, s.width = 8265, s.height = 6750;
                  s.searchDir = "/srv/\x83\x65\x83\x58\x83\x67";
              }));
    SaveSettings(mIni, With([](MervokSettings& s) { s.window = WindowState::Minimized; }));
    EXPECT_EQ(LoadSettings(mIni, Current()).window, WindowState::Normal)
        << "a minimised window starts normal";
    EXPECT_EQ(ReadBytes(mPath).find("FindText"), std::string::npos)
        << "an empty text leaves no key";
}

TEST_F(MervokSettingsTest, OddValuesFollowTheLoadRules) {
    const struct {
        std::string text;
        MervokSettings expected;
    } cases[] = {
        {"[Mervok]\r\nWindow=1\r\nLeft=-300\r\nWidth=0\r\nSearchDir=   /data/old  \r\n"
         "SubDir=2\r\nSearchLHA=abc\r\nSearchCAB=2\r\nDispFileName=1\r\nCheckArchive=7\r\n"
         "ClickMode=1\r\nSfxIcon=0\r\nListColor=5\r\nView=7\r\nColorLHA=0000ff\r\n"
         "ColorZIP=12345\r\nColorCAB=GG0099\r\nColorLHASFX= 00FF00 \r\n"s,
         // The window keeps a left of -300 on the screen.
         With([](MervokSettings& s) {
             s.left = -300, s.width = 0, s.searchDir = "/data/old", s.colorLhaSfx = 0x00FF00;
             s.hideFileNames = s.clickMode = true, s.searchLha = s.noSfxIcons = false;
         })},
        {"[mervok]\r\nwindow=2\r\nview=1\r\nSearchDir=a\0b\r\nAutoColumn=1\r\nColorZIPSFX=\r\n"s,
         With([](MervokSettings& s) {
             s.window = WindowState::Maximized, s.view = 1, s.searchDir = "a", s.autoColumn = true;
         })},
        {"[Mervok]\r\nView=-1\r\nCheckArchive=1\r\nSubDir=1\r\n",
         With([](MervokSettings& s) { s.skipArchiveCheck = s.subDir = true; })},
    };
    for (const auto& c : cases) {
        bool firstRun = true;
        EXPECT_EQ(Load(c.text, &firstRun), c.expected) << c.text;
        EXPECT_FALSE(firstRun);
    }
}

TEST_F(MervokSettingsTest, OlderFormsAreTakenOverOnce) {
    const struct {
        std::string before;
        std::string after;  // the file after the load
        MervokSettings expected;
    } cases[] = {
        {"[Mervok]\r\nCheckClick=1\r\n", "[Mervok]\r\nClickMode=1\r\n",
         With([](MervokSettings& s) { s.clickMode = true; })},
        // 9 counts as no older key: ClickMode decides and CheckClick stays.
        {"[Mervok]\r\nCheckClick=9\r\nClickMode=1\r\n",
         "[Mervok]\r\nCheckClick=9\r\nClickMode=1\r\n",
         With([](MervokSettings& s) { s.clickMode = true; })},
        // An older section whose first entry is blank is left alone.
        {"[Mervok]\r\nSubDir=1\r\n[QvCtrler]\r\n", "[Mervok]\r\nSubDir=1\r\n[QvCtrler]\r\n",
         With([](MervokSettings& s) { s.subDir = true; })},
        // One with entries replaces the section; every other key takes its
        // initial value, and nothing else of the file changes.
        {"; settings\r\n[QvCtrler]\r\nSubDir=1\r\nView=0\r\n\r\n[Mervok]\r\n; kept\r\n"
         "SearchLHA=0\r\nView=2\r\nCheckClick=1\r\n\r\n[Unknown]\r\nKeep=this\r\n",
         "; settings\r\n\r\n[Mervok]\r\n; kept\r\nSubDir=1\r\nView=0\r\n\r\n[Unknown]\r\n"
         "Keep=this\r\n",
         With([](MervokSettings& s) { s.subDir = true, s.view = 0; })},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Load(c.before), c.expected) << c.before;
        EXPECT_EQ(ReadBytes(mPath), c.after);
    }
    // A file that cannot be written keeps the older key, which still counts.
    WriteBytes(mPath, "[Mervok]\r\nClickMode=0\r\nCheckClick=1\r\n");
    ::chmod(mPath.c_str(), 0444);
    EXPECT_TRUE(LoadSettings(mIni, Current()).clickMode);
    EXPECT_EQ(ReadBytes(mPath), "[Mervok]\r\nClickMode=0\r\nCheckClick=1\r\n");
}

}  // namespace
}  // namespace mervok
