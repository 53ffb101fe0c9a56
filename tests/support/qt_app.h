#pragma once

// The application object and widgets by name, for the widget test programs.

#include <QApplication>
#include <QObject>
#include <QString>

#include <gtest/gtest.h>

namespace mervok::test {

// The one application object of the test program, made before the first
// fixture (whose members may be widgets) and ended after the last test.
QApplication& App();

// A wait's step in a widget test (testing::WaitUntil): the event loop runs
// for a moment.
void RunEvents();

// The widget of that name under root; fails the test when missing.
template <typename Widget>
Widget* Find(const QObject& root, const char* name) {
    auto* widget = root.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << "no widget " << name;
    return widget;
}

}  // namespace mervok::test
