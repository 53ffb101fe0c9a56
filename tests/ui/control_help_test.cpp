#include "ui/control_help.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWhatsThis>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "ui/tool_tip.h"

namespace mervok {
namespace {

// The main window's controls that carry help, by name, in a plain window.
class HelpWindow : public QWidget {
  public:
    HelpWindow() {
        auto* layout = new QVBoxLayout(this);
        auto add = [&](QWidget* widget, const char* name) {
            widget->setObjectName(QString::fromLatin1(name));
            layout->addWidget(widget);
            return widget;
        };
        add(new QLabel("検索するフォルダ(&D)"), "Label1");
        add(new QLineEdit("/tmp"), "txtSearchDir");
        add(new QPushButton("参照(&B)..."), "btnBrowse");
        add(new QCheckBox("サブフォルダも検索(&S)"), "chkSubDir");
        add(new QPushButton("検索(&I)"), "btnSearch");
        auto* frame = static_cast<QGroupBox*>(add(new QGroupBox("処理対象の拡張子"), "Frame1"));
        frame->setMinimumHeight(160);
        auto* frameLayout = new QVBoxLayout(frame);
        frameLayout->setContentsMargins(9, 30, 9, 30);
        for (const char* name : {"chkLHA", "chkZIP", "chkCAB", "chkEXE"}) {
            auto* box = new QCheckBox(QString::fromLatin1(name).mid(3), frame);
            box->setObjectName(QString::fromLatin1(name));
            frameLayout->addWidget(box);
        }
        auto* picture = new QWidget(frame);
        picture->setObjectName("picXpStyle");
        picture->setProperty("index", 1);
        picture->setFixedSize(20, 10);
        frameLayout->addWidget(picture);
        add(new QCheckBox("検索中にファイル名を表示しない(&F)"), "chkNoFileName");
        add(new QCheckBox("書庫の正当性とドキュメントの有無をチェックをしない(&T)"),
            "chkNoArcCheck");
        add(new QCheckBox("ポイントで選択し、シングルクリックで起動する(&P)"), "chkClick");
        add(new QPushButton("ｵﾌﾟｼｮﾝ(&O)..."), "btnOption");
        add(new QPushButton("ﾊﾞｰｼﾞｮﾝ(&A)..."), "btnAbout");
        add(new QCheckBox("書庫形式で色分け表示する(&J)"), "chkListColor");
        auto* list = static_cast<QListView*>(add(new QListView, "lsvArchive"));
        list->setModel(new QStringListModel({"a.lzh", "b.zip"}, list));
        add(new QLabel("表示(&V)"), "Label2");
        add(new QComboBox, "cmbView");
        add(new QCheckBox("列幅自動調節(&W)"), "chkAutoColumn");
        add(new QCheckBox("自己解凍書庫のアイコンを取得しない(&G)"), "chkSFXIcon");
        add(new QPushButton("ﾍﾙﾌﾟ(&H)"), "btnHelp");
        add(new QPushButton("終了(&X)"), "btnExit");
    }

    template <typename T = QWidget>
    T* Find(const char* name) {
        if (QString::fromLatin1(name) == QLatin1String("picXpStyle1")) {
            return qobject_cast<T*>(findChild<QWidget*>("picXpStyle"));
        }
        return findChild<T*>(QString::fromLatin1(name));
    }
};

HelpFile ShippedHelp() {
    return HelpFile::Load((std::filesystem::path(MERVOK_DIST_DIR) / "mervok.hlp").string());
}

class ControlHelpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mHelp = new ControlHelp(&mWindow, ShippedHelp());
        mHelp->mShowTopic = [this](int topic, QWidget* control) {
            mShown.emplace_back(topic, control);
        };
        mHelp->SetUp();
        mWindow.show();
        QApplication::setActiveWindow(&mWindow);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&mWindow));
    }

    void TearDown() override {
        if (QWhatsThis::inWhatsThisMode()) {
            QWhatsThis::leaveWhatsThisMode();
        }
        QWhatsThis::hideText();
    }

    // The topic shown by a right click at point (the control's centre by
    // default), 0 when none.
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

    HelpWindow mWindow;
    ControlHelp* mHelp = nullptr;
    std::vector<std::pair<int, QWidget*>> mShown;
};

TEST_F(ControlHelpTest, RightClickShowsEachControlsTopic) {
    const std::map<std::string, int> expected = {
        {"Label1", 2},        {"chkSubDir", 3},     {"btnSearch", 4}, {"picXpStyle1", 5},
        {"chkLHA", 5},        {"chkZIP", 5},        {"chkCAB", 5},    {"chkEXE", 5},
        {"chkNoFileName", 6}, {"chkNoArcCheck", 7}, {"chkClick", 8},  {"btnOption", 9},
        {"btnAbout", 10},     {"chkListColor", 11}, {"Label2", 13},   {"chkAutoColumn", 14},
        {"chkSFXIcon", 15},   {"txtSearchDir", 0},  {"btnBrowse", 0}, {"cmbView", 0},
        {"btnHelp", 0},       {"btnExit", 0},
    };
    for (const auto& [name, topic] : expected) {
        QWidget* control = mWindow.Find(name.c_str());
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(RightClickTopic(control), topic) << name;
    }
}

