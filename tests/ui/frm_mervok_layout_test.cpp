#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStatusBar>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "ui/frm_mervok.h"
#include "ui/twips.h"

namespace mervok {
namespace {

using test::Find;

class FormLayoutWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { test::App(); }

    frmMERVOK mWindow{"/nonexistent/"};
};

struct Control {
    const char* name;
    const char* container;
    const char* caption;
};

TEST_F(FormLayoutWindowTest, ControlTreeCaptionsAndInitialValues) {
    const Control controls[] = {
        {"ProgressBar1", "frmMERVOK", nullptr},
        {"StatusBar1", "frmMERVOK", nullptr},
        {"lsvArchive", "frmMERVOK", nullptr},
        {"Frame2", "frmMERVOK", ""},
        {"picXpStyle(0)", "Frame2", nullptr},
        {"txtSearchDir", "picXpStyle(0)", ""},
        {"Label1", "picXpStyle(0)", "検索するフォルダ(&D)"},
        {"btnBrowse", "picXpStyle(0)", "参照(&B)..."},
        {"chkSubDir", "picXpStyle(0)", "サブフォルダも検索(&S)"},
        {"btnSearch", "picXpStyle(0)", "検索(&I)"},
        {"Frame1", "picXpStyle(0)", "処理対象の拡張子"},
        {"picXpStyle(1)", "Frame1", nullptr},
        {"chkLHA", "picXpStyle(1)", "&LZH"},
        {"chkZIP", "picXpStyle(1)", "&ZIP"},
        {"chkCAB", "picXpStyle(1)", "&CAB"},
        {"chkEXE", "picXpStyle(1)", "&EXE"},
        {"Label2", "picXpStyle(0)", "表示(&V)"},
        {"cmbView", "picXpStyle(0)", nullptr},
        {"chkNoFileName", "picXpStyle(0)", "検索中にファイル名を表示しない(&F)"},
        {"chkNoArcCheck", "picXpStyle(0)",
         "書庫の正当性とドキュメントの有無をチェックをしない(&T)"},
        {"chkClick", "picXpStyle(0)", "ポイントで選択し、シングルクリックで起動する(&P)"},
        {"chkAutoColumn", "picXpStyle(0)", "列幅自動調節(&W)"},
        {"chkSFXIcon", "picXpStyle(0)", "自己解凍書庫のアイコンを取得しない(&G)"},
        {"chkListColor", "picXpStyle(0)", "書庫形式で色分け表示する(&J)"},
        {"btnOption", "picXpStyle(0)", "ｵﾌﾟｼｮﾝ(&O)..."},
        {"btnAbout", "picXpStyle(0)", "ﾊﾞｰｼﾞｮﾝ(&A)..."},
        {"btnHelp", "picXpStyle(0)", "ﾍﾙﾌﾟ(&H)"},
        {"btnExit", "picXpStyle(0)", "終了(&X)"},
        {"imgSFX32", "picXpStyle(0)", nullptr},
        {"imgSFX16", "picXpStyle(0)", nullptr},
    };
    EXPECT_EQ(mWindow.windowTitle(), QStringLiteral("Archive Search for Quorvix"));
    const QList<QSize> iconSizes = mWindow.windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)));
    EXPECT_TRUE(iconSizes.contains(QSize(32, 32)));
    EXPECT_FALSE(mWindow.windowIcon().pixmap(32, 32).isNull());
    for (const Control& control : controls) {
        SCOPED_TRACE(control.name);
        auto* widget = Find<QWidget>(mWindow, control.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(control.container));
        if (control.caption == nullptr) {
            continue;
        }
        const QString caption = QString::fromUtf8(control.caption);
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text(), caption);
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), caption);
        } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
            EXPECT_EQ(frame->title(), caption);
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_EQ(edit->text(), caption);
        }
    }

    const std::pair<const char*, bool> ticks[] = {
        {"chkSubDir", false},     {"chkLHA", true},       {"chkZIP", true},
        {"chkCAB", true},         {"chkEXE", true},       {"chkNoFileName", false},
        {"chkNoArcCheck", false}, {"chkClick", false},    {"chkAutoColumn", false},
        {"chkSFXIcon", true},     {"chkListColor", true},
    };
    for (auto [name, ticked] : ticks) {
        EXPECT_EQ(Find<QCheckBox>(mWindow, name)->isChecked(), ticked) << name;
    }

    auto* bar = Find<QStatusBar>(mWindow, "StatusBar1");
    EXPECT_EQ(Find<QLabel>(*bar, "Panel1")->text(), QString());
    EXPECT_EQ(Find<QLabel>(*bar, "Panel2")->text(), QStringLiteral("抽出件数"));
    EXPECT_EQ(Find<QLabel>(*bar, "Panel3")->text(), QStringLiteral("処理時間"));
}

