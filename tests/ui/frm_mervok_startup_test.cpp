#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/settings_store.h"
#include "gui_test_support.h"
#include "ui/control_help.h"
#include "ui/frm_mervok.h"
#include "ui/message_box.h"
#include "ui/result_list.h"
#include "ui/twips.h"

namespace mervok {
namespace {

using testing::ReadBytes;
// What the settings file holds under a key of section "Mervok".
std::string Stored(const std::filesystem::path& file, const char* key) {
    return SettingsStore(file.string()).GetString("Mervok", key, "<none>");
}

using StartupTest = test::WindowTest;

TEST_F(StartupTest, FirstStartShowsTheDefaultsTakesKeysInTheFolderBoxAndSavesTheOuterSize) {
    frmMERVOK& window = Open();
    EXPECT_EQ(Stored(IniPath(), "ColorCABSFX"), "FF66CC") << "the first run wrote the defaults";
    EXPECT_EQ(PixelsToTwips(window.width()), 8145);
    EXPECT_EQ(PixelsToTwips(window.height()), 6315);
    EXPECT_EQ(Control<QComboBox>("cmbView")->currentText(), QStringLiteral("詳細"));
    EXPECT_EQ(Control<ResultList>("lsvArchive")->View(), ResultList::kDetails);
    EXPECT_EQ(window.Colors().cab, 0x9900FFu);  // red 255, blue 153
    EXPECT_TRUE(Control("ProgressBar1")->isHidden());
    EXPECT_TRUE(MessageBox::TakeShown().empty());

    // The frame is known once the window is shown: the outer size is what
    // the file holds, as after every later close.
    const QRect frame = window.frameGeometry();
    ASSERT_GT(frame.width(), window.width()) << "the test platform draws frames";
    EXPECT_EQ(Stored(IniPath(), "Width"), std::to_string(PixelsToTwips(frame.width())));
    EXPECT_EQ(Stored(IniPath(), "Height"), std::to_string(PixelsToTwips(frame.height())));
    EXPECT_EQ(Stored(IniPath(), "Left"), std::to_string(PixelsToTwips(frame.x())));

    // Typing right after the start goes into the folder box; Tab then walks
    // the design's order, the list last.
    EXPECT_EQ(QApplication::focusWidget(), Control("txtSearchDir"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("/srv"));
    EXPECT_EQ(Control<QLineEdit>("txtSearchDir")->text(), QStringLiteral("/srv"));
    const char* order[] = {"btnBrowse",     "chkSubDir",     "btnSearch",        "chkLHA",
                           "chkZIP",        "chkCAB",        "chkEXE",           "cmbView",
                           "chkNoFileName", "chkNoArcCheck", "chkClick",         "chkAutoColumn",
                           "chkSFXIcon",    "chkListColor",  "btnOption",        "btnAbout",
                           "btnHelp",       "btnExit",       "lsvArchiveDetails"};
    for (const char* name : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(name));
    }
    // Tab into the folder box selects its whole text; a click into it places
    // the caret.
    auto* box = Control<QLineEdit>("txtSearchDir");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), box);
    EXPECT_EQ(box->selectedText(), QStringLiteral("/srv"));
    Control("btnExit")->setFocus();
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
    EXPECT_EQ(QApplication::focusWidget(), box);
    EXPECT_FALSE(box->hasSelectedText());
    // The two labels hand their access keys to the control they name.
    EXPECT_EQ(Control<QLabel>("Label1")->buddy(), Control("txtSearchDir"));
    EXPECT_EQ(Control<QLabel>("Label2")->buddy(), Control("cmbView"));
}

TEST_F(StartupTest, WithoutTheViewersSettingsFileTheProgramOnlyTellsAndEnds) {
    std::filesystem::remove(mProgram.File("Quorvix.ini"));
    MessageBox::QueueAnswer(MsgAnswer::Ok);
    frmMERVOK window(mProgram.Folder(), test::RealLibraries().Set());
    EXPECT_FALSE(window.Form_Load());

    const std::vector<ShownMessage> shown = MessageBox::TakeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text,
              QStringLiteral("Quorvix.ini が見つかりません。\r\n\r\n"
                             "このプログラムは Quorvix.exe と同じ場所に置いてください。"));
    EXPECT_EQ(shown[0].style, (MsgStyle{MsgButtons::Ok, MsgIcon::Stop}));
    EXPECT_EQ(shown[0].title, QStringLiteral("Archive Search for Quorvix"));
    EXPECT_FALSE(window.isVisible());
    // Closing what was never loaded writes nothing either.
    window.close();
    EXPECT_FALSE(std::filesystem::exists(IniPath()));
}

