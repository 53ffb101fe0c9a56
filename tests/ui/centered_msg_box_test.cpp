#include "ui/centered_msg_box.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "ui/message_box.h"

namespace mervok {
namespace {

QRect FromEdges(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QSize(right - left, bottom - top));
}

TEST(CenteredBoxPositionTest, CentresOverTheOwnerWithHalvesToEven) {
    // 271.5 + 100 - 150 = 221.5 -> 222; 210.5 + 100 - 75 = 235.5 -> 236.
    EXPECT_EQ(CenteredBoxPosition(FromEdges(100, 100, 643, 521), {300, 150}, {1024, 768}),
              QPoint(222, 236));
    // 271.5 + 101 - 150 = 222.5 -> 222.
    EXPECT_EQ(CenteredBoxPosition(FromEdges(101, 100, 644, 521), {300, 150}, {1024, 768}).x(), 222);
}

TEST(CenteredBoxPositionTest, BottomEdgeGivesNineTenthsOfTheLowestFit) {
    // y = 835.5 -> 836; 836 + 150 > 768, so (768 - 150) * 0.9 = 556.2 -> 556.
    EXPECT_EQ(CenteredBoxPosition(FromEdges(100, 700, 643, 1121), {300, 150}, {1024, 768}),
              QPoint(222, 556));
}

TEST(CenteredBoxPositionTest, RightEdgeIsFlushAndOffScreenOwnersClampToZero) {
    EXPECT_EQ(CenteredBoxPosition(FromEdges(900, 100, 1443, 521), {300, 150}, {1024, 768}).x(),
              1024 - 300);
    EXPECT_EQ(CenteredBoxPosition(FromEdges(-600, -400, -57, 21), {300, 150}, {1024, 768}),
              QPoint(0, 0));
}

TEST(CenteredBoxPositionTest, BoxLargerThanTheScreenIsNotCorrectedFurther) {
    const QPoint placed = CenteredBoxPosition(FromEdges(0, 0, 100, 100), {1100, 800}, {1024, 768});
    EXPECT_EQ(placed.x(), 1024 - 1100);
    // (768 - 800) * 0.9 = -28.8 -> -29.
    EXPECT_EQ(placed.y(), -29);
}

class CenteredMsgBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::App();
        MessageBox::Reset();
        gOwnerHwnd = nullptr;
    }
    void TearDown() override {
        gOwnerHwnd = nullptr;
        MessageBox::Reset();
    }
};

TEST_F(CenteredMsgBoxTest, RealBoxIsMovedOverTheOwnerBeforeItShows) {
    QWidget owner;
    owner.setGeometry(100, 90, 543, 421);
    owner.show();
    gOwnerHwnd = &owner;

    // Frames as the window system draws them, title bar included.
    QRect shownFrame;
    QString shownTitle;
    test::WhenModalShown([&](QWidget& dialog) {
        shownFrame = dialog.frameGeometry();
        shownTitle = dialog.windowTitle();
        auto& box = static_cast<QMessageBox&>(dialog);
        box.button(QMessageBox::Ok)->click();
    });
    QString title;
    const int answer = CenteredMsgBox(QStringLiteral("検索フォルダが見つかりません。"),
                                      kMbOk | kMbIconExclamation, title);

    EXPECT_EQ(answer, kIdOk);
    EXPECT_EQ(title, QStringLiteral("MERVOK"));
    EXPECT_EQ(shownTitle, QStringLiteral("MERVOK"));
    ASSERT_TRUE(shownFrame.isValid());
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const QRect ownerFrame = owner.frameGeometry();
    EXPECT_EQ(shownFrame.topLeft(), CenteredBoxPosition(ownerFrame, shownFrame.size(), screen));
    // And it really sits in the middle of the owner, within a pixel.
    EXPECT_LE(std::abs(shownFrame.center().x() - ownerFrame.center().x()), 1);
    EXPECT_LE(std::abs(shownFrame.center().y() - ownerFrame.center().y()), 1);
}

TEST_F(CenteredMsgBoxTest, FollowsTheWindowActivatedLast) {
    QWidget mainWindow;
    mainWindow.setGeometry(0, 0, 300, 200);
    QWidget dialogWindow;
    dialogWindow.setGeometry(400, 300, 200, 150);
    gOwnerHwnd = &mainWindow;
    gOwnerHwnd = &dialogWindow;

    QPoint centre;
    test::WhenModalShown([&](QWidget& dialog) {
        centre = dialog.frameGeometry().center();
        dialog.close();
    });
    QString title = QStringLiteral("Archive Search for Quorvix");
    CenteredMsgBox(QStringLiteral("x"), kMbOk, title);
    EXPECT_LE(std::abs(centre.x() - dialogWindow.frameGeometry().center().x()), 1);
    EXPECT_LE(std::abs(centre.y() - dialogWindow.frameGeometry().center().y()), 1);
    EXPECT_EQ(title, QStringLiteral("Archive Search for Quorvix"));
}

TEST_F(CenteredMsgBoxTest, WithoutOwnerTheBoxIsLeftWhereQtPutsIt) {
    QPoint shownAt(-1, -1);
    test::WhenModalShown([&](QWidget& dialog) {
        shownAt = dialog.pos();
        EXPECT_FALSE(dialog.testAttribute(Qt::WA_Moved));
        dialog.close();
    });
    QString title = QStringLiteral("Archive Search for Quorvix");
    EXPECT_EQ(CenteredMsgBox(QStringLiteral("x"), kMbOk | kMbIconStop, title), kIdOk);
    EXPECT_NE(shownAt, QPoint(-1, -1));
}

TEST_F(CenteredMsgBoxTest, StyleChoosesIconButtonsAndDefault) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
    test::WhenModalShown([&](QWidget& dialog) {
        auto& box = static_cast<QMessageBox&>(dialog);
        icon = box.icon();
        for (QAbstractButton* button : box.buttons()) {
            buttons << button->text();
        }
        defaultButton = box.defaultButton()->text();
        box.button(QMessageBox::No)->click();
    });
    const int answer =
        MessageBox::Show(nullptr, QStringLiteral("one\r\ntwo"),
                         kMbYesNo | kMbIconStop | kMbDefaultButton2, QStringLiteral("t"));
    EXPECT_EQ(answer, kIdNo);
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons.size(), 2);
    EXPECT_EQ(defaultButton, QMessageBox().addButton(QMessageBox::No)->text());
}

TEST_F(CenteredMsgBoxTest, QueuedAnswersAreTakenWithoutShowingAndEveryBoxIsRecorded) {
    MessageBox::QueueAnswer(kIdCancel);
    MessageBox::QueueAnswer(kIdYes);
    QString title;
    EXPECT_EQ(CenteredMsgBox(QStringLiteral("first"), kMbOkCancel, title), kIdCancel);
    EXPECT_EQ(MessageBox::Show(nullptr, QStringLiteral("second"), kMbYesNo | kMbIconQuestion,
                               QStringLiteral("T")),
              kIdYes);
    EXPECT_EQ(MessageBox::QueuedAnswers(), 0);

    const std::vector<ShownMessage> shown = MessageBox::TakeShown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, QStringLiteral("first"));
    EXPECT_EQ(shown[0].style, kMbOkCancel);
    EXPECT_EQ(shown[0].title, QStringLiteral("MERVOK"));
    EXPECT_EQ(shown[1].style, kMbYesNo | kMbIconQuestion);
    EXPECT_EQ(shown[1].title, QStringLiteral("T"));
    EXPECT_TRUE(MessageBox::TakeShown().empty());
}

}  // namespace
}  // namespace mervok
