#include "gui_test_support.h"

#include <QTimer>

#include <memory>

namespace mervok::test {

void WhenModalShown(std::function<void(QWidget& dialog)> action) {
    auto pending = std::make_shared<std::function<void(QWidget&)>>(std::move(action));
    auto* poll = new QTimer(&App());
    // Zero-interval polling: runs at each pass of the dialog's event loop
    // until the dialog is there; no wall-clock wait is involved.
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, pending] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        (*pending)(*dialog);
    });
    poll->start();
}

}  // namespace mervok::test
