#include "gui_test_support.h"

#include <QTimer>

#include <memory>

// The leak checker asks for this: fontconfig keeps its caches for the life of
// the process, which is not ours to fix.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace mervok::test {

QApplication& App() {
    static int argc = 1;
    static char name[] = "mervok-gui-test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

namespace {

// Makes the application before the first fixture, whose members may be
// widgets.
class AppEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { App(); }
};

[[maybe_unused]] ::testing::Environment* const gAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

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
