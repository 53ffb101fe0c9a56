#pragma once

// Fixture archives, program folders, the main window and
// the fakes the widget tests need.

#include <QAbstractItemView>
#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QString>
#include <QTest>
#include <QWidget>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "archivers/archiver_library.h"
#include "support/fakes.h"
#include "support/files.h"
#include "support/gate.h"
#include "support/qt_app.h"
#include "ui/frm_mervok.h"
#include "ui/message_box.h"

namespace mervok::test {

using testing::CopyFixture;

// The pointer arriving at, moving within (or pressing) and leaving a widget,
// as the window system would report it.
inline void Enter(QWidget* target, QPoint position) {
    QEnterEvent event(position, target->mapToGlobal(position), target->mapToGlobal(position));
    QApplication::sendEvent(target, &event);
}
inline void Move(QWidget* target, QPoint position, QEvent::Type type = QEvent::MouseMove) {
    const Qt::MouseButton button = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, position, target->mapToGlobal(position), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}
inline void Leave(QWidget* target) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(target, &event);
}

// The centre of a row of a list, in its viewport.
inline QPoint RowCentre(const QAbstractItemView* view, int row) {
    return view->visualRect(view->model()->index(row, 0)).center();
}

// The file names of a list's rows, top to bottom as shown.
inline QStringList ShownNames(const QAbstractItemView* view) {
    QStringList names;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        names << view->model()->index(row, 0).data().toString();
    }
    return names;
}

// Runs action once the next modal dialog is up, from inside its event loop.
void WhenModalShown(std::function<void(QWidget& dialog)> action);

// The three real libraries as the build lays them out.
inline ArchiverLibraries& RealLibraries() {
    static ArchiverLibraries libraries(MERVOK_DIST_DIR);
    return libraries;
}

using testing::Gate;

// Waits (handling events) for a signal; the limit only stops a hang.
inline bool AwaitSignal(QSignalSpy& spy) {
    return !spy.isEmpty() || spy.wait(60000);
}

// The main window over a program folder that holds the viewer's settings
// file, and a folder to search.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MessageBox::Reset();
        mProgram.Write("Quorvix.ini", "[Option]\r\nPrevInstance=0\r\n");
    }
    void TearDown() override {
        mWindow.reset();
        MessageBox::Reset();
    }

    // Loads the window (over the real libraries unless others are given) and
    // shows it, active, when asked.
    frmMERVOK& Open(std::optional<ArchiverSet> libraries = std::nullopt, bool show = true) {
        mWindow = std::make_unique<frmMERVOK>(mProgram.Folder(),
                                              libraries ? *libraries : RealLibraries().Set());
        EXPECT_TRUE(mWindow->Form_Load());
        if (show) {
            mWindow->ShowLoaded();
            QApplication::setActiveWindow(mWindow.get());
            EXPECT_TRUE(QTest::qWaitForWindowActive(mWindow.get()));
        }
        return *mWindow;
    }
    template <typename Widget = QWidget>
    Widget* Control(const char* name) {
        return Find<Widget>(*mWindow, name);
    }
    std::string IniPath() const { return mProgram.File("Mervok.ini"); }

    testing::TempFolder mProgram;
    testing::TempFolder mData;
    std::unique_ptr<frmMERVOK> mWindow;
};

}  // namespace mervok::test
