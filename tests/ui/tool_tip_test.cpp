#include "ui/tool_tip.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPointer>
#include <QStyle>
#include <QToolTip>
#include <QWidget>

#include <gtest/gtest.h>

#include "gui_test_support.h"

namespace mervok {
namespace {

using test::Enter;
using test::Leave;
using test::Move;

class ToolTipTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mTarget.resize(200, 40);
        mTarget.show();
        ASSERT_TRUE(mTip.mCreate(&mTarget));
        // No waiting in tests: hints show as soon as the pointer arrives.
        mTip.pInitialTime(0);
        mTip.pReShowTime(0);
    }

    QWidget mTarget;
    clsToolTip mTip;
};

TEST_F(ToolTipTest, ColoursAreBgrValuesAndPaintTheHintMarginsWidenIt) {
    auto value = [](const QColor& color) {
        return color.red() | color.green() << 8 | color.blue() << 16;
    };
    EXPECT_EQ(mTip.pForeColor(), value(QToolTip::palette().color(QPalette::ToolTipText)));
    EXPECT_EQ(mTip.pBackColor(), value(QToolTip::palette().color(QPalette::ToolTipBase)));

    mTip.pBackColor(0xFF0000);  // blue
    mTip.pForeColor(0x0000FF);  // red

    mTip.mToolAdd(1, "W");
    Enter(&mTarget, {5, 5});
    ASSERT_EQ(mTip.ShownTool(), 1);
    QImage image = mTip.phWnd()->grab().toImage();
    EXPECT_EQ(image.pixelColor(1, image.height() / 2), QColor(0, 0, 255)) << "background";
    EXPECT_EQ(image.pixelColor(0, 0), QColor(255, 0, 0)) << "border in the text colour";

    // Margins widen the hint.
    const QSize plain = mTip.phWnd()->size();
    mTip.pMarginLeft(10);
    mTip.pMarginTop(4);
    mTip.pMarginRight(6);
    mTip.pMarginBottom(2);
    EXPECT_EQ(mTip.phWnd()->size(), plain + QSize(16, 6));
}

TEST_F(ToolTipTest, MaxWidthBreaksAtCrLfAndWraps) {
    const QString twoLines = QStringLiteral("かなり高速になります\r\nﾄﾞｷｭﾒﾝﾄのない書庫");
    mTip.mToolAdd(1, twoLines);
    EXPECT_EQ(mTip.pMaxWidth(), -1);
    Enter(&mTarget, {5, 5});
    EXPECT_EQ(mTip.ShownText(), QStringLiteral("かなり高速になります ﾄﾞｷｭﾒﾝﾄのない書庫"));
    int oneLineHeight = mTip.phWnd()->height();
    int oneLineWidth = mTip.phWnd()->width();

    mTip.pMaxWidth(300);
    EXPECT_EQ(mTip.pMaxWidth(), 300);
    EXPECT_EQ(mTip.ShownText(), QStringLiteral("かなり高速になります\nﾄﾞｷｭﾒﾝﾄのない書庫"));
    int lineSpacing = QFontMetrics(mTip.phWnd()->font()).lineSpacing();
    EXPECT_GE(mTip.phWnd()->height(), oneLineHeight + lineSpacing - 1);
    EXPECT_LT(mTip.phWnd()->width(), oneLineWidth);

    // A line longer than the maximum wraps at it.
    mTip.pToolText(1, QString(40, QChar(0x66F8)));  // 40 × 書
    mTip.pMaxWidth(100);
    EXPECT_LE(mTip.phWnd()->width(), 100 + 20);
    EXPECT_GE(mTip.phWnd()->height(), oneLineHeight + 3 * lineSpacing);
}

TEST_F(ToolTipTest, MembersDoNothingUntilCreatedDelaysDefaultAndTheWindowGoesWithIt) {
    QPointer<QWidget> window;
    {
        clsToolTip tip;
        EXPECT_EQ(tip.phWnd(), nullptr);
        EXPECT_FALSE(tip.mToolAdd(1, "x"));
        tip.pMaxWidth(300);
        EXPECT_EQ(tip.pMaxWidth(), 0);
        EXPECT_FALSE(tip.mCreate(nullptr));

        ASSERT_TRUE(tip.mCreate(&mTarget));
        window = tip.phWnd();
        // By default as the controls' own tool tips.
        const int wakeUp = QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay);
        EXPECT_EQ(tip.pInitialTime(), wakeUp);
        EXPECT_EQ(tip.pAutoPopTime(), 10000);
        EXPECT_EQ(tip.pReShowTime(), wakeUp / 5);
        tip.pAutoPopTime(9000);
        EXPECT_EQ(tip.pAutoPopTime(), 9000);
        tip.pAutoPopTime(-1);
        EXPECT_EQ(tip.pAutoPopTime(), 10000);
    }
    EXPECT_TRUE(window.isNull());
    Enter(&mTarget, {1, 1});  // no report reaches the destroyed object
}

