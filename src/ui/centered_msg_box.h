#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include "ui/message_box.h"

namespace mervok {

// The program window activated last; the main window and the version dialog
// store themselves here whenever they become active. Null until then.
extern QPointer<QWidget> gOwnerHwnd;

// Shown as the caption when a caller passes an empty title.
inline constexpr const char* kApplicationTitle = "MERVOK";

// Where a box of the given size goes so that it is centred over the owner's
// frame and stays on a screen of the given size (all in pixels): halves go to
// the even neighbour; a box that would leave the screen at the bottom is put
// at nine tenths of the lowest position that fits, one that would leave it at
// the right is put flush with the right edge.
QPoint CenteredBoxPosition(const QRect& owner, const QSize& box, const QSize& screen);

// Moves window so that its frame lies where CenteredBoxPosition puts it over
// owner's frame. The window manager tells a window's frame only once it has
// framed it: until then the window is taken to get a frame like owner's, and
// a second call once it has been painted puts it right.
void CentreOverOwner(QWidget& window, const QWidget& owner);

// Shows a message box centred over the window activated last (placed by the
// system when there is none yet) and returns the button that closed it. An
// empty title becomes "MERVOK", in the caller's variable too.
MsgAnswer CenteredMsgBox(const QString& text, MsgStyle style, QString& title);

}  // namespace mervok
