#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "ui/centered_msg_box.h"
#include "ui/frm_mervok.h"
#include "ui/message_box.h"
#include "ui/result_list.h"
#include "ui/twips.h"

namespace mervok {
namespace {

using test::Find;
using test::ReadFile;
using test::WriteFile;
using Entries = std::vector<std::pair<std::string, std::string>>;

// The key=value lines of one section, in file order.
Entries SectionEntries(const std::string& text, const std::string& section) {
    Entries entries;
    std::istringstream lines(text);
    bool inside = false;
    for (std::string line; std::getline(lines, line);) {
        line.erase(line.find_last_not_of('\r') + 1);
        if (line.starts_with('[')) {
            inside = line == "[" + section + "]";
        } else if (const auto equals = line.find('='); inside && equals != std::string::npos) {
            entries.emplace_back(line.substr(0, equals), line.substr(equals + 1));
        }
    }
    return entries;
}

std::optional<std::string> Value(const Entries& entries, const std::string& key) {
    const auto found = std::ranges::find(entries, key, &Entries::value_type::first);
    return found == entries.end() ? std::nullopt : std::optional(found->second);
}

class StartupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MessageBox::Reset();
        WriteFile(mFolder.Path() / "Quorvix.ini", "[Option]\r\nPrevInstance=0\r\n");
    }
    void TearDown() override { MessageBox::Reset(); }

    std::string IniPath() const { return (mFolder.Path() / "Mervok.ini").string(); }
    void WriteSettings(const std::string& text) { WriteFile(IniPath(), text); }
    Entries Settings() const { return SectionEntries(ReadFile(IniPath()), "Mervok"); }

    // A window over the program folder, loaded; libraries default to the
    // real ones.
    std::unique_ptr<frmMERVOK> Load(std::optional<ArchiverSet> libraries = std::nullopt) {
        auto window = std::make_unique<frmMERVOK>(
            mFolder.Folder(), libraries ? *libraries : test::RealLibraries().Set());
        EXPECT_TRUE(window->Form_Load());
        return window;
    }

    bool Ticked(const frmMERVOK& window, const char* name) {
        return Find<QCheckBox>(window, name)->isChecked();
    }

    test::TempDir mFolder;
};

TEST_F(StartupTest, FirstStartWritesEveryKeyInOrderAndShowsTheDefaults) {
    auto window = Load();
    const QRect frame = window->frameGeometry();
    const Entries expected = {
        {"Window", "0"},
        {"Left", std::to_string(PixelsToTwips(frame.x()))},
        {"Top", std::to_string(PixelsToTwips(frame.y()))},
        {"Width", std::to_string(PixelsToTwips(frame.width()))},
        {"Height", std::to_string(PixelsToTwips(frame.height()))},
        {"SearchDir", ""},
        {"SubDir", "0"},
        {"SearchLHA", "1"},
        {"SearchZIP", "1"},
        {"SearchCAB", "1"},
        {"SearchEXE", "1"},
        {"DispFileName", "0"},
        {"CheckArchive", "0"},
        {"ClickMode", "0"},
        {"AutoColumn", "0"},
        {"SfxIcon", "1"},
        {"ListColor", "1"},
        {"View", "3"},
        {"ColorLHA", "0000FF"},
        {"ColorZIP", "006600"},
        {"ColorCAB", "FF0099"},
        {"ColorLHASFX", "0099FF"},
        {"ColorZIPSFX", "00CC00"},
        {"ColorCABSFX", "FF66CC"},
    };
    EXPECT_EQ(Settings(), expected);
    EXPECT_EQ(PixelsToTwips(window->width()), 8145);
    EXPECT_EQ(PixelsToTwips(window->height()), 6315);

    EXPECT_EQ(Find<QComboBox>(*window, "cmbView")->currentText(), QStringLiteral("詳細"));
    EXPECT_EQ(Find<ResultList>(*window, "lsvArchive")->View(), 3);
    EXPECT_EQ(window->Colors().lha, 0xFF0000u);     // blue in the high byte
    EXPECT_EQ(window->Colors().cab, 0x9900FFu);     // red 255, blue 153
    EXPECT_EQ(window->Colors().zipSfx, 0x00CC00u);  // green
    EXPECT_TRUE(Find<QProgressBar>(*window, "ProgressBar1")->isHidden());
    EXPECT_TRUE(MessageBox::TakeShown().empty());
}

