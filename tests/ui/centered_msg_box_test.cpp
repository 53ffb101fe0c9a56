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

TEST(CenteredBoxPositionTest, WorkedExamples) {
    // Owner frame edges (left, top, right, bottom), box size, where it goes;
    // the screen is 1024 x 768.
    const struct {
        int left, top, right, bottom;
        QSize box;
        QPoint placed;
    } cases[] = {
        {100, 100, 643, 521, {300, 150}, {222, 236}},   // 221.5 -> 222, 235.5 -> 236
        {101, 100, 644, 521, {300, 150}, {222, 236}},   // 222.5 -> 222
        {100, 700, 643, 1121, {300, 150}, {222, 556}},  // too low: 0.9 * (768 - 150)
        {900, 100, 1443, 521, {300, 150}, {724, 236}},  // too far right: flush
        {-600, -400, -57, 21, {300, 150}, {0, 0}},      // off screen: clamped to 0
        {0, 0, 100, 100, {1100, 800}, {-76, -29}},      // larger than the screen
    };
    for (const auto& c : cases) {
        const QRect owner(QPoint(c.left, c.top), QSize(c.right - c.left, c.bottom - c.top));
        EXPECT_EQ(CenteredBoxPosition(owner, c.box, {1024, 768}), c.placed)
            << c.left << "," << c.top;
    }
}

TEST(CenteredMsgBoxTest, RealBoxShowsCentredOverTheOwnerWithItsStyle) {
    test::App();
    MessageBox::Reset();
    QWidget owner;
    owner.setGeometry(100, 90, 543, 421);
    owner.show();
    gOwnerHwnd = &owner;

    QRect shownFrame;
    QString shownTitle;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString defaultButton;
    test::WhenModalShown([&](QWidget& dialog) {
        auto& box = static_cast<QMessageBox&>(dialog);
        shownFrame = box.frameGeometry();
        shownTitle = box.windowTitle();
        icon = box.icon();
        defaultButton = box.defaultButton()->text();
        box.button(QMessageBox::No)->click();
    });
    QString title;
    const MsgAnswer answer = CenteredMsgBox(QStringLiteral("検索フォルダが見つかりません。"),
                                            MsgStyle{MsgButtons::YesNo, MsgIcon::Stop, 1}, title);
    gOwnerHwnd = nullptr;

    EXPECT_EQ(answer, MsgAnswer::No);
    EXPECT_EQ(title, QStringLiteral("MERVOK"));
    EXPECT_EQ(shownTitle, QStringLiteral("MERVOK"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(defaultButton, QMessageBox().addButton(QMessageBox::No)->text());
    ASSERT_TRUE(shownFrame.isValid());
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    EXPECT_EQ(shownFrame.topLeft(),
              CenteredBoxPosition(owner.frameGeometry(), shownFrame.size(), screen));
}

}  // namespace
}  // namespace mervok
