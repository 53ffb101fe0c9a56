#include "ui/about_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "app/version_text.h"
#include "ui/centered_msg_box.h"

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

TEST_F(AboutDialogTest, ModalCentredFreshOnEveryOpeningAndItsLinksOpenTheHomePage) {
    frmAbout* first = frmAbout::ShowOver(&mMain);
    EXPECT_TRUE(first->isModal());
    EXPECT_TRUE(first->isVisible());
    QPoint offset = first->geometry().center() - mMain.geometry().center();
    EXPECT_LE(std::abs(offset.x()), 1);
    EXPECT_LE(std::abs(offset.y()), 1);
    QApplication::setActiveWindow(first);
    ASSERT_TRUE(QTest::qWaitForWindowActive(first));
    EXPECT_EQ(gOwnerHwnd, first) << "the active dialog owns message boxes";
    first->findChild<QLabel*>("lblMyVer")->setText("stale");
    CloseWithOk(first);

    frmAbout* second = frmAbout::ShowOver(&mMain);
    EXPECT_EQ(second->windowTitle(), "Archive Search for Quorvix バージョン情報");
    EXPECT_EQ(LabelText(second, "Label1"), "Archive Search for Quorvix");
    EXPECT_EQ(LabelText(second, "lblMyVer"), QString::fromStdString(ProgramVersionText()));
    EXPECT_EQ(LabelText(second, "lblCopyRight"), "Copyright (C) 2026 Mervok developers");
    EXPECT_EQ(LabelText(second, "lblHP"), "https://mervok.example/");
    EXPECT_EQ(mMain.findChildren<frmAbout*>().size(), 1);
    // The picture and the address open the home page; the dialog stays.
    Click(second->findChild<QLabel*>("Image1"));
    Click(second->findChild<QLabel*>("lblHP"));
    Click(second->findChild<QLabel*>("lblHP"), Qt::RightButton);
    Click(second->findChild<QLabel*>("lblCopyRight"));
    EXPECT_EQ(mOpened, (std::vector<QUrl>(2, QUrl("https://mervok.example/"))));
    EXPECT_TRUE(second->isVisible());
    CloseWithOk(second);
}

}  // namespace
}  // namespace mervok
