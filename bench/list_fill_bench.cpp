// Fills the result list with 100,000 hits offscreen, sorts, shows and paints
// it in each view, and prints the time beside a reference from the same run:
// building the same 100,000 records and sorting them by name with std::sort.
#include "search/found_archive.h"
#include "ui/result_list.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QFontDatabase>
#include <QListView>
#include "results/result_model.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using mervok::ArchiveKind;
using mervok::FoundArchive;

constexpr int kRows = 100000;

// Hits as a walk finds them: folder by folder, a hundred files in each, with
// Japanese and Latin names (one in eight in Shift-JIS, as on old media), four
// kinds, sizes up to 4 GiB and mixed times.
std::vector<FoundArchive> MakeHits() {
    std::mt19937_64 random(20240601);
    static const ArchiveKind kKinds[] = {ArchiveKind::Lha, ArchiveKind::Zip, ArchiveKind::Cab,
                                         ArchiveKind::LhaSfx};
    static const char* const kExtensions[] = {".lzh", ".zip", ".cab", ".exe"};
    static const char* const kWords[] = {"議事録", "report",   "設計書", "manual",
                                         "readme", "テキスト", "data",   "\x8e\x91\x97\xbf"};
    std::vector<FoundArchive> hits;
    hits.reserve(kRows);
    char buffer[64];
    for (int i = 0; i < kRows; ++i) {
        FoundArchive hit;
        std::snprintf(buffer, sizeof buffer, "/srv/archive/vol%02d/dir%04d/", i / 20000, i / 100);
        hit.folder = buffer;
        const auto kind = random() % 4;
        hit.fileName = std::string(kWords[random() % 8]) + "_" +
                       std::to_string(random() % 1000000) + kExtensions[kind];
        hit.kind = kKinds[kind];
        hit.size = static_cast<std::int64_t>(random() % 4'300'000'000ULL);
        std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d %02d:%02d:%02d",
                      1995 + static_cast<int>(random() % 30), 1 + static_cast<int>(random() % 12),
                      1 + static_cast<int>(random() % 28), static_cast<int>(random() % 24),
                      static_cast<int>(random() % 60), static_cast<int>(random() % 60));
        hit.modified = buffer;
        hits.push_back(std::move(hit));
    }
    return hits;
}

// Runs the event loop until the view has laid out its last row (the icon
// views lay out in batches) and paints the list once.
void ShowAndSettle(mervok::ResultList& list, QApplication& app) {
    list.show();
    QAbstractItemView* view = list.CurrentView();
    const QModelIndex last = list.Proxy()->index(list.RowCount() - 1, 0);
    for (int round = 0; round < 100000; ++round) {
        app.processEvents();
        if (view->visualRect(last).isValid()) {
            break;
        }
    }
    (void)list.grab();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    for (const char* family : {"IPAGothic", "IPAPGothic", "Noto Sans CJK JP"}) {
        if (QFontDatabase::hasFamily(QString::fromUtf8(family))) {
            QApplication::setFont(QFont(QString::fromUtf8(family), 9));
            break;
        }
    }

    // The machine is shared: every figure is the best of a few runs.
    constexpr int kRuns = 3;
    QElapsedTimer timer;
    double referenceMs = 1e300;
    for (int run = 0; run < kRuns; ++run) {
        timer.start();
        std::vector<FoundArchive> reference = MakeHits();
        std::sort(
            reference.begin(), reference.end(),
            [](const FoundArchive& a, const FoundArchive& b) { return a.fileName < b.fileName; });
        referenceMs = std::min(referenceMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("reference: build %d records + std::sort by name: %.1f ms\n", kRows, referenceMs);

    static const char* const kViews[] = {"large icons", "small icons", "list",
                                         "details, auto width"};
    for (int viewIndex = 0; viewIndex < 4; ++viewIndex) {
        double fillMs = 1e300;
        double totalMs = 1e300;
        for (int run = 0; run < kRuns; ++run) {
            std::vector<FoundArchive> hits = MakeHits();
            mervok::ResultList list;
            list.resize(1000, 700);
            list.SetUpColumns();
            list.SetView(viewIndex);
            list.show();
            app.processEvents();

            mervok::RowStyle style;
            style.colourByKind = true;
            style.noSfxIcons = true;
            style.autoColumnWidth = true;
            style.colours = {0x0000C0, 0x008000, 0xC00000, 0x800080, 0x808000, 0x008080};

            timer.restart();
            list.Clear();
            list.Fill(std::move(hits), style);
            fillMs = std::min(fillMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
            ShowAndSettle(list, app);
            totalMs = std::min(totalMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("%-20s fill+sort %6.1f ms, shown and laid out %6.1f ms, ratio %.2f\n",
                    kViews[viewIndex], fillMs, totalMs, totalMs / referenceMs);
    }
    return 0;
}
