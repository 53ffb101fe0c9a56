#include "ui/about_dialog.h"

#include <QApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <cstdlib>

#include <gtest/gtest.h>

#include "app/version_text.h"
#include "ui/centered_msg_box.h"
#include "ui/tool_tip.h"

namespace mervok {
namespace {

TEST(VersionTextTest, MinorWithTwoDigitsRevisionOnlyAboveZero) {
    EXPECT_EQ(VersionText(1, 13, 0), "1.13");
    EXPECT_EQ(VersionText(1, 5, 0), "1.05");
    EXPECT_EQ(VersionText(2, 0, 0), "2.00");
    EXPECT_EQ(VersionText(1, 13, 2), "1.13.2");
    EXPECT_EQ(VersionText(1, 123, 0), "1.123");
    EXPECT_EQ(VersionText(0, 9, 10), "0.09.10");
}

TEST(VersionTextTest, ProgramVersionIsTheBuildsVersion) {
    // The same numbers the build gives every target.
    EXPECT_EQ(ProgramVersionText(),
              VersionText(MERVOK_VERSION_MAJOR, MERVOK_VERSION_MINOR, MERVOK_VERSION_PATCH));
}

QString LabelText(QWidget* dialog, const char* name) {
    auto* label = dialog->findChild<QLabel*>(name);
    return label ? label->text() : QStringLiteral("<missing>");
}

void Click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(widget, button, {}, widget->rect().center());
}

class AboutDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetOpenUrlFunction([this](const QUrl& address) {
            mOpened.push_back(address);
            return true;
        });
        mMain.resize(600, 400);
        mMain.move(100, 80);
        mMain.show();
        QApplication::setActiveWindow(&mMain);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&mMain));
    }
    void TearDown() override { SetOpenUrlFunction({}); }

    static void CloseWithOk(frmAbout* dialog) {
        QPointer<frmAbout> guard(dialog);
        Click(dialog->findChild<QPushButton*>("Command1"));
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(guard.isNull()) << "a closed dialog is freed";
    }

    QWidget mMain;
    std::vector<QUrl> mOpened;
};

TEST_F(AboutDialogTest, ShowsNameVersionNoticeAndAddress) {
    frmAbout* dialog = frmAbout::ShowOver(&mMain);
    EXPECT_EQ(dialog->windowTitle(), "Archive Search for Quorvix バージョン情報");
    EXPECT_EQ(LabelText(dialog, "Label1"), "Archive Search for Quorvix");
    EXPECT_EQ(LabelText(dialog, "Label4"), "Archive Search for Quorvix");
    EXPECT_EQ(LabelText(dialog, "Label2"), "Ver");
    EXPECT_EQ(LabelText(dialog, "lblMyVer"), QString::fromStdString(ProgramVersionText()));
    EXPECT_EQ(LabelText(dialog, "lblCopyRight"), "Copyright (C) 2026 Mervok developers");
    EXPECT_EQ(LabelText(dialog, "lblHP"), "https://mervok.example/");
    EXPECT_EQ(dialog->findChild<QPushButton*>("Command1")->text(), "OK");
    CloseWithOk(dialog);
}