TEST_F(ToolTipTest, RectanglesZeroMeansTheClientAreaAndEachToolShowsItsTextInItsOwn) {
    EXPECT_TRUE(mTip.mToolAdd(1, "whole", 0, 7, 0, 0));
    mTarget.resize(320, 30);  // the control may be laid out after the hint is made
    EXPECT_EQ(mTip.pToolTop(1), 0);
    EXPECT_EQ(mTip.pToolWidth(1), 320);
    EXPECT_EQ(mTip.pToolHeight(1), 30);

    mTip.mToolAdd(2, "part", 10, 20, 50, 100);
    mTip.pToolLeft(2, 50);  // (10,20)-(110,70) -> (50,20)-(150,70)
    EXPECT_EQ(mTip.pToolLeft(2) + mTip.pToolWidth(2), 150);
    EXPECT_EQ(mTip.pToolTop(2) + mTip.pToolHeight(2), 70);
    mTip.pToolHeight(2, 10);
    EXPECT_EQ(mTip.pToolTop(2), 20);
    EXPECT_EQ(mTip.pToolWidth(99), 0);

    // Each tool shows its text in its rectangle.
    mTip.mToolRemove(1);
    mTip.mToolRemove(2);
    mTip.mToolAdd(1, "left", 0, 0, 40, 100);
    mTip.mToolAdd(2, "right", 100, 0, 40, 100);
    EXPECT_EQ(mTip.pToolCount(), 2);

    Enter(&mTarget, {10, 10});
    EXPECT_EQ(mTip.ShownTool(), 1);
    EXPECT_EQ(mTip.ShownText(), "left");
    Move(&mTarget, {150, 10});
    EXPECT_EQ(mTip.ShownTool(), 2);
    EXPECT_EQ(mTip.ShownText(), "right");

    mTip.pToolText(2, "renamed");
    EXPECT_EQ(mTip.ShownText(), "renamed");

    mTip.mToolRemove(2);
    EXPECT_EQ(mTip.ShownTool(), -1);
    EXPECT_FALSE(mTip.phWnd()->isVisible());
    EXPECT_EQ(mTip.pToolCount(), 1);
    Move(&mTarget, {160, 10});
    EXPECT_EQ(mTip.ShownTool(), -1);
}

TEST_F(ToolTipTest, LeavingPressingPoppingDisablingAndDeactivatingHideATrackedHintStays) {
    mTip.mToolAdd(1, "hint");
    Enter(&mTarget, {5, 5});
    ASSERT_TRUE(mTip.phWnd()->isVisible());
    Leave(&mTarget);
    EXPECT_FALSE(mTip.phWnd()->isVisible());

    Enter(&mTarget, {5, 5});
    ASSERT_TRUE(mTip.phWnd()->isVisible());
    Move(&mTarget, {5, 5}, QEvent::MouseButtonPress);
    EXPECT_FALSE(mTip.phWnd()->isVisible());
    Move(&mTarget, {6, 6});
    EXPECT_FALSE(mTip.phWnd()->isVisible()) << "not again until the pointer leaves";

    Leave(&mTarget);
    Enter(&mTarget, {5, 5});
    mTip.mPop();
    EXPECT_FALSE(mTip.phWnd()->isVisible());

    Leave(&mTarget);
    mTip.pActivate(false);
    Enter(&mTarget, {5, 5});
    EXPECT_FALSE(mTip.phWnd()->isVisible());

    // A disabled target shows no hint, and one shown goes as it is disabled.
    Leave(&mTarget);
    mTip.pActivate(true);
    Enter(&mTarget, {5, 5});
    ASSERT_TRUE(mTip.phWnd()->isVisible());
    mTarget.setEnabled(false);
    EXPECT_FALSE(mTip.phWnd()->isVisible());
    Enter(&mTarget, {5, 5});
    EXPECT_FALSE(mTip.phWnd()->isVisible());
    mTarget.setEnabled(true);

    // A tracked hint shows at the track position until switched off.
    mTip.pActivate(true);
    mTip.pToolText(1, "tracked");
    mTip.mToolTrackPosition(120, 80);
    mTip.pToolTrack(1, true);
    ASSERT_TRUE(mTip.phWnd()->isVisible());
    EXPECT_EQ(mTip.phWnd()->pos(), QPoint(120, 80));
    mTip.mToolTrackPosition(130, 90);
    EXPECT_EQ(mTip.phWnd()->pos(), QPoint(130, 90));
    Leave(&mTarget);
    EXPECT_TRUE(mTip.phWnd()->isVisible()) << "the pointer does not move a tracked hint";
    mTip.pToolTrack(1, false);
    EXPECT_FALSE(mTip.phWnd()->isVisible());
}

}  // namespace
}  // namespace mervok