TEST_F(FormLayoutWindowTest, TabOrderFollowsTheDesign) {
    const char* order[] = {"txtSearchDir",  "btnBrowse",     "chkSubDir",     "btnSearch",
                           "chkLHA",        "chkZIP",        "chkCAB",        "chkEXE",
                           "cmbView",       "chkNoFileName", "chkNoArcCheck", "chkClick",
                           "chkAutoColumn", "chkSFXIcon",    "chkListColor",  "btnOption",
                           "btnAbout",      "btnHelp",       "btnExit"};
    QWidget* widget = Find<QWidget>(mWindow, order[0]);
    // Skips what cannot take the focus by tabbing (labels, frames, panels).
    const auto next = [](QWidget* from) {
        do {
            from = from->nextInFocusChain();
        } while (!(from->focusPolicy() & Qt::TabFocus));
        return from;
    };
    for (std::size_t i = 1; i < std::size(order); ++i) {
        widget = next(widget);
        EXPECT_EQ(widget->objectName(), QString::fromLatin1(order[i])) << "after " << order[i - 1];
    }
    // Last comes the list, in the view it shows.
    widget = next(widget);
    EXPECT_EQ(widget->parentWidget(), Find<QWidget>(mWindow, "lsvArchive"));
    // The two labels hand their access keys to the control they name.
    EXPECT_EQ(Find<QLabel>(mWindow, "Label1")->buddy(), Find<QWidget>(mWindow, "txtSearchDir"));
    EXPECT_EQ(Find<QLabel>(mWindow, "Label2")->buddy(), Find<QWidget>(mWindow, "cmbView"));
}

TEST_F(FormLayoutWindowTest, ResizingTheShownWindowMovesTheControls) {
    mWindow.show();
    EXPECT_EQ(PixelsToTwips(mWindow.width()), 8145);
    EXPECT_EQ(PixelsToTwips(mWindow.height()), 6315);
    auto* list = Find<QWidget>(mWindow, "lsvArchive");
    auto* exit = Find<QWidget>(mWindow, "btnExit");
    EXPECT_EQ(PixelsToTwips(list->height()), 3135);
    mWindow.resize(TwipsToPixels(12000), TwipsToPixels(3195));
    EXPECT_EQ(PixelsToTwips(list->width()), 11760);
    EXPECT_EQ(list->height(), 1);
    EXPECT_EQ(PixelsToTwips(exit->x()), 10365);
    EXPECT_EQ(Find<QWidget>(mWindow, "txtSearchDir")->width(), TwipsToPixels(8585));
    auto* bar = Find<QStatusBar>(mWindow, "StatusBar1");
    EXPECT_EQ(bar->geometry(),
              QRect(0, mWindow.height() - TwipsToPixels(240), mWindow.width(), TwipsToPixels(240)));
    // The progress bar lies over the first panel, 15 twips above the bottom.
    auto* progress = Find<QProgressBar>(mWindow, "ProgressBar1");
    auto* panel = Find<QLabel>(mWindow, "Panel1");
    EXPECT_EQ(progress->x(), panel->mapTo(&mWindow, QPoint(0, 0)).x());
    EXPECT_EQ(progress->width(), panel->width());
    EXPECT_EQ(progress->y() + progress->height(), mWindow.height() - 1);

    // A minimised window leaves the controls alone until it is restored.
    const QRect exitBefore = exit->geometry();
    mWindow.setWindowState(Qt::WindowMinimized);
    mWindow.resize(TwipsToPixels(8145), TwipsToPixels(6315));
    EXPECT_EQ(exit->geometry(), exitBefore);
    mWindow.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(PixelsToTwips(exit->x()), 6510);
}

}  // namespace
}  // namespace mervok