TEST_F(ControlHelpTest, RightClickOnInnerPartsAndEmptyFrame) {
    auto* list = mWindow.Find<QListView>("lsvArchive");
    EXPECT_EQ(RightClickTopic(list->viewport()), 12) << "the list's viewport gets the click";
    auto* frame = mWindow.Find("Frame1");
    QPoint empty(frame->width() - 3, frame->height() - 5);
    ASSERT_EQ(frame->childAt(empty), nullptr);
    EXPECT_EQ(RightClickTopic(frame, empty), 5);
}

TEST_F(ControlHelpTest, RightClickDoesNotToggleLeftClickShowsNothing) {
    auto* box = mWindow.Find<QCheckBox>("chkLHA");
    ASSERT_FALSE(box->isChecked());
    EXPECT_EQ(RightClickTopic(box), 5);
    EXPECT_FALSE(box->isChecked());
    mShown.clear();
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));  // on the box
    EXPECT_TRUE(box->isChecked());
    QTest::mouseClick(box, Qt::MiddleButton);
    EXPECT_TRUE(mShown.empty());
    mHelp->ShowControlHelp(Qt::LeftButton, box);
    EXPECT_TRUE(mShown.empty());
    mHelp->ShowControlHelp(Qt::RightButton, box);
    ASSERT_EQ(mShown.size(), 1u);
    EXPECT_EQ(mShown[0], std::make_pair(5, static_cast<QWidget*>(box)));
}

TEST_F(ControlHelpTest, OneLineToolTips) {
    EXPECT_EQ(mWindow.Find("btnBrowse")->toolTip(), "検索するフォルダを選択");
    EXPECT_EQ(mWindow.Find("Frame1")->toolTip(), "１形式だけの検索が最も高速です");
    EXPECT_EQ(mWindow.Find("picXpStyle1")->toolTip(), "１形式だけの検索が最も高速です");
    EXPECT_EQ(mWindow.Find("chkNoFileName")->toolTip(), "若干高速になります");
    EXPECT_EQ(mWindow.Find("btnOption")->toolTip(), "Quorvixを起動");
    EXPECT_EQ(mWindow.Find("btnAbout")->toolTip(), "Archive Search for Quorvix について...");
    EXPECT_EQ(mWindow.Find("btnHelp")->toolTip(), "コンテキストヘルプを表示");
    EXPECT_TRUE(mWindow.Find("chkLHA")->toolTip().isEmpty());
}

TEST_F(ControlHelpTest, ControlWithoutTipDoesNotShowItsFramesTip) {
    QWidget* box = mWindow.Find("chkLHA");
    QHelpEvent overBox(QEvent::ToolTip, {3, 3}, box->mapToGlobal(QPoint(3, 3)));
    QApplication::sendEvent(box, &overBox);
    EXPECT_FALSE(QToolTip::isVisible());

    QWidget* frame = mWindow.Find("Frame1");
    QPoint empty(frame->width() - 3, frame->height() - 5);
    QHelpEvent overFrame(QEvent::ToolTip, empty, frame->mapToGlobal(empty));
    QApplication::sendEvent(frame, &overFrame);
    EXPECT_EQ(QToolTip::text(), "１形式だけの検索が最も高速です");
    QToolTip::hideText();
}

