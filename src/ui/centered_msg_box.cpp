#include "ui/centered_msg_box.h"

#include <QEvent>
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

namespace {

void Centre(QWidget& window, const QWidget& owner) {
    QSize screen;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        screen = primary->geometry().size();
    }
    const bool framed = window.frameGeometry() != window.geometry();
    const QWidget& framedLike = framed ? window : owner;
    const QRect frame = framedLike.frameGeometry();
    const QRect client = framedLike.geometry();
    const QPoint place = CenteredBoxPosition(owner.frameGeometry(),
                                             window.size() + frame.size() - client.size(), screen);
    // The client area is placed: where a move puts a window that has no frame
    // yet differs between window systems (X11 puts its client area there).
    window.setGeometry(QRect(place + (client.topLeft() - frame.topLeft()), window.size()));
}

// Centres the window again after its first paint, by when the window manager
// has framed it.
class CentreWhenFramed : public QObject {
  public:
    CentreWhenFramed(QWidget& window, const QWidget& owner) : QObject(&window), mOwner(&owner) {
        window.installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (mOwner != nullptr) {
                        Centre(*static_cast<QWidget*>(parent()), *mOwner);
                    }
                    deleteLater();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

  private:
    QPointer<const QWidget> mOwner;
};

}  // namespace

void CentreOverOwner(QWidget& window, const QWidget& owner) {
    Centre(window, owner);
    if (window.frameGeometry() == window.geometry()) {
        new CentreWhenFramed(window, owner);
    }
}

MsgAnswer CenteredMsgBox(const QString& text, MsgStyle style, QString& title) {
    if (title.isEmpty()) {
        title = QString::fromUtf8(kApplicationTitle);
    }
    QWidget* owner = gOwnerHwnd.data();
    if (owner == nullptr) {
        return MessageBox::Show(nullptr, text, style, title);
    }
    const MsgAnswer answer = MessageBox::Show(
        owner, text, style, title, [owner](QMessageBox& box) { CentreOverOwner(box, *owner); });
    // Without a window manager nobody hands the activation back, and the
    // owner's access keys would stay dead until it is clicked.
    if (gOwnerHwnd != nullptr && gOwnerHwnd->isVisible()) {
        gOwnerHwnd->activateWindow();
    }
    return answer;
}

}  // namespace mervok
