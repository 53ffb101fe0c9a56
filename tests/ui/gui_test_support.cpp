#include "gui_test_support.h"

#include <QTimer>

#include <memory>

// The leak checker asks for this: fontconfig keeps its caches for the life of
// the process, which is not ours to fix.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace mervok::test {

namespace {

std::unique_ptr<QApplication> gApp;

// Makes the application before the first fixture, whose members may be
// widgets, and ends it after the last test, while Qt's own statics still
// live.
class AppEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { App(); }
    void TearDown() override { gApp.reset(); }
};

[[maybe_unused]] ::testing::Environment* const gAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

QApplication& App() {
    if (!gApp) {
        // Headless runs get a screen of 800 x 600 pixels (12000 x 9000
        // twips), the size the window's screen-edge rules are worked out for.
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
            qputenv("QT_QPA_PLATFORM",
                    "offscreen:configfile=" MERVOK_TESTS_SOURCE_DIR "/ui/offscreen_800x600.json");
        }
        static int argc = 1;
        static char name[] = "mervok-gui-test";
        static char* argv[] = {name, nullptr};
        gApp = std::make_unique<QApplication>(argc, argv);
    }
    return *gApp;
}

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
