#include <QApplication>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/program_folder.h"
#include "desktop/qt_translations.h"
#include "desktop/term_signal.h"
#include "ui/frm_mervok.h"

namespace {

constexpr char kUsage[] = "usage: mervok [FOLDER]\n";

}  // namespace

int main(int argc, char* argv[]) {
    // Asked before Qt starts, so that it needs no display.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // More than one folder is wrong whatever else is given; without any
    // option (Qt's take values) that is plain before Qt needs a display.
    if (argc > 2 && std::none_of(argv + 1, argv + argc, [](const char* a) { return *a == '-'; })) {
        std::fputs(kUsage, stderr);
        return 2;
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
    // A polite request to end (the session ending, kill) closes the window
    // as its close box would, so that the settings are saved.
    mervok::TermSignalNotifier termSignal;
    QObject::connect(&termSignal, &mervok::TermSignalNotifier::received, &window,
                     [&window] { window.close(); });
    window.ShowLoaded();
    return app.exec();
}
