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
#include "ui/match_pane.h"
#include "ui/message_box.h"
#include "ui/result_list.h"

namespace mervok {

namespace {

const QString kCaptionSearch = QStringLiteral("検索(&I)");
const QString kCaptionAbort = QStringLiteral("中止(&P)");

QString Count(std::size_t value) {
    return QString::number(value);
}

}  // namespace

void frmMERVOK::btnSearch_Click() {
    if (mSearch->Active()) {
        AbortSearch();
    } else {
        StartSearch();
    }
}

void frmMERVOK::StartSearch() {
    if (const std::optional<FolderProblem> problem =
            ValidateSearchFolder(QFile::encodeName(txtSearchDir->text()).toStdString())) {
        const std::string_view text = FolderProblemText(*problem);
        QString title = QString::fromUtf8(kProductName);
        CenteredMsgBox(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                       MsgStyle{MsgButtons::Ok, MsgIcon::Exclamation}, title);
        FocusSearchFolder(txtSearchDir);
        return;
    }
    SearchOptions options = mSettings->ReadSearchOptions(mStartup.libraries);
    if (!AnyChosenFormatUsable(options, mStartup.libraries)) {
        return;
    }

    // Locking the options moves the focus off them; a run without hits
    // gives it back.
    mFocusBeforeRun = focusWidget();
    EnableSearchControls(false);
    btnSearch->setText(kCaptionAbort);
    lsvArchive->Clear();
    mRunText = options.text;
    mRunIgnoreCase = options.ignoreCase;
    lsvMatch->ShowMatches(nullptr, mRunText, mRunIgnoreCase);
    setCursor(Qt::WaitCursor);
    SetPanel(2, QStringLiteral("0"));
    SetPanel(3, QString());
    if (options.hideFileNames) {
        SetPanel(1, QStringLiteral("ファイル情報取得中..."));
    }

    mSearch->Start(std::move(options), mStartup, mLibraries, ViewerDocTypes(mStartup.viewerIniFile),
                   reinterpret_cast<void*>(winId()));
}

void frmMERVOK::AbortSearch() {
    // The window looks idle at once; the run stops at its next test.
    mSearch->Abort();
    ShowIdle();
}

void frmMERVOK::ShowIdle() {
    unsetCursor();
    btnSearch->setText(kCaptionSearch);
    ProgressBar1->hide();
    SetPanel(1, QString());
    SetPanel(2, QString());
    SetPanel(3, QString());
    EnableSearchControls(true);
}

void frmMERVOK::ShowSearchProgress(const SearchProgress& progress) {
    if (!progress.checking) {
        if (!progress.currentPath.empty()) {
            SetPanel(1, DisplayName(progress.currentPath));
        }
        SetPanel(2, Count(progress.candidates));
        return;
    }
    if (ProgressBar1->isHidden()) {
        ProgressBar1->setRange(0, static_cast<int>(progress.checkTotal));
        ProgressBar1->setValue(0);
        ProgressBar1->show();
    }
    ProgressBar1->setValue(static_cast<int>(progress.checked));
    SetPanel(2, Count(progress.hits));
}

void frmMERVOK::ShowSearchResult(SearchResult result, bool aborted) {
    // An abort in the walk, or one that came after the walk of a run
    // without the check: the abort click has already restored the window.
    if (result.outcome == SearchOutcome::Failed && !aborted) {
        // Put back as the abort click does, then told.
        ShowIdle();
        QString title = QString::fromUtf8(kProductName);
        CenteredMsgBox(QString::fromStdString(result.error),
                       MsgStyle{MsgButtons::Ok, MsgIcon::Exclamation}, title);
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
        style.colours = mSettings->Colors();
        style.matchCount = !mRunText.empty();
        lsvArchive->Fill(std::move(result.archives), style);
        ProgressBar1->setValue(static_cast<int>(count));
        ProgressBar1->hide();
    }
    SetPanel(3, QString::fromStdString(mSearch->ElapsedText()));

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