TEST_F(AboutDialogTest, TwoColourTitleAndLinkLook) {
    frmAbout dialog(&mMain);
    auto* black = dialog.findChild<QLabel*>("Label1");
    auto* green = dialog.findChild<QLabel*>("Label4");
    EXPECT_EQ(black->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(green->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(black->pos() - green->pos(), QPoint(2, 1)) << "green shows to the upper left";
    EXPECT_TRUE(black->font().bold() && black->font().italic());
    EXPECT_EQ(black->font(), green->font());
    // Whatever font stands in for the designed one, the name fits its box.
    QRect needed =
        QFontMetrics(black->font())
            .boundingRect(QRect(QPoint(), black->size()), Qt::TextWordWrap, black->text());
    EXPECT_LE(needed.height(), black->height());
    EXPECT_LE(needed.width(), black->width());

    auto* link = dialog.findChild<QLabel*>("lblHP");
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(dialog.findChild<QLabel*>("Image1")->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(link->toolTip().isEmpty());
    EXPECT_FALSE(dialog.findChild<QLabel*>("Image1")->pixmap().isNull());

    // Every label lies inside the dialog, the button included.
    for (QWidget* child : dialog.findChildren<QWidget*>()) {
        EXPECT_TRUE(dialog.rect().contains(child->geometry())) << child->objectName().toStdString();
    }
}

TEST_F(AboutDialogTest, IconIsTheMainWindowsIcon) {
    QPixmap red(32, 32);
    red.fill(Qt::red);
    mMain.setWindowIcon(QIcon(red));
    frmAbout dialog(&mMain);
    QImage shown = dialog.findChild<QLabel*>("Image1")->pixmap().toImage();
    EXPECT_EQ(shown.pixelColor(16, 16), QColor(Qt::red));
    mMain.setWindowIcon(QIcon());
}

TEST_F(AboutDialogTest, BothLinksOpenTheSameAddress) {
    frmAbout* dialog = frmAbout::ShowOver(&mMain);
    Click(dialog->findChild<QLabel*>("Image1"));
    Click(dialog->findChild<QLabel*>("lblHP"));
    Click(dialog->findChild<QLabel*>("lblHP"), Qt::RightButton);
    Click(dialog->findChild<QLabel*>("lblCopyRight"));
    ASSERT_EQ(mOpened.size(), 2u);
    EXPECT_EQ(mOpened[0], QUrl("https://mervok.example/"));
    EXPECT_EQ(mOpened[1], mOpened[0]);
    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open";
    CloseWithOk(dialog);
}

TEST_F(AboutDialogTest, ModalCentredFreshOnEveryOpening) {
    frmAbout* first = frmAbout::ShowOver(&mMain);
    EXPECT_TRUE(first->isModal());
    EXPECT_TRUE(first->isVisible());
    QPoint offset = first->geometry().center() - mMain.geometry().center();
    EXPECT_LE(std::abs(offset.x()), 1);
    EXPECT_LE(std::abs(offset.y()), 1);
    first->findChild<QLabel*>("lblMyVer")->setText("stale");
    CloseWithOk(first);

    frmAbout* second = frmAbout::ShowOver(&mMain);
    EXPECT_EQ(LabelText(second, "lblMyVer"), QString::fromStdString(ProgramVersionText()));
    EXPECT_EQ(mMain.findChildren<frmAbout*>().size(), 1);
    CloseWithOk(second);
}

TEST_F(AboutDialogTest, ActiveDialogOwnsMessageBoxes) {
    frmAbout* dialog = frmAbout::ShowOver(&mMain);
    QApplication::setActiveWindow(dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    EXPECT_EQ(gOwnerHwnd, dialog);
    CloseWithOk(dialog);
}

TEST(FitFontTest, ShrinksUntilTheTextFits) {
    QFont big;
    big.setPointSize(40);
    QSize box(120, 45);
    QFont fitted = FitFont(big, "Archive Search for Quorvix", box);
    EXPECT_LT(fitted.pointSize(), 40);
    QRect needed = QFontMetrics(fitted).boundingRect(QRect(QPoint(), box), Qt::TextWordWrap,
                                                     "Archive Search for Quorvix");
    EXPECT_LE(needed.height(), box.height());
    QFont small;
    small.setPointSize(8);
    EXPECT_EQ(FitFont(small, "x", box).pointSize(), 8);
}

// Renders the hint and the dialog as the user sees them. With
// MERVOK_SCREENSHOT_DIR set the pictures are saved there for a look.
TEST(ScreenshotTest, HintAndDialogRender) {
    QWidget box;
    box.resize(300, 24);
    clsToolTip tip;
    tip.mCreate(&box);
    tip.mToolAdd(1, "書庫ﾌｧｲﾙをﾏｳｽのﾎﾟｲﾝﾄで選択し、\r\nｼﾝｸﾞﾙｸﾘｯｸでQuorvixを起動します");
    tip.pMaxWidth(300);
    tip.pToolTrack(1, true);
    QImage hint = tip.phWnd()->grab().toImage();
    ASSERT_FALSE(hint.isNull());
    EXPECT_LE(hint.width(), 300 + 20);
    EXPECT_GE(hint.height(), 2 * QFontMetrics(tip.phWnd()->font()).height());

    frmAbout dialog;
    dialog.show();
    QImage about = dialog.grab().toImage();
    ASSERT_FALSE(about.isNull());

    if (const char* folder = std::getenv("MERVOK_SCREENSHOT_DIR")) {
        EXPECT_TRUE(hint.save(QString::fromLocal8Bit(folder) + "/hint.png"));
        EXPECT_TRUE(about.save(QString::fromLocal8Bit(folder) + "/about.png"));
    }
}

}  // namespace
}  // namespace mervok
