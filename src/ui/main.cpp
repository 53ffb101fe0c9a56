#include <QApplication>
#include <QFileInfo>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "app/program_folder.h"
#include "ui/frm_mervok.h"
#include "ui/qt_translations.h"

namespace {

int gSignalPipe[2] = {-1, -1};

void OnTerminate(int /*signal*/) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(gSignalPipe[1], &byte, 1);
}

// A polite request to end (the session ending, or kill) closes the window
// as its close box would, so that the settings are saved.
void CloseOnTerminate(mervok::frmMERVOK& window) {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = read(gSignalPipe[0], &byte, 1);
        window.close();
    });
    struct sigaction action = {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

constexpr char kUsage[] = "usage: mervok [FOLDER]\n";

}  // namespace

int main(int argc, char* argv[]) {
    // Asked before Qt starts, so that it needs no display.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("MERVOK"));
    // mervok [FOLDER]: the folder goes into the folder box (a file manager's
    // "open with"); the search starts when the user asks. Qt has taken its
    // own options out by now.
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() > 1 || (arguments.size() == 1 && arguments[0].startsWith('-'))) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    mervok::InstallQtTranslations(app);
    mervok::frmMERVOK window(mervok::ProgramFolder());
    if (!window.Form_Load()) {
        return 0;
    }
    if (!arguments.isEmpty()) {
        window.SetStartFolder(QFileInfo(arguments[0]).absoluteFilePath());
    }
    // A checkpoint, or a logout that may yet be cancelled, saves the
    // settings; the window unloads only when the application really quits.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window] { window.Session_CommitData(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window,
                     [&window] { window.Form_Unload(); });
    CloseOnTerminate(window);
    window.ShowLoaded();
    return app.exec();
}
