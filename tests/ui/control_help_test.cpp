#include "ui/control_help.h"

#include <QApplication>
#include <QCheckBox>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QTreeView>
#include <QWhatsThis>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "app/help_file.h"
#include "app/program_folder.h"
#include "gui_test_support.h"
#include "ui/frm_mervok.h"
#include "ui/result_list.h"
#include "ui/tool_tip.h"

namespace mervok {
namespace {

namespace fs = std::filesystem;

class ControlHelpTest : public test::WindowTest {
  protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        fs::copy_file(fs::path(MERVOK_DIST_DIR) / "mervok.hlp",
                      HelpFilePath(mProgram.Folder(), ProgramFileName()));
        Open();
        mHelp = mWindow->Help();
        ASSERT_NE(mHelp, nullptr);
        mHelp->mShowTopic = [this](int topic, QWidget* control) {
            mShown.emplace_back(topic, control);
        };
    }

    void TearDown() override {
        if (QWhatsThis::inWhatsThisMode()) {
            QWhatsThis::leaveWhatsThisMode();
        }
        QWhatsThis::hideText();
        QToolTip::hideText();
        test::WindowTest::TearDown();
    }

    // The topic a right click at point (the control's centre by default)
    // shows, 0 when none.
    int RightClickTopic(QWidget* widget, QPoint point = {}) {
        mShown.clear();
        QTest::mouseClick(widget, Qt::RightButton, {},
                          point.isNull() ? widget->rect().center() : point);
        if (mShown.empty()) {
            return 0;
        }
        EXPECT_EQ(mShown.size(), 1u) << "one click, one topic";
        return mShown.front().first;
    }

    // A point of the extension frame that none of its boxes covers.
    QPoint EmptyPartOf(QWidget* widget) {
        for (int y = widget->height() - 2; y > 0; --y) {
            for (int x = widget->width() - 2; x > 0; --x) {
                if (widget->childAt(x, y) == nullptr) {
                    return {x, y};
                }
            }
        }
        ADD_FAILURE() << "no empty spot";
        return {};
    }

    ControlHelp* mHelp = nullptr;
    std::vector<std::pair<int, QWidget*>> mShown;
};

TEST_F(ControlHelpTest, RightClickShowsEachControlsTopic) {
    const std::map<std::string, int> expected = {
        {"Label1", 2},        {"chkSubDir", 3}, {"btnSearch", 4},      {"chkLHA", 5},
        {"chkZIP", 5},        {"chkCAB", 5},    {"chkEXE", 5},         {"chkNoFileName", 6},
        {"chkNoArcCheck", 7}, {"chkClick", 8},  {"btnOption", 9},      {"btnAbout", 10},
        {"chkListColor", 11}, {"Label2", 13},   {"chkAutoColumn", 14}, {"chkSFXIcon", 15},
        {"txtSearchDir", 0},  {"btnBrowse", 0}, {"cmbView", 0},        {"btnHelp", 0},
        {"btnExit", 0},
    };
    for (const auto& [name, topic] : expected) {
        EXPECT_EQ(RightClickTopic(Control(name.c_str())), topic) << name;
    }
    // The list's views and empty parts of the extension frame.
    auto* list = Control<ResultList>("lsvArchive");
    EXPECT_EQ(RightClickTopic(list->DetailsView()->viewport()), 12);
    EXPECT_EQ(RightClickTopic(list->IconView()->viewport()), 12);
    QWidget* picture = Control("picXpStyle(1)");
    EXPECT_EQ(RightClickTopic(picture, EmptyPartOf(picture)), 5);
    QWidget* frame = Control("Frame1");
    EXPECT_EQ(RightClickTopic(frame, QPoint(2, frame->height() - 2)), 5);

    // The right click does not toggle; left and middle clicks show nothing.
    auto* box = Control<QCheckBox>("chkLHA");
    const bool ticked = box->isChecked();
    EXPECT_EQ(RightClickTopic(box), 5);
    EXPECT_EQ(box->isChecked(), ticked);
    mShown.clear();
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    EXPECT_NE(box->isChecked(), ticked);
    QTest::mouseClick(box, Qt::MiddleButton);
    mHelp->ShowControlHelp(Qt::LeftButton, box);
    EXPECT_TRUE(mShown.empty());

    // What's-This texts come from the help file.
    EXPECT_TRUE(mHelp->TopicText(2).contains("検索するフォルダ"));
    EXPECT_EQ(Control("txtSearchDir")->whatsThis(), mHelp->TopicText(2));
    EXPECT_EQ(Control("cmbView")->whatsThis(), mHelp->TopicText(13));
    EXPECT_EQ(Control("btnExit")->whatsThis(), "ヘルプはありません。");
}

TEST_F(ControlHelpTest, FiveTwoLineHints) {
    const clsToolTip* tips[] = {mHelp->mTipEXE, mHelp->mTipNoArcCheck, mHelp->mTipClick,
                                mHelp->mTipAutoColumn, mHelp->mTipSFXIcon};
    ASSERT_EQ(TwoLineHints().size(), std::size(tips));
    for (std::size_t i = 0; i < std::size(tips); ++i) {
        const TwoLineHint& hint = TwoLineHints()[i];
        ASSERT_NE(tips[i], nullptr) << hint.checkBox;
        QWidget* box = Control(hint.checkBox);
        EXPECT_EQ(tips[i]->phWnd()->parentWidget(), box) << hint.checkBox;
        EXPECT_EQ(tips[i]->pToolCount(), 1);
        EXPECT_EQ(tips[i]->pMaxWidth(), 300);
        EXPECT_EQ(tips[i]->pToolWidth(1), box->width()) << "covers the whole check box";
    }
    EXPECT_EQ(mHelp->mTipClick->pToolText(1),
              "書庫ﾌｧｲﾙをﾏｳｽのﾎﾟｲﾝﾄで選択し、\r\nｼﾝｸﾞﾙｸﾘｯｸでQuorvixを起動します");
}

TEST_F(ControlHelpTest, HelpButtonReturnsFocusAndEntersWhatsThisMode) {
    auto* subDir = Control<QCheckBox>("chkSubDir");
    auto* search = Control<QPushButton>("btnSearch");
    subDir->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(mHelp->mLastFocusControl, subDir);
    EXPECT_EQ(mHelp->mLastFocusName, "chkSubDir");

    QTest::mouseClick(Control<QPushButton>("btnHelp"), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), subDir);
    ASSERT_TRUE(QWhatsThis::inWhatsThisMode());

