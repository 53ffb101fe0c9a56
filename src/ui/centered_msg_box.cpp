#include "ui/centered_msg_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include "ui/message_box.h"
#include "ui/twips.h"

namespace mervok {

QPointer<QWidget> gOwnerHwnd;

QPoint CenteredBoxPosition(const QRect& owner, const QSize& box, const QSize& screen) {
    const double ownerWidth = owner.width();
    const double ownerHeight = owner.height();
    int x = RoundHalfEven(ownerWidth / 2 + owner.left() - box.width() / 2.0);
    int y = RoundHalfEven(ownerHeight / 2 + owner.top() - box.height() / 2.0);

    if (x < 0) {
        x = 0;
    }
    if (x + box.width() > screen.width()) {
        x = screen.width() - box.width();
    }
    if (y < 0) {
        y = 0;
    }
    if (y + box.height() > screen.height()) {
        y = RoundHalfEven((screen.height() - box.height()) * 0.9);
    }
    return {x, y};
}

int CenteredMsgBox(const QString& text, int style, QString& title) {
    if (title.isEmpty()) {
        title = QString::fromUtf8(kApplicationTitle);
    }
    QWidget* owner = gOwnerHwnd.data();
    if (owner == nullptr) {
        return MessageBox::Show(nullptr, text, style, title);
    }
    const int answer = MessageBox::Show(owner, text, style, title, [owner](QMessageBox& box) {
        QSize screen;
        if (const QScreen* primary = QGuiApplication::primaryScreen()) {
            screen = primary->geometry().size();
        }
        // The box has no frame yet; the window manager will give it the same
        // margins as its owner.
        const QRect ownerFrame = owner->frameGeometry();
        const QRect ownerClient = owner->geometry();
        const QSize margins = ownerFrame.size() - ownerClient.size();
        box.move(CenteredBoxPosition(ownerFrame, box.size() + margins, screen));
    });
    // Without a window manager nobody hands the activation back, and the
    // owner's access keys would stay dead until it is clicked.
    if (gOwnerHwnd != nullptr && gOwnerHwnd->isVisible()) {
        gOwnerHwnd->activateWindow();
    }
    return answer;
}

}  // namespace mervok
