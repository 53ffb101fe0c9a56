#include "support/qt_app.h"

#include <chrono>
#include <memory>
#include <thread>

// The leak checker asks for this: fontconfig keeps its caches for the life of
// the process, which is not ours to fix.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace mervok::test {

namespace {

std::unique_ptr<QApplication> gApp;

// Ends the application while Qt's own statics still live.
class AppEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { App(); }
    void TearDown() override { gApp.reset(); }
};

[[maybe_unused]] ::testing::Environment* const gAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

void RunEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

QApplication& App() {
    if (!gApp) {
        // Headless runs get a screen of 800 x 600 pixels (12000 x 9000
        // twips), the size the window's screen-edge rules are worked out for.
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" MERVOK_TESTS_SOURCE_DIR
                                       "/support/offscreen_800x600.json");
        }
        static int argc = 1;
        static char name[] = "mervok-gui-test";
        static char* argv[] = {name, nullptr};
        gApp = std::make_unique<QApplication>(argc, argv);
    }
    return *gApp;
}

}  // namespace mervok::test
