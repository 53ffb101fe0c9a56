#pragma once

#include <QApplication>
#include <QString>
#include <QWidget>

#include <functional>

#include <gtest/gtest.h>

namespace mervok::test {

// The one application object of a widget test program; made before the
// first test runs.
QApplication& App();

// The widget of that name under root; fails the test when it is missing or
// of another type.
template <typename Widget>
Widget* Find(const QWidget& root, const char* name) {
    auto* widget = root.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << "no widget " << name;
    return widget;
}

// Runs action once the next modal dialog is up (from inside its own event
// loop), so that tests can look at a real box and close it.
void WhenModalShown(std::function<void(QWidget& dialog)> action);

}  // namespace mervok::test