TEST_F(StartupTest, WithoutTheViewersSettingsFileTheProgramOnlyTellsAndEnds) {
    std::filesystem::remove(mFolder.Path() / "Quorvix.ini");
    MessageBox::QueueAnswer(kIdOk);
    frmMERVOK window(mFolder.Folder(), test::RealLibraries().Set());
    EXPECT_FALSE(window.Form_Load());

    const std::vector<ShownMessage> shown = MessageBox::TakeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text,
              QStringLiteral("Quorvix.ini が見つかりません。\r\n\r\n"
                             "このプログラムは Quorvix.exe と同じ場所に置いてください。"));
    EXPECT_EQ(shown[0].style, kMbOk | kMbIconStop);
    EXPECT_EQ(shown[0].title, QStringLiteral("Archive Search for Quorvix"));
    EXPECT_FALSE(window.isVisible());
    // Closing what was never loaded writes nothing either.
    window.close();
    EXPECT_FALSE(std::filesystem::exists(IniPath()));
}

TEST_F(StartupTest, ViewerValuesAndTheHelpFileBesideTheProgramOnly) {
    WriteFile(mFolder.Path() / "Quorvix.ini", "[Option]\r\nPrevInstance=1\r\n");
    {
        auto window = Load();
        EXPECT_EQ(window->Startup().viewerVersion, 0);  // no Quorvix.exe: no complaint
        EXPECT_EQ(window->Startup().viewerPrevInstance, 1);
        // The bare name while the file is missing, never one in the current folder.
        EXPECT_EQ(window->HelpFile().find('/'), std::string::npos);
        WriteFile(mFolder.Path() / window->HelpFile(), "help");
    }
    auto window = Load();
    EXPECT_EQ(window->HelpFile().rfind(mFolder.Folder(), 0), 0u) << window->HelpFile();
}

TEST_F(StartupTest, OddValuesFollowTheLoadRules) {
    WriteSettings(
        "[Mervok]\r\nLeft=-300\r\nTop=8000\r\nWidth=0\r\nHeight=3000\r\n"
        "SearchDir=   /data/old archives   \r\n"
        "SubDir=2\r\nSearchLHA=abc\r\nSearchCAB=2\r\nDispFileName=1\r\nCheckArchive=7\r\n"
        "SfxIcon=0\r\nListColor=5\r\nView=7\r\n"
        "ColorLHA=0000ff\r\nColorZIP=12345\r\nColorCAB=GG0099\r\nColorLHASFX=00000\r\n");
    auto window = Load();
    EXPECT_EQ(Find<QLineEdit>(*window, "txtSearchDir")->text(),
              QStringLiteral("/data/old archives"));
    EXPECT_FALSE(Ticked(*window, "chkSubDir"));
    EXPECT_FALSE(Ticked(*window, "chkLHA"));
    EXPECT_TRUE(Ticked(*window, "chkZIP"));  // missing: ticked
    EXPECT_TRUE(Ticked(*window, "chkCAB"));
    EXPECT_TRUE(Ticked(*window, "chkNoFileName"));
    EXPECT_FALSE(Ticked(*window, "chkNoArcCheck"));
    EXPECT_FALSE(Ticked(*window, "chkSFXIcon"));
    EXPECT_TRUE(Ticked(*window, "chkListColor"));
    EXPECT_EQ(Find<QComboBox>(*window, "cmbView")->currentText(), QStringLiteral("詳細"));
    EXPECT_EQ(window->Colors().lha, 0xFF0000u);
    EXPECT_EQ(window->Colors().zip, 0x006600u);  // the default dark green
    EXPECT_EQ(window->Colors().cab, 0x9900FFu);
    EXPECT_EQ(window->Colors().lhaSfx, 0xFF9900u);
    // Bounds are kept on the 12000 x 9000 twip screen.
    EXPECT_EQ(window->frameGeometry().x(), 0);
    EXPECT_EQ(PixelsToTwips(window->frameGeometry().y()), 5400);
    EXPECT_EQ(PixelsToTwips(window->frameGeometry().width()), 8145);
    EXPECT_EQ(Value(Settings(), "Window"), std::nullopt) << "nothing is written at load";

    window->close();
    const Entries saved = Settings();
    EXPECT_EQ(Value(saved, "ColorLHA"), "0000FF");
    EXPECT_EQ(Value(saved, "ColorZIP"), "006600");
    EXPECT_EQ(Value(saved, "SubDir"), "0");
    EXPECT_EQ(Value(saved, "SearchCAB"), "1");
    EXPECT_EQ(Value(saved, "View"), "3");
}

