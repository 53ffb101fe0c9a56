// The window's hand-off of hits to the viewer. The stand-in viewer writes
// down what it was asked to open.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <chrono>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "support/hits.h"
#include "ui/about_dialog.h"
#include "ui/centered_msg_box.h"
#include "ui/folder_browser.h"
#include "ui/frm_mervok.h"
#include "ui/message_box.h"
#include "ui/result_list.h"
#include "ui/viewer_hand_off.h"

namespace mervok {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Find;
using testing::ReadBytes;

const std::string kShiftJisName = "\x83\x65\x83\x58\x83\x67 $(x).lzh";  // "テスト $(x).lzh"

class WindowHandOffTest : public test::WindowTest {
  protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        mProgram.Write("Quorvix.exe", "#!/bin/sh\nprintf '%s\\0' \"${1-<no archive>}\" >> '" +
                                          mProgram.File("opened") + "'\n");
        fs::permissions(mProgram.File("Quorvix.exe"), fs::perms::owner_all);
    }

    // The window over the program folder, its list holding three hits.
    void OpenWithHits(int prevInstance = 1) {
        mProgram.Write("Quorvix.ini",
                       "[Option]\r\nPrevInstance=" + std::to_string(prevInstance) + "\r\n");
        Open();
        std::vector<FoundArchive> hits;
        for (const std::string& name :
             {std::string("a b.zip"), kShiftJisName, std::string("c.cab")}) {
            mData.Write(name, "x");
            hits.push_back(testing::Hit(mData.Folder(), name, 1, ArchiveKind::Zip, ""));
        }
        mList = Control<ResultList>("lsvArchive");
        mList->Fill(std::move(hits), RowStyle{});
        Control<QComboBox>("cmbView")->setCurrentIndex(ResultList::kDetails);
        mView = mList->DetailsView();
        QCoreApplication::processEvents();
    }

    QPoint RowCentre(int row) const { return test::RowCentre(mView, row); }
    QPoint Empty() const { return QPoint(10, mView->viewport()->height() - 5); }
    void Click(QPoint point, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(mView->viewport(), button, {}, point);
    }
    // A double click as the window system reports it: a click, then the
    // second press as a double click.
    void DoubleClick(QPoint point) {
        QTest::mouseClick(mView->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(mView->viewport(), Qt::LeftButton, {}, point);
    }

    // What the viewers started since the last look were asked to open, once
    // `count` of them have written it down. One opened too many shows at a
    // later look.
    std::multiset<std::string> Opened(std::size_t count) {
        std::vector<std::string> all;
        testing::WaitUntil([&] {
            std::istringstream record(ReadBytes(mProgram.File("opened")));
            all.clear();
            for (std::string path; std::getline(record, path, '\0');) {
                all.push_back(path);
            }
            return all.size() >= mSeen + count;
        });
        std::multiset<std::string> opened(all.begin() + static_cast<long>(mSeen), all.end());
        mSeen = all.size();
        return opened;
    }
    std::multiset<std::string> Selected() const {
        return {mList->SelectedPath().value_or("<none>")};
    }
    QCheckBox* ClickMode() { return Control<QCheckBox>("chkClick"); }

    ResultList* mList = nullptr;
    QTreeView* mView = nullptr;
    std::size_t mSeen = 0;
};

TEST_F(WindowHandOffTest, ClickModesAndEnterOpenTheRowsRealFile) {
    OpenWithHits();
    ClickMode()->setChecked(true);
    EXPECT_TRUE(mList->HoverSelection());
    Click(RowCentre(1));
    EXPECT_EQ(Opened(1), Selected());
    Click(Empty());
    Click(RowCentre(2), Qt::RightButton);
    Click(RowCentre(2), Qt::MiddleButton);
    EXPECT_TRUE(Opened(0).empty());
    DoubleClick(RowCentre(0));  // one click and one double click: opens once
    EXPECT_EQ(Opened(1), Selected());

    ClickMode()->setChecked(false);
    EXPECT_FALSE(mList->HoverSelection());
    Click(RowCentre(2));
    DoubleClick(Empty());
    EXPECT_TRUE(Opened(0).empty()) << "a single click only selects";
    std::multiset<std::string> opened;
    for (int row = 0; row < 3; ++row) {
        DoubleClick(RowCentre(row));
        opened.insert(mList->SelectedPath().value_or(""));
    }
    EXPECT_EQ(Opened(3), opened);
    EXPECT_EQ(opened.count(mData.File(kShiftJisName)), 1u) << ::testing::PrintToString(opened);

    for (bool singleClick : {true, false}) {
        ClickMode()->setChecked(singleClick);
        mView->setFocus();
        mView->setCurrentIndex(mView->model()->index(2, 0));
        QTest::keyClick(mView, Qt::Key_Return);
        EXPECT_EQ(Opened(1), Selected()) << singleClick;
    }
    mList->SelectionModel()->clear();
    QTest::keyClick(mView, Qt::Key_Return);
    EXPECT_TRUE(Opened(0).empty()) << "no selected row, nothing opens";

    // The options button starts the viewer alone, and the next open still
    // closes the viewer of the last archive.
    const pid_t last = mWindow->HandOff()->Launcher().LastViewerTaskId();
    EXPECT_NE(last, 0);
    Control<QPushButton>("btnOption")->click();
    EXPECT_EQ(Opened(1), std::multiset<std::string>{"<no archive>"});
    EXPECT_EQ(mWindow->HandOff()->Launcher().LastViewerTaskId(), last);
    EXPECT_TRUE(MessageBox::TakeShown().empty());
}

TEST_F(WindowHandOffTest, MissingViewerIsToldInACentredStopBoxEveryTime) {
    OpenWithHits();
    fs::remove(mProgram.File("Quorvix.exe"));
    MessageBox::QueueAnswer(MsgAnswer::Ok);
    MessageBox::QueueAnswer(MsgAnswer::Ok);
    DoubleClick(RowCentre(0));
    Control<QPushButton>("btnOption")->click();
    const std::vector<ShownMessage> shown = MessageBox::TakeShown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[1].text.startsWith(QStringLiteral("Quorvix 起動エラー !!")));
    EXPECT_EQ(shown[1].style, (MsgStyle{MsgButtons::Ok, MsgIcon::Stop}));
}

TEST_F(WindowHandOffTest, BrowseOpensOnTheFolderAndTakesTheChoiceAboutOpensTheDialog) {
    // Where the browser opens is its own affair; the window only hands it the box.
    Open();
    SetFolderDialogFunction([](QWidget*, const QString&, const QString&) { return "/"; });
    Control<QPushButton>("btnBrowse")->click();
    SetFolderDialogFunction({});
    EXPECT_EQ(Control<QLineEdit>("txtSearchDir")->text(), "/");

    Control<QPushButton>("btnAbout")->click();
    auto* dialog = mWindow->findChild<frmAbout*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isModal());
    Find<QPushButton>(*dialog, "Command1")->click();
}

}  // namespace
}  // namespace mervok