    // In What's-This mode a click on the search button, sent through the
    // window as real input, explains it: nothing else happens, and the
    // keyboard focus stays where it was.
    QSignalSpy clicked(search, &QPushButton::clicked);
    const QPoint point = search->mapTo(mWindow.get(), search->rect().center());
    QTest::mouseClick(mWindow->windowHandle(), Qt::LeftButton, {}, point);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(QApplication::focusWidget(), subDir);
    EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    EXPECT_STREQ(popup->metaObject()->className(), "QWhatsThat");
    // Escape closes the topic; Space then works on the box, not the search.
    QTest::keyClick(popup, Qt::Key_Escape);
    const bool ticked = subDir->isChecked();
    MessageBox::QueueAnswer(MsgAnswer::Ok);  // a search would complain about the empty folder box
    QTest::keyClick(mWindow->windowHandle(), Qt::Key_Space);
    EXPECT_NE(subDir->isChecked(), ticked);
    EXPECT_TRUE(MessageBox::TakeShown().empty());

    // The record follows the table: the list's view by the list's name, the
    // help button by its name only.
    auto* help = Control("btnHelp");
    auto* details = Control<ResultList>("lsvArchive")->DetailsView();
    details->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(mHelp->mLastFocusName, "lsvArchive");
    EXPECT_EQ(mHelp->mLastFocusControl, details);

    help->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(mHelp->mLastFocusName, "btnHelp") << "name only";
    EXPECT_EQ(mHelp->mLastFocusControl, details);

    // A control that cannot take the focus now keeps it where it is.
    details->setEnabled(false);
    mHelp->btnHelp_Click();
    EXPECT_EQ(QApplication::focusWidget(), help);
    EXPECT_TRUE(QWhatsThis::inWhatsThisMode());
}

TEST(ControlHelpWithoutFileTest, MissingHelpGivesThePlainAnswer) {
    QWidget window;
    QPushButton* search = new QPushButton("検索(&I)", &window);
    search->setObjectName("btnSearch");
    auto* help = new ControlHelp(&window, HelpFile::Load("/nonexistent/mervok.hlp"));
    help->SetUp();
    EXPECT_EQ(help->TopicText(4), "ヘルプはありません。");
    EXPECT_EQ(search->whatsThis(), "ヘルプはありません。");
    window.show();
    // The real pop-up, not a hook: it must come up without any help file.
    help->ShowControlHelp(Qt::RightButton, search);
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    EXPECT_STREQ(popup->metaObject()->className(), "QWhatsThat");
    QWhatsThis::hideText();
}

}  // namespace
}  // namespace mervok
