// Ends the process as soon as the viewer has painted its first document, so
// that a script can time process start to first paint. The viewer runs as
// Quorvix.exe does (RunQuorvix); "--empty" shows an empty window instead, the
// bare start-up of a Qt window.
//
//   viewer_first_paint ARCHIVE | --empty

#include <QApplication>
#include <QEvent>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QWidget>

#include <cstdlib>
#include <cstring>

#include "quorvix/frm_quorvix.h"
#include "quorvix/quorvix_main.h"

namespace {

// Ends the process as soon as the watched widget has painted itself; tearing
// the window down is not part of what is timed.
class FirstPaint : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            watched->event(event);
            std::_Exit(0);
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    static FirstPaint firstPaint;
    if (argc == 2 && std::strcmp(argv[1], "--empty") == 0) {
        QApplication app(argc, argv);
        QWidget window;
        window.resize(900, 640);
        window.installEventFilter(&firstPaint);
        window.show();
        return QApplication::exec();
    }
    mervok::quorvix::RunHooks hooks;
    hooks.windowShown = [](mervok::quorvix::frmQuorvix& window) {
        // The document's page: the text view's viewport, or the page view's.
        auto* pages = window.findChild<QStackedWidget*>(QStringLiteral("stkView"));
        QWidget* page = pages->currentWidget();
        auto* area = qobject_cast<QAbstractScrollArea*>(page);
        (area ? area->viewport() : page)->installEventFilter(&firstPaint);
    };
    return mervok::quorvix::RunQuorvix(argc, argv, hooks);
}
