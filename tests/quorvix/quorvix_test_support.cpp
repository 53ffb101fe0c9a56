#include "quorvix_test_support.h"

// The leak checker asks for this: fontconfig keeps its caches for the life of
// the process, which is not ours to fix.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace mervok::quorvix::test {

namespace {

std::unique_ptr<QApplication> gApp;

// Ends the application after the last test, while Qt's own statics still live.
class AppEnvironment : public ::testing::Environment {
  public:
    void TearDown() override { gApp.reset(); }
};

[[maybe_unused]] ::testing::Environment* const gAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

QApplication& App() {
    if (!gApp) {
        static int argc = 1;
        static char name[] = "quorvix_tests";
        static char* argv[] = {name, nullptr};
        gApp = std::make_unique<QApplication>(argc, argv);
    }
    return *gApp;
}

}  // namespace mervok::quorvix::test
