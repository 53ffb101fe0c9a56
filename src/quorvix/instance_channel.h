#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <string>

#include "viewer/viewer_command_line.h"

class QLocalServer;

namespace mervok::quorvix {

// With "PrevInstance" = 1 there is one viewer per user and program folder: the
// first one listens on a local socket, and a later start hands its archive
// over and ends. The socket lies in a private folder "quorvix-<uid>" (mode
// 0700, the user's) in $XDG_RUNTIME_DIR when that is the user's own, else in
// the temporary folder, and is named after the program folder, so that two
// installations keep their own viewer and no one else may connect, put a
// socket in its place or take its name first.

// The socket's full path for this user and program folder, its folder made
// when missing; "" when that folder is not the user's alone (another user
// made it first): the viewer then runs on its own, without hand-over.
QString InstanceServerName(const std::string& programFolder);

// Hands the target (the archive's exact path, and the entry and text when
// asked for) to the viewer listening at name and waits until it has taken it.
// False when no viewer of this user listens there, it did not answer in time
// or it does not understand an entry and text (an older viewer); the caller
// then opens its own window.
bool HandOverArchive(const QString& name, const ViewerTarget& target);

// The listening side, owned by the first viewer.
class InstanceServer : public QObject {
    Q_OBJECT
  public:
    explicit InstanceServer(QObject* parent = nullptr);
    // Listens at name, replacing a socket file that no viewer answers on;
    // false, leaving the name, when a viewer answers there, and for "".
    bool Listen(const QString& name);

  signals:
    void targetReceived(const mervok::ViewerTarget& target);

  private:
    QLocalServer* mServer;
};

}  // namespace mervok::quorvix
