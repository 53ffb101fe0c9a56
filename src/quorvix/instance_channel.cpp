#include "quorvix/instance_channel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <cstring>

namespace mervok::quorvix {

namespace {

// "QVX1", the path's length (4 bytes, little-endian), the path; the answer is
// "OK" once the archive is taken.
constexpr char kMagic[] = "QVX1";
constexpr qsizetype kHeaderSize = 8;
constexpr quint32 kMaxPath = 64 * 1024;
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

bool HandOverArchive(const QString& name, const std::string& archivePath) {
    // Only the user's own socket, whatever the folder.
    struct stat info;
    if (::lstat(QFile::encodeName(name).constData(), &info) != 0 || !S_ISSOCK(info.st_mode) ||
        info.st_uid != ::getuid() || archivePath.size() > kMaxPath) {
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectMs)) {
        return false;
    }
    QByteArray message(kMagic, 4);
    const auto length = static_cast<quint32>(archivePath.size());
    for (int i = 0; i < 4; ++i) {
        message += static_cast<char>(length >> (8 * i) & 0xFF);
    }
    message += QByteArray::fromStdString(archivePath);
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
                const QByteArray buffer = socket->peek(kHeaderSize + kMaxPath);
                if (buffer.size() < kHeaderSize) {
                    return;
                }
                quint32 length = 0;
                for (int i = 0; i < 4; ++i) {
                    length |= static_cast<quint32>(static_cast<unsigned char>(buffer[4 + i]))
                              << (8 * i);
                }
                if (std::memcmp(buffer.constData(), kMagic, 4) != 0 || length > kMaxPath) {
                    socket->abort();
                    return;
                }
                if (buffer.size() < kHeaderSize + length) {
                    return;
                }
                socket->readAll();
                // Answered before the archive is read, which may take a
                // while: the sender must not give up and open a window.
                socket->write("OK");
                socket->flush();
                socket->disconnectFromServer();
                emit archiveReceived(buffer.mid(kHeaderSize, length));
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