TEST_F(ControlHelpTest, FiveTwoLineHints) {
    struct Expected {
        clsToolTip* tip;
        const char* box;
        const char* text;
    };
    const Expected expected[] = {
        {mHelp->mTipEXE, "chkEXE", "CAB32.DLL v0.90 以上であれば\r\nCAB形式自己解凍書庫も判別可能"},
        {mHelp->mTipNoArcCheck, "chkNoArcCheck",
         "かなり高速になりますが、書庫でないEXEや\r\nﾄﾞｷｭﾒﾝﾄのない書庫が抽出されます"},
        {mHelp->mTipClick, "chkClick",
         "書庫ﾌｧｲﾙをﾏｳｽのﾎﾟｲﾝﾄで選択し、\r\nｼﾝｸﾞﾙｸﾘｯｸでQuorvixを起動します"},
        {mHelp->mTipAutoColumn, "chkAutoColumn",
         "列の幅を文字列の長さに\r\n合わせて自動的に調節します"},
        {mHelp->mTipSFXIcon, "chkSFXIcon", "ﾘｿｰｽ不足の問題がある\r\n場合はﾁｪｯｸしてください"},
    };
    for (const Expected& hint : expected) {
        ASSERT_NE(hint.tip, nullptr) << hint.box;
        QWidget* box = mWindow.Find(hint.box);
        EXPECT_EQ(hint.tip->phWnd()->parentWidget(), box) << hint.box;
        EXPECT_EQ(hint.tip->pToolCount(), 1);
        EXPECT_EQ(hint.tip->pToolText(1), QString::fromUtf8(hint.text));
        EXPECT_EQ(hint.tip->pMaxWidth(), 300);
        EXPECT_EQ(hint.tip->pToolWidth(1), box->width()) << "covers the whole check box";
    }

    // Resting on chkClick shows both lines.
    QWidget* box = mWindow.Find("chkClick");
    mHelp->mTipClick->pInitialTime(0);
    QEnterEvent enter(QPointF(4, 4), box->mapToGlobal(QPointF(4, 4)),
                      box->mapToGlobal(QPointF(4, 4)));
    QApplication::sendEvent(box, &enter);
    EXPECT_EQ(mHelp->mTipClick->ShownText().section('\n', 1), "ｼﾝｸﾞﾙｸﾘｯｸでQuorvixを起動します");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(box, &leave);
}

TEST_F(ControlHelpTest, WhatsThisTextsComeFromTheHelpFile) {
    EXPECT_EQ(mWindow.Find("txtSearchDir")->whatsThis(), mHelp->TopicText(2));
    EXPECT_EQ(mWindow.Find("Label1")->whatsThis(), mHelp->TopicText(2));
    EXPECT_EQ(mWindow.Find("cmbView")->whatsThis(), mHelp->TopicText(13));
    EXPECT_EQ(mWindow.Find("Label2")->whatsThis(), mHelp->TopicText(13));
    EXPECT_EQ(mWindow.Find("lsvArchive")->whatsThis(), mHelp->TopicText(12));
    EXPECT_TRUE(mHelp->TopicText(4).contains("検索"));
    EXPECT_NE(mHelp->TopicText(4), mHelp->TopicText(5));
    EXPECT_EQ(mWindow.Find("btnExit")->whatsThis(), "ヘルプはありません。");
    EXPECT_EQ(mWindow.whatsThis(), "ヘルプはありません。");
}

TEST_F(ControlHelpTest, HelpButtonReturnsFocusAndEntersWhatsThisMode) {
    auto* subDir = mWindow.Find("chkSubDir");
    auto* help = mWindow.Find<QPushButton>("btnHelp");
    auto* search = mWindow.Find<QPushButton>("btnSearch");
    QObject::connect(help, &QPushButton::clicked, mHelp, &ControlHelp::btnHelp_Click);

    subDir->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(mHelp->mLastFocusControl, subDir);
    EXPECT_EQ(mHelp->mLastFocusName, "chkSubDir");

    QTest::mouseClick(help, Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), subDir);
    EXPECT_EQ(mHelp->mLastFocusControl, subDir);
    ASSERT_TRUE(QWhatsThis::inWhatsThisMode());

    // In What's-This mode a click on the search button explains it instead
    // of searching.
    QSignalSpy clicked(search, &QPushButton::clicked);
    QTest::mouseClick(search, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    EXPECT_STREQ(popup->metaObject()->className(), "QWhatsThat");
}

TEST_F(ControlHelpTest, FocusRecordFollowsTheTable) {
    auto* help = mWindow.Find("btnHelp");
    auto* list = mWindow.Find<QListView>("lsvArchive");
    list->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(mHelp->mLastFocusName, "lsvArchive");
    EXPECT_EQ(mHelp->mLastFocusControl, list);

    help->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(mHelp->mLastFocusName, "btnHelp") << "name only";
    EXPECT_EQ(mHelp->mLastFocusControl, list);

    // A control that cannot take the focus now keeps it where it is.
    list->setEnabled(false);
    mHelp->btnHelp_Click();
    EXPECT_EQ(QApplication::focusWidget(), help);
    EXPECT_TRUE(QWhatsThis::inWhatsThisMode());
}

TEST(ControlHelpWithoutFileTest, MissingHelpGivesPlainAnswer) {
    HelpWindow window;
    auto* help = new ControlHelp(&window, HelpFile::Load("/nonexistent/mervok.hlp"));
    help->SetUp();
    EXPECT_EQ(help->TopicText(4), "ヘルプはありません。");
    EXPECT_EQ(window.Find("btnSearch")->whatsThis(), "ヘルプはありません。");
    window.show();
    // The real pop-up, not a hook: it must come up without any help file.
    help->ShowControlHelp(Qt::RightButton, window.Find("btnSearch"));
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    EXPECT_STREQ(popup->metaObject()->className(), "QWhatsThat");
    QWhatsThis::hideText();
}

}  // namespace
}  // namespace mervok
