#include "quorvix/quorvix_main.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "app/file_lock.h"
#include "app/program_folder.h"
#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "desktop/qt_translations.h"
#include "desktop/term_signal.h"
#include "quorvix/frm_option.h"
#include "quorvix/frm_quorvix.h"
#include "quorvix/instance_channel.h"
#include "quorvix/quorvix_settings.h"
#include "viewer/viewer_command_line.h"
#include "viewer/viewer_settings.h"

namespace mervok::quorvix {

namespace {

// The argument as given, made absolute against the current folder, so that
// the path is the same for a running viewer in another folder. Its bytes are
// kept: names need not be UTF-8.
std::string AbsolutePath(const std::string& path) {
    if (path.starts_with('/')) {
        return path;
    }
    char folder[PATH_MAX];
    if (::getcwd(folder, sizeof folder) == nullptr) {
        return path;
    }
    return PathInFolder(folder, path);
}

}  // namespace

void ShowHandedOver(InstanceServer& server, frmQuorvix& window) {
    QObject::connect(&server, &InstanceServer::targetReceived, &window,
                     [&window](const ViewerTarget& target) {
                         window.OpenArchive(target);
                         window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
                         window.raise();
                         window.activateWindow();
                     });
}

int RunQuorvix(int argc, char** argv, const RunHooks& hooks) {
    // Read before Qt starts, so that --help and a wrong option need no
    // display.
    ViewerCommand command = ParseViewerCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (command.action) {
        case ViewerCommand::Action::Help:
            std::fwrite(kViewerUsage.data(), 1, kViewerUsage.size(), stdout);
            return 0;
        case ViewerCommand::Action::Error:
            std::fprintf(stderr, "Quorvix.exe: %s\n%.*s", command.error.c_str(),
                         static_cast<int>(kViewerUsage.find('\n') + 1), kViewerUsage.data());
            return 2;
        case ViewerCommand::Action::Open:
            command.target.archive = AbsolutePath(command.target.archive);
            break;
        case ViewerCommand::Action::Options:
            break;
    }
    const bool showArchive = command.action == ViewerCommand::Action::Open;
    int qtArgc = 1;  // our arguments are not Qt's
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvix"));
    InstallQtTranslations(app);
    TermSignalNotifier termSignal;
    QObject::connect(&termSignal, &TermSignalNotifier::received, &app, [] {
        QApplication::closeAllWindows();
        QApplication::quit();
    });

    const std::string programFolder = ProgramFolder();
    SettingsStore ini(ViewerIniPath(PrepareSettingsFolder(programFolder).folder));
    if (!showArchive) {
        frmOption dialog(ini);
        dialog.exec();
        return 0;
    }

    // A start from the search's list is closed by the search when it opens
    // the next hit, so it keeps its own window whatever "PrevInstance" says.
    const bool fromSearchList = TakeDroppedArcFile(ini);
    const bool oneViewer = !fromSearchList && ReadViewerOptions(ini).prevInstance;
    // "" when someone else took the private folder's name: then no hand-over.
    const QString serverName = oneViewer ? InstanceServerName(programFolder) : QString();
    // Listening before the first archive is read: a second start meanwhile
    // hands over instead of racing for the name.
    InstanceServer server;
    bool listening = false;
    if (!serverName.isEmpty()) {
        // Starts at the same moment take turns: each finds the one before it
        // listening (else both would listen, the later over the earlier).
        const FileLockBeside turn(QFile::encodeName(serverName).toStdString());
        if (HandOverArchive(serverName, command.target)) {
            return 0;
        }
        listening = server.Listen(serverName);
    }

    QTemporaryDir privateFolder(QDir::tempPath() + QStringLiteral("/quorvix-XXXXXX"));
    frmQuorvix window(ini, privateFolder.isValid() ? privateFolder.path() : QString());
    if (listening) {
        ShowHandedOver(server, window);
    }
    window.OpenArchive(command.target);
    window.show();
    if (hooks.windowShown) {
        hooks.windowShown(window);
    }
    return QApplication::exec();
}

}  // namespace mervok::quorvix
