#include <gtest/gtest.h>
#include <QApplication>

namespace {

// Widgets need one QApplication for the whole test program, made before the
// first test and kept until the end.
class QtApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "mervok_dialogs_tests";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) {
            mApplication = new QApplication(argc, argv);
        }
    }
    void TearDown() override {
        delete mApplication;
        mApplication = nullptr;
    }

  private:
    QApplication* mApplication = nullptr;
};

const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