TEST_F(StartupTest,
       SettingsSomeoneElseCouldHavePlantedAreNeitherReadNorWrittenAndTheStatusSaysWhy) {
    // Mervok.ini a link to a file elsewhere: that file is neither the
    // settings nor written; the window runs on its defaults.
    const std::string target = mData.Write("profile", "[Mervok]\nView=0\n");
    ASSERT_EQ(symlink(target.c_str(), IniPath().c_str()), 0);
    Open();
    EXPECT_EQ(Control<QComboBox>("cmbView")->currentText(), QStringLiteral("詳細"));
    EXPECT_EQ(
        Control<QLabel>("Panel1")->text().toStdString(),
        "設定ファイル " + IniPath() +
            " はリンクか、別のユーザーのものです。設定は読み書きせず、既定の設定で動きます。");
    mWindow->close();
    EXPECT_EQ(ReadBytes(target), "[Mervok]\nView=0\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mData.Path()), {}), 1);

    // A folder others may write to: nothing is read or written there, and a
    // missing Quorvix.ini no longer counts as a broken installation.
    std::filesystem::remove(IniPath());
    std::filesystem::remove(mProgram.File("Quorvix.ini"));
    ASSERT_EQ(chmod(mProgram.Path().c_str(), 0777), 0);
    Open();
    EXPECT_TRUE(Control<QLabel>("Panel1")->text().startsWith(
        QStringLiteral("設定フォルダ %1 には他のユーザーも書き込めます。")
            .arg(QString::fromStdString(mProgram.Folder()))));
    mWindow->close();
    EXPECT_FALSE(std::filesystem::exists(IniPath()));
    EXPECT_TRUE(MessageBox::TakeShown().empty());
}

TEST_F(StartupTest, TheHelpFileBesideTheProgramOnly) {
    Open({}, false);
    // The bare name while the file is missing, never one in the current folder.
    EXPECT_EQ(mWindow->HelpFile().find('/'), std::string::npos);
    mProgram.Write(mWindow->HelpFile(), "help");
    Open({}, false);
    EXPECT_EQ(mWindow->HelpFile().rfind(mProgram.Folder(), 0), 0u) << mWindow->HelpFile();
}

TEST_F(StartupTest, SettingsReachTheControlsAndTheControlsAsTheyStandAreSaved) {
    // Each check box's key, with the value that differs from its first-run
    // default.
    const struct {
        const char* key;
        const char* box;
        bool ticked;
    } boxes[] = {{"SubDir", "chkSubDir", true},           {"SearchLHA", "chkLHA", false},
                 {"SearchZIP", "chkZIP", false},          {"SearchCAB", "chkCAB", false},
                 {"SearchEXE", "chkEXE", false},          {"DispFileName", "chkNoFileName", true},
                 {"CheckArchive", "chkNoArcCheck", true}, {"ClickMode", "chkClick", true},
                 {"AutoColumn", "chkAutoColumn", true},   {"SfxIcon", "chkSFXIcon", false},
                 {"ListColor", "chkListColor", false}};
    std::string text = "[Mervok]\r\nSearchDir=/srv/アーカイブ\r\nView=1\r\nColorZIP=0000ff\r\n";
    for (const auto& box : boxes) {
        text += std::string(box.key) + (box.ticked ? "=1\r\n" : "=0\r\n");
    }
    testing::WriteBytes(IniPath(), text);
    frmMERVOK& window = Open();
    for (const auto& box : boxes) {
        EXPECT_EQ(Control<QCheckBox>(box.box)->isChecked(), box.ticked) << box.box;
    }
    // The stored folder is selected, as after any focus move of the program.
    EXPECT_EQ(Control<QLineEdit>("txtSearchDir")->selectedText(),
              QStringLiteral("/srv/アーカイブ"));
    EXPECT_EQ(Control<QComboBox>("cmbView")->currentText(), QStringLiteral("小さいｱｲｺﾝ"));
    EXPECT_EQ(window.Colors().zip, 0xFF0000u);
    // The handlers ran as the values were applied, and chkClick keeps the
    // list's hover selection in step afterwards too.
    auto* list = Control<ResultList>("lsvArchive");
    EXPECT_EQ(list->View(), ResultList::kSmallIcons);
    EXPECT_TRUE(list->AutoColumnWidth());
    EXPECT_TRUE(list->HoverSelection());
    Control<QCheckBox>("chkClick")->click();
    EXPECT_FALSE(list->HoverSelection());

    // A session checkpoint saves and leaves the window as it was; what
    // changes afterwards is saved by the real close.
    ASSERT_NE(window.Help(), nullptr);
    window.Session_CommitData();
    EXPECT_EQ(Stored(IniPath(), "ClickMode"), "0");
    EXPECT_EQ(Stored(IniPath(), "View"), "1");
    EXPECT_NE(window.Help(), nullptr) << "the hints stay";
    EXPECT_TRUE(window.isVisible());
    for (const auto& box : boxes) {
        Control<QCheckBox>(box.box)->setChecked(!box.ticked);
    }
    Control<QComboBox>("cmbView")->setCurrentIndex(2);
    Control<QLineEdit>("txtSearchDir")->setText(QStringLiteral("  /data/書庫  "));
    window.close();
    for (const auto& box : boxes) {
        EXPECT_EQ(Stored(IniPath(), box.key), box.ticked ? "0" : "1") << box.key;
    }
    EXPECT_EQ(Stored(IniPath(), "SearchDir"), "/data/書庫");
    EXPECT_EQ(Stored(IniPath(), "View"), "2");
    EXPECT_EQ(Stored(IniPath(), "ColorZIP"), "0000FF");
}

TEST_F(StartupTest, BoundsStayOnTheScreenAndMaximisedOrMinimisedWindowsKeepThem) {
    // Top=8000 is pulled up onto the 12000 x 9000 twip test screen (the rule
    // itself is the layout's).
    testing::WriteBytes(IniPath(),
                        "[Mervok]\r\nLeft=1500\r\nTop=8000\r\nWidth=9000\r\nHeight=6000\r\n");
    Open();
    EXPECT_EQ(PixelsToTwips(mWindow->frameGeometry().y()), 2700);
    mWindow->showMaximized();
    mWindow->close();
    EXPECT_EQ(Stored(IniPath(), "Window"), "2");
    EXPECT_EQ(Stored(IniPath(), "Left"), "1500");
    EXPECT_EQ(Stored(IniPath(), "Height"), "6000");
    // The next start shows it maximised; minimising it saves 1 ...
    Open();
    EXPECT_TRUE(mWindow->isMaximized());
    mWindow->showMinimized();
    mWindow->close();
    EXPECT_EQ(Stored(IniPath(), "Window"), "1");
    EXPECT_EQ(Stored(IniPath(), "Top"), "8000") << "as the file had it";
    // ... and a start after that shows it normal, where it was.
    Open();
    EXPECT_EQ(mWindow->windowState(), Qt::WindowNoState);
    EXPECT_EQ(PixelsToTwips(mWindow->frameGeometry().x()), 1500);
    EXPECT_EQ(PixelsToTwips(mWindow->frameGeometry().width()), 9000);
    mWindow->move(TwipsToPixels(3000), TwipsToPixels(2250));
    Control<QPushButton>("btnExit")->click();
    EXPECT_FALSE(mWindow->isVisible());
    EXPECT_EQ(Stored(IniPath(), "Window"), "0");
    EXPECT_EQ(Stored(IniPath(), "Left"), "3000");
    EXPECT_EQ(Stored(IniPath(), "Top"), "2250");
}

TEST_F(StartupTest, FormatBoxesFollowTheLibrariesPresent) {
    testing::WriteBytes(IniPath(), "[Mervok]\r\nSearchLHA=0\r\n");
    testing::CallLog log;
    testing::FakeArchiver cab("CAB", log);
    cab.version = 89;
    Open(ArchiverSet{nullptr, nullptr, &cab}, false);
    EXPECT_FALSE(Control("chkLHA")->isEnabled());
    EXPECT_FALSE(Control("chkZIP")->isEnabled());
    EXPECT_TRUE(Control("chkCAB")->isEnabled());
    EXPECT_FALSE(Control("chkEXE")->isEnabled());
    EXPECT_EQ(mWindow->Startup().libraries.cab, 89);
    // A run leaves the boxes of missing libraries disabled.
    mWindow->EnableSearchControls(false);
    mWindow->EnableSearchControls(true);
    EXPECT_FALSE(Control("chkZIP")->isEnabled());
    EXPECT_TRUE(Control("chkCAB")->isEnabled());
    // With only EXE ticked no chosen format is usable: a click does nothing.
    Control<QCheckBox>("chkCAB")->setChecked(false);
    Control<QLineEdit>("txtSearchDir")->setText(QString::fromStdString(mData.Path()));
    Control<QPushButton>("btnSearch")->click();
    EXPECT_FALSE(mWindow->Search().Running());
    EXPECT_EQ(Control<QLabel>("Panel2")->text(), QStringLiteral("抽出件数"));
    EXPECT_TRUE(MessageBox::TakeShown().empty());
    cab.version = 90;
    Open(ArchiverSet{nullptr, nullptr, &cab}, false);
    EXPECT_TRUE(Control("chkEXE")->isEnabled());
}

}  // namespace
}  // namespace mervok
