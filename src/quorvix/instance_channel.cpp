#include "quorvix/instance_channel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <optional>
#include <vector>

namespace mervok::quorvix {

namespace {

// "QVX1", the path's length (4 bytes, little-endian), the path; or, with an
// entry or a text, "QVX2", the length, and the viewer's arguments, each ended
// by a NUL. The answer is "OK" once the archive is taken. A plain start keeps
// the first form, which viewers of every version understand; a viewer that
// does not know the second drops the connection, and the sender then opens
// its own window.
constexpr char kArchiveMagic[] = "QVX1";
constexpr char kArgumentsMagic[] = "QVX2";
constexpr qsizetype kHeaderSize = 8;
constexpr quint32 kMaxPayload = 256 * 1024;
constexpr int kConnectMs = 2000;
constexpr int kAnswerMs = 10000;
// How long Listen asks whether a viewer holds the name already.
constexpr int kProbeMs = 200;

// True when path is a real folder of the user's that no one else may enter
// or write to.
bool IsPrivateFolder(const QString& path, mode_t othersMask) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & othersMask) == 0;
}

// What a message's payload asks for; nothing when it is not understood.
std::optional<ViewerTarget> ReadTarget(const QByteArray& magic, const QByteArray& payload) {
    if (magic == kArchiveMagic) {
        ViewerTarget target;
        target.archive = payload.toStdString();
        return target;
    }
    if (magic != kArgumentsMagic || !payload.endsWith('\0')) {
        return std::nullopt;
    }
    std::vector<std::string> arguments;
    for (const QByteArray& argument : payload.chopped(1).split('\0')) {
        arguments.push_back(argument.toStdString());
    }
    ViewerCommand command = ParseViewerCommandLine(arguments);
    if (command.action != ViewerCommand::Action::Open) {
        return std::nullopt;
    }
    return std::move(command.target);
}

}  // namespace

QString InstanceServerName(const std::string& programFolder) {
    // The runtime folder only when it is the user's own: another user's
    // (sudo keeping the variable) could move what we make there.
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !IsPrivateFolder(base, S_IWGRP | S_IWOTH)) {
        base = QDir::tempPath();
    }
    const QString folder = base + QStringLiteral("/quorvix-%1").arg(::getuid());
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    if (!IsPrivateFolder(folder, S_IRWXG | S_IRWXO)) {
        return {};
    }
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(programFolder), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return folder + QLatin1Char('/') + QString::fromLatin1(hash);
}

bool HandOverArchive(const QString& name, const ViewerTarget& target) {
    const std::vector<std::string> arguments = ViewerTargetArguments(target);
    QByteArray payload;
    for (const std::string& argument : arguments) {
        payload += QByteArray::fromStdString(argument);
        if (arguments.size() > 1) {
            payload += '\0';
        }
    }
    // Only the user's own socket, whatever the folder.
    struct stat info;
    if (::lstat(QFile::encodeName(name).constData(), &info) != 0 || !S_ISSOCK(info.st_mode) ||
        info.st_uid != ::getuid() || payload.size() > kMaxPayload) {
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectMs)) {
        return false;
    }
    QByteArray message(arguments.size() > 1 ? kArgumentsMagic : kArchiveMagic, 4);
    const auto length = static_cast<quint32>(payload.size());
    for (int i = 0; i < 4; ++i) {
        message += static_cast<char>(length >> (8 * i) & 0xFF);
    }
    message += payload;
    socket.write(message);
    if (!socket.waitForBytesWritten(kConnectMs)) {
        return false;
    }
    QByteArray answer;
    while (answer.size() < 2 && socket.waitForReadyRead(kAnswerMs)) {
        answer += socket.readAll();
    }
    return answer.startsWith("OK");
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), mServer(new QLocalServer(this)) {
    mServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(mServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = mServer->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                const QByteArray buffer = socket->peek(kHeaderSize + kMaxPayload);
                if (buffer.size() < kHeaderSize) {
                    return;
                }
                quint32 length = 0;
                for (int i = 0; i < 4; ++i) {
                    length |= static_cast<quint32>(static_cast<unsigned char>(buffer[4 + i]))
                              << (8 * i);
                }
                const QByteArray magic = buffer.first(4);
                if ((magic != kArchiveMagic && magic != kArgumentsMagic) || length > kMaxPayload) {
                    socket->abort();
                    return;
                }
                if (buffer.size() < kHeaderSize + length) {
                    return;
                }
                const std::optional<ViewerTarget> target =
                    ReadTarget(magic, buffer.sliced(kHeaderSize, length));
                if (!target) {
                    socket->abort();
                    return;
                }
                socket->readAll();
                // Answered before the archive is read, which may take a
                // while: the sender must not give up and open a window.
                socket->write("OK");
                socket->flush();
                socket->disconnectFromServer();
                emit targetReceived(*target);
            });
        }
    });
}

bool InstanceServer::Listen(const QString& name) {
    if (name.isEmpty()) {
        return false;
    }
    // Qt's listen puts its socket over the name even where a viewer answers
    // (and over one left behind by a viewer that did not end cleanly, which
    // is right): a viewer that answers keeps the name.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(kProbeMs)) {
        probe.abort();
        return false;
    }
    return mServer->listen(name);
}

}  // namespace mervok::quorvix