TEST_F(StartupTest, ViewOneSelectsSmallIconsAndHandlersRunDuringTheLoad) {
    WriteSettings("[Mervok]\r\nView=1\r\nAutoColumn=1\r\nClickMode=1\r\n");
    auto window = Load();
    EXPECT_EQ(Find<QComboBox>(*window, "cmbView")->currentText(), QStringLiteral("小さいｱｲｺﾝ"));
    auto* list = Find<ResultList>(*window, "lsvArchive");
    EXPECT_EQ(list->View(), 1);
    EXPECT_TRUE(list->AutoColumnWidth());
    EXPECT_TRUE(list->HoverSelection());

    // chkClick keeps the list's hover selection in step afterwards too.
    Find<QCheckBox>(*window, "chkClick")->click();
    EXPECT_FALSE(list->HoverSelection());
}

TEST_F(StartupTest, LegacyKeysAndSectionAreTakenOver) {
    WriteSettings("[Mervok]\r\nCheckClick=1\r\n");
    {
        auto window = Load();
        EXPECT_TRUE(Ticked(*window, "chkClick"));
        EXPECT_EQ(Value(Settings(), "ClickMode"), "1");
        EXPECT_EQ(Value(Settings(), "CheckClick"), std::nullopt);
    }
    // 9 counts as no legacy key: ClickMode decides and CheckClick stays.
    WriteSettings("[Mervok]\r\nCheckClick=9\r\nClickMode=1\r\n");
    {
        auto window = Load();
        EXPECT_TRUE(Ticked(*window, "chkClick"));
        EXPECT_EQ(Value(Settings(), "CheckClick"), "9");
    }
    // An empty legacy section is left alone.
    const std::string empty = "[Mervok]\r\nSubDir=1\r\n[QvCtrler]\r\n";
    WriteSettings(empty);
    {
        auto window = Load();
        EXPECT_EQ(ReadFile(IniPath()), empty);
    }
    // One with entries replaces the settings section.
    WriteSettings(
        "[Mervok]\r\nSearchLHA=0\r\nView=2\r\nListColor=0\r\n"
        "[QvCtrler]\r\nSubDir=1\r\nView=0\r\n");
    auto window = Load();
    const std::string text = ReadFile(IniPath());
    EXPECT_EQ(Settings(), (Entries{{"SubDir", "1"}, {"View", "0"}}));
    EXPECT_EQ(text.find("QvCtrler"), std::string::npos) << text;
    EXPECT_TRUE(Ticked(*window, "chkSubDir"));
    EXPECT_EQ(Find<QComboBox>(*window, "cmbView")->currentIndex(), 0);
    EXPECT_TRUE(Ticked(*window, "chkLHA")) << "every other key takes its missing value";
}

