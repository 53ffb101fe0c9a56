// The search run behind btnSearch: start, abort, progress and the result.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <utility>

#include "app/product_info.h"
#include "results/result_model.h"
#include "search/search_engine.h"
#include "search/search_run.h"
#include "startup/startup.h"
#include "ui/centered_msg_box.h"
#include "ui/folder_browser.h"
#include "ui/frm_mervok.h"
#include "ui/message_box.h"
#include "ui/result_list.h"

namespace mervok {

namespace {

const QString kCaptionSearch = QStringLiteral("検索(&I)");
const QString kCaptionAbort = QStringLiteral("中止(&P)");

QString Count(std::size_t value) {
    return QString::number(value);
}

// Lets a test hold the run at a known step.
class ProbeObserver final : public SearchObserver {
  public:
    explicit ProbeObserver(SearchProbe probe) : mProbe(std::move(probe)) {}

    Answer OnCandidate(std::string_view, std::size_t) override {
        return Tell(SearchStep::kCandidate);
    }
    Answer OnCheckStarted(std::size_t) override { return Tell(SearchStep::kCheckStarted); }
    Answer OnCandidateChecked(std::size_t) override { return Tell(SearchStep::kCandidateChecked); }
    Answer OnHit(std::size_t) override { return Tell(SearchStep::kHit); }
    void OnFinished(const SearchResult&) override { Tell(SearchStep::kFinished); }

