#include <QApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>

#include "app/program_folder.h"
#include "ui/frm_mervok.h"

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

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("MERVOK"));
    mervok::frmMERVOK window(mervok::ProgramFolder());
    if (!window.Form_Load()) {
        return 0;
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
