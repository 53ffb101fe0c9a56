// Opens an archive in the viewer's window and prints the longest time the
// event loop was held while its first document was prepared, laid out and
// painted, and how long that took in all, so that a script can compare pages
// with a reference. The window runs as Quorvix.exe shows it (offscreen).
//
//   page_layout ARCHIVE

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "app/settings_store.h"
#include "quorvix/frm_quorvix.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: page_layout ARCHIVE\n");
        return 2;
    }
    QApplication app(argc, argv);
    mervok::SettingsStore ini(std::string(argv[1]) + ".ini");
    mervok::quorvix::frmQuorvix window(ini, QString());
    window.show();
    // A beat on every turn of the event loop: the longest gap between two is
    // the longest the loop was held.
    QElapsedTimer all;
    QElapsedTimer beat;
    qint64 longest = 0;
    qint64 quietSince = 0;
    QTimer heart;
    QObject::connect(&heart, &QTimer::timeout, [&] {
        const qint64 gap = beat.restart();
        longest = std::max(longest, gap);
        // Done once the loop has turned freely for half a second.
        if (gap > 20) {
            quietSince = all.elapsed();
        } else if (all.elapsed() - quietSince > 500) {
            std::printf("longest %lld ms, all %lld ms\n", static_cast<long long>(longest),
                        static_cast<long long>(quietSince));
            std::fflush(stdout);
            app.quit();
        }
    });
    QTimer::singleShot(0, [&] {
        all.start();
        beat.start();
        heart.start(0);
        window.OpenArchive(argv[1]);
        window.grab();
    });
    return app.exec();
}
