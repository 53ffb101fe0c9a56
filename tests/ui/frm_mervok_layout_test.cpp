#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "ui/frm_mervok.h"
#include "ui/twips.h"

namespace mervok {
namespace {

using FormLayoutWindowTest = test::WindowTest;

// The place of a control in the window's coordinates.
QRect InWindow(const QWidget* control) {
    return {control->mapTo(control->window(), QPoint(0, 0)), control->size()};
}

TEST_F(FormLayoutWindowTest, ResizingMovesTheControlsAndTheProgressBarFollowsPanelOne) {
    frmMERVOK& window = Open();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Archive Search for Quorvix"));
    EXPECT_FALSE(window.windowIcon().pixmap(32, 32).isNull());
    QWidget* exit = Control("btnExit");
    auto* panel1 = Control<QLabel>("Panel1");
    auto* panel2 = Control<QLabel>("Panel2");
    auto* panel3 = Control<QLabel>("Panel3");
    EXPECT_EQ(panel2->text(), QStringLiteral("抽出件数"));
    EXPECT_EQ(panel3->text(), QStringLiteral("処理時間"));
    auto* progress = Control<QProgressBar>("ProgressBar1");
    // The progress bar lies over the first panel, 15 twips above the bottom,
    // also when the panels' texts change their widths while it shows.
    const auto expectOverPanelOne = [&] {
        QCoreApplication::processEvents();
        EXPECT_EQ(InWindow(progress).left(), InWindow(panel1).left());
        EXPECT_EQ(InWindow(progress).right(), InWindow(panel1).right());
        EXPECT_LT(InWindow(progress).right(), InWindow(panel2).left());
        EXPECT_EQ(progress->y() + progress->height(), window.height() - 1);
    };
    expectOverPanelOne();
    progress->show();
    panel3->clear();
    panel2->setText(QStringLiteral("75"));
    panel1->setText(QString(200, QLatin1Char('x')));
    expectOverPanelOne();

    // The numbers themselves are the layout's; here they only have to arrive.
    window.resize(TwipsToPixels(12000), TwipsToPixels(3195));
    EXPECT_EQ(PixelsToTwips(exit->x()), 10365);
    auto* bar = Control<QStatusBar>("StatusBar1");
    EXPECT_EQ(bar->geometry(),
              QRect(0, window.height() - TwipsToPixels(240), window.width(), TwipsToPixels(240)));
    expectOverPanelOne();

    // In a narrow window the panels keep their minimum widths side by side;
    // the window clips what does not fit.
    window.resize(TwipsToPixels(4500), TwipsToPixels(6315));
    EXPECT_EQ(panel1->width(), TwipsToPixels(6000));
    EXPECT_EQ(panel3->width(), TwipsToPixels(1000));
    EXPECT_LT(InWindow(panel1).right(), InWindow(panel2).left());
    EXPECT_LT(InWindow(panel2).right(), InWindow(panel3).left());
    expectOverPanelOne();

    // A minimised window leaves the controls alone until it is restored.
    const QRect exitBefore = exit->geometry();
    window.setWindowState(Qt::WindowMinimized);
    window.resize(TwipsToPixels(8145), TwipsToPixels(6315));
    EXPECT_EQ(exit->geometry(), exitBefore);
    window.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(PixelsToTwips(exit->x()), 6510);
}

}  // namespace
}  // namespace mervok