TEST_F(StartupTest, MaximisedAndMinimisedWindowsKeepTheirNormalBounds) {
    WriteSettings("[Mervok]\r\nWindow=0\r\nLeft=1500\r\nTop=1500\r\nWidth=9000\r\nHeight=6000\r\n");
    {
        auto window = Load();
        window->ShowLoaded();
        window->showMaximized();
        window->close();
    }
    Entries saved = Settings();
    EXPECT_EQ(Value(saved, "Window"), "2");
    EXPECT_EQ(Value(saved, "Left"), "1500");
    EXPECT_EQ(Value(saved, "Height"), "6000");
    {
        // The next start shows it maximised; minimising it saves 1.
        auto window = Load();
        window->ShowLoaded();
        EXPECT_TRUE(window->isMaximized());
        window->showMinimized();
        window->close();
    }
    saved = Settings();
    EXPECT_EQ(Value(saved, "Window"), "1");
    EXPECT_EQ(Value(saved, "Top"), "1500");
    {
        // ... and a start after that shows it normal, where it was.
        auto window = Load();
        window->ShowLoaded();
        EXPECT_EQ(window->windowState(), Qt::WindowNoState);
        EXPECT_EQ(PixelsToTwips(window->frameGeometry().x()), 1500);
        window->move(TwipsToPixels(3000), TwipsToPixels(2250));
        Find<QPushButton>(*window, "btnExit")->click();
        EXPECT_FALSE(window->isVisible());
    }
    saved = Settings();
    EXPECT_EQ(Value(saved, "Window"), "0");
    EXPECT_EQ(Value(saved, "Left"), "3000");
    EXPECT_EQ(Value(saved, "Top"), "2250");
}

TEST_F(StartupTest, ClosingSavesTheControlsAsTheyStand) {
    WriteSettings("[Mervok]\r\nView=3\r\n");
    auto window = Load();
    Find<QLineEdit>(*window, "txtSearchDir")->setText(QStringLiteral("  /srv/アーカイブ  "));
    Find<QCheckBox>(*window, "chkSubDir")->setChecked(true);
    Find<QCheckBox>(*window, "chkZIP")->setChecked(false);
    Find<QCheckBox>(*window, "chkNoArcCheck")->setChecked(true);
    Find<QCheckBox>(*window, "chkSFXIcon")->setChecked(false);
    Find<QComboBox>(*window, "cmbView")->setCurrentIndex(2);
    window->close();

    const Entries saved = Settings();
    std::vector<std::string> keys;
    for (const auto& entry : saved) {
        keys.push_back(entry.first);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "View",       "Window",      "Left",         "Top",          "Width",
                        "Height",     "SearchDir",   "SubDir",       "SearchLHA",    "SearchZIP",
                        "SearchCAB",  "SearchEXE",   "DispFileName", "CheckArchive", "ClickMode",
                        "AutoColumn", "SfxIcon",     "ListColor",    "ColorLHA",     "ColorZIP",
                        "ColorCAB",   "ColorLHASFX", "ColorZIPSFX",  "ColorCABSFX"}));
    EXPECT_EQ(Value(saved, "SearchDir"), "/srv/アーカイブ");
    EXPECT_EQ(Value(saved, "SubDir"), "1");
    EXPECT_EQ(Value(saved, "SearchZIP"), "0");
    EXPECT_EQ(Value(saved, "CheckArchive"), "1");
    EXPECT_EQ(Value(saved, "View"), "2");
}

TEST_F(StartupTest, FormatBoxesFollowTheLibrariesPresent) {
    WriteSettings("[Mervok]\r\nSearchLHA=0\r\n");
    test::VersionOnlyLibrary oldCab(89);
    {
        auto window = Load(ArchiverSet{nullptr, nullptr, &oldCab});
        EXPECT_FALSE(Find<QCheckBox>(*window, "chkLHA")->isEnabled());
        EXPECT_FALSE(Find<QCheckBox>(*window, "chkZIP")->isEnabled());
        EXPECT_TRUE(Find<QCheckBox>(*window, "chkCAB")->isEnabled());
        EXPECT_FALSE(Find<QCheckBox>(*window, "chkEXE")->isEnabled());
        EXPECT_EQ(window->Startup().libraries.cab, 89);
        // A run leaves the boxes of missing libraries disabled.
        window->EnableSearchControls(false);
        window->EnableSearchControls(true);
        EXPECT_FALSE(Find<QCheckBox>(*window, "chkZIP")->isEnabled());
        EXPECT_TRUE(Find<QCheckBox>(*window, "chkCAB")->isEnabled());
    }
    test::VersionOnlyLibrary newCab(90);
    auto window = Load(ArchiverSet{nullptr, nullptr, &newCab});
    EXPECT_TRUE(Find<QCheckBox>(*window, "chkEXE")->isEnabled());
}

}  // namespace
}  // namespace mervok