  private:
    Answer Tell(SearchStep step) {
        mProbe(step);
        return Answer::Continue;
    }
    SearchProbe mProbe;
};

}  // namespace

bool frmMERVOK::SearchRunning() const {
    return mRuns.Current() != nullptr;
}

std::optional<CancelToken> frmMERVOK::RunToken() const {
    if (SearchRun* run = mRuns.Current()) {
        return run->Token();
    }
    return std::nullopt;
}

void frmMERVOK::btnSearch_Click() {
    if (mSearchActive) {
        AbortSearch();
    } else {
        StartSearch();
    }
}

SearchOptions frmMERVOK::ReadSearchOptions() const {
    SearchOptions options;
    options.searchFolder =
        SearchFolderFromText(QFile::encodeName(txtSearchDir->text()).toStdString());
    options.includeSubfolders = chkSubDir->isChecked();
    options.searchLha = chkLHA->isChecked();
    options.searchZip = chkZIP->isChecked();
    options.searchCab = chkCAB->isChecked();
    options.searchExe = chkEXE->isChecked();
    options.hideFileNames = chkNoFileName->isChecked();
    options.skipArchiveCheck = chkNoArcCheck->isChecked();
    options.filePattern = FilePattern(options, mStartup.libraries);
    return options;
}

void frmMERVOK::StartSearch() {
    const std::string_view problem =
        ValidateSearchFolder(QFile::encodeName(txtSearchDir->text()).toStdString());
    if (!problem.empty()) {
        QString title = QString::fromUtf8(kProductName);
        CenteredMsgBox(QString::fromUtf8(problem.data(), static_cast<qsizetype>(problem.size())),
                       kMbOk | kMbIconExclamation, title);
        FocusSearchFolder(txtSearchDir);
        return;
    }
    SearchOptions options = ReadSearchOptions();
    if (!AnyChosenFormatUsable(options, mStartup.libraries)) {
        return;
    }

    // Locking the options moves the focus off them; a run without hits
    // gives it back.
    mFocusBeforeRun = focusWidget();
    EnableSearchControls(false);
    btnSearch->setText(kCaptionAbort);
    lsvArchive->Clear();
    setCursor(Qt::WaitCursor);
    SetPanel(2, QStringLiteral("0"));
    SetPanel(3, QString());
    mElapsed.Restart();
    if (options.hideFileNames) {
        SetPanel(1, QStringLiteral("ファイル情報取得中..."));
    }

    auto run = std::make_unique<SearchRun>(
        std::move(options), mStartup, mLibraries, ViewerDocTypes(mStartup.viewerIniFile),
        mSearchProbe ? std::make_unique<ProbeObserver>(mSearchProbe) : nullptr);
    run->Engine().SetWindow(reinterpret_cast<void*>(winId()));
    const std::uint64_t number = ++mRunNumber;
    mSearchActive = true;
    // A run aborted a moment ago may still be unwinding; its result is no
    // longer wanted. It is let go while every library takes calls from two
    // runs at once, else waited for.
    mRuns.Start(
        std::move(run), IndependentHandles(mLibraries, mStartup.libraries),
        [this, number](const SearchResult& result) {
            // Delivered only while the window lives; it waits for
            // every run before it goes.
            QMetaObject::invokeMethod(
                this,
                [this, number, result]() mutable { OnSearchFinished(number, std::move(result)); },
                Qt::QueuedConnection);
        });
    mProgressTimer.start();
}

void frmMERVOK::AbortSearch() {
    if (SearchRun* run = mRuns.Current()) {
        run->Abort();
    }
    // The window looks idle at once; the worker stops at its next test.
    mSearchActive = false;
    mProgressTimer.stop();
    unsetCursor();
    btnSearch->setText(kCaptionSearch);
    ProgressBar1->hide();
    SetPanel(1, QString());
    SetPanel(2, QString());
    SetPanel(3, QString());
    EnableSearchControls(true);
}

void frmMERVOK::ShowSearchProgress() {
    SearchRun* run = mRuns.Current();
    if (!mSearchActive || run == nullptr) {
        return;
    }
    const std::optional<SearchProgress> progress = run->TakeProgress();
    if (!progress) {
        return;
    }
    if (!progress->checking) {
        if (!progress->currentPath.empty()) {
            SetPanel(1, DisplayName(progress->currentPath));
        }
        SetPanel(2, Count(progress->candidates));
        return;
    }
    if (ProgressBar1->isHidden()) {
        ProgressBar1->setRange(0, static_cast<int>(progress->checkTotal));
        ProgressBar1->setValue(0);
        ProgressBar1->show();
    }
    ProgressBar1->setValue(static_cast<int>(progress->checked));
    SetPanel(2, Count(progress->hits));
}

void frmMERVOK::OnSearchFinished(std::uint64_t run, SearchResult result) {
    if (run != mRunNumber || mUnloaded || mRuns.Current() == nullptr) {
        // An abandoned run, or the window is closing.
        mRuns.Reap();
        return;
    }
    ShowSearchProgress();
    mProgressTimer.stop();
    mSearchActive = false;
    const bool aborted = mRuns.Current()->AbortRequested();
    mRuns.Finish();

    // An abort in the walk, or one that came after the walk of a run
    // without the check: the abort click has already restored the window.
    if (result.outcome == SearchOutcome::Failed && !aborted) {
        // Put back as the abort click does, then told.
        AbortSearch();
        QString title = QString::fromUtf8(kProductName);
        CenteredMsgBox(QString::fromStdString(result.error), kMbOk | kMbIconExclamation, title);
        emit SearchFinished();
        return;
    }
    const bool checkRan = result.CheckRan();
    if (result.outcome == SearchOutcome::Failed || result.outcome == SearchOutcome::WalkAborted ||
        (aborted && !checkRan)) {
        emit SearchFinished();
        return;
    }

    const std::size_t count = result.archives.size();
    if (checkRan) {
        ProgressBar1->hide();
        SetPanel(2, Count(count));
    }
    SetPanel(1, QString());
    btnSearch->setEnabled(false);
    if (count == 0) {
        SetPanel(2, QStringLiteral("0"));
    } else {
        ProgressBar1->setRange(0, static_cast<int>(count));
        ProgressBar1->setValue(0);
        ProgressBar1->show();
        RowStyle style;
        style.colourByKind = chkListColor->isChecked();
        style.noSfxIcons = chkSFXIcon->isChecked();
        style.autoColumnWidth = chkAutoColumn->isChecked();
        style.colours = mColors;
        lsvArchive->Fill(std::move(result.archives), style);
        ProgressBar1->setValue(static_cast<int>(count));
        ProgressBar1->hide();
    }
    SetPanel(3, QString::fromStdString(mElapsed.Text()));

    unsetCursor();
    btnSearch->setText(kCaptionSearch);
    btnSearch->setEnabled(true);
    EnableSearchControls(true);
    if (isMinimized()) {
        showNormal();
    }
    if (count > 0) {
        SetPanel(1, QStringLiteral("ファイルを") +
                        (chkClick->isChecked() ? QStringLiteral("クリック")
                                               : QStringLiteral("ダブルクリック")) +
                        QStringLiteral("したら Quorvix で開きます"));
        lsvArchive->CurrentView()->setFocus();
    } else if (mFocusBeforeRun != nullptr && mFocusBeforeRun->isEnabled()) {
        // Back as if it had never left: the folder box keeps its caret rather
        // than selecting its text as a focus move of the program does.
        mFocusBeforeRun->setFocus(Qt::ActiveWindowFocusReason);
    }
    emit SearchFinished();
}

}  // namespace mervok
