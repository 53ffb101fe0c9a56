// Ends the process as soon as the viewer has painted its first document, so
// that a script can time process start to first paint. The viewer runs as
// Quorvix.exe does (RunQuorvix); "--empty" shows an empty window instead, the
// bare start-up of a Qt window.
//
//   viewer_first_paint ARCHIVE | --empty | --copy ARCHIVE
//
// "--copy" then selects all of the first document's text and copies it, and
// prints how long that took and how much the peak memory grew.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEvent>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "quorvix/frm_quorvix.h"
#include "quorvix/quorvix_main.h"

namespace {

// The process's peak resident memory, in KiB.
long PeakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

// Ends the process as soon as the watched widget has painted itself; tearing
// the window down is not part of what is timed.
class FirstPaint : public QObject {
  public:
    QWidget* window = nullptr;  // "--copy": the viewer's window
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            watched->event(event);
            if (window == nullptr) {
                std::_Exit(0);
            }
            // Then select all of the text and copy it, as a reader would.
            QTimer::singleShot(0, [this] {
                const long before = PeakKiB();
                QElapsedTimer timer;
                timer.start();
                window->findChild<QAction*>(QStringLiteral("mnuSelectAll"))->trigger();
                window->findChild<QAction*>(QStringLiteral("mnuCopy"))->trigger();
                std::printf("copy %lld ms, %ld MiB more at the peak, %lld characters\n",
                            static_cast<long long>(timer.elapsed()), (PeakKiB() - before) >> 10,
                            static_cast<long long>(QGuiApplication::clipboard()->text().size()));
                std::fflush(stdout);
                std::_Exit(0);
            });
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
    const bool copy = argc == 3 && std::strcmp(argv[1], "--copy") == 0;
    if (copy) {
        argv[1] = argv[2];
        argc = 2;
    }
    mervok::quorvix::RunHooks hooks;
    hooks.windowShown = [copy](mervok::quorvix::frmQuorvix& window) {
        firstPaint.window = copy ? &window : nullptr;
        // The document's page: the text view's viewport, or the page view's.
        auto* pages = window.findChild<QStackedWidget*>(QStringLiteral("stkView"));
        QWidget* page = pages->currentWidget();
        auto* area = qobject_cast<QAbstractScrollArea*>(page);
        (area ? area->viewport() : page)->installEventFilter(&firstPaint);
    };
    return mervok::quorvix::RunQuorvix(argc, argv, hooks);
}
