#pragma once

#include <QMainWindow>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/text_decoding.h"
#include "quorvix/archive_contents.h"
#include "quorvix/document_rule.h"
#include "quorvix/quorvix_settings.h"
#include "viewer/viewer_command_line.h"

namespace mervok {
class SettingsStore;
}

class QAction;
class QActionGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QUrl;

namespace mervok::quorvix {

class HtmlView;

// The viewer's window: the archive's documents on the left, the selected one
// on the right (text, a page, or a message with the desktop's application
// for what it cannot show). Everything runs on the window's thread; an entry
// is read at most to a fixed size, so a bomb or a 4 GiB entry costs no more
// than that.
class frmQuorvix : public QMainWindow {
    Q_OBJECT
  public:
    // ini: the viewer's Quorvix.ini. privateFolder: a folder only this
    // process uses (removed when it ends), where entries handed to the
    // desktop are written; "" when there is none.
    frmQuorvix(SettingsStore& ini, QString privateFolder, QWidget* parent = nullptr);
    ~frmQuorvix() override;

    // Opens the archive at path (exact bytes) in place of the one shown and
    // shows its first document.
    void OpenArchive(const std::string& path);
    // Opens target's archive and shows its entry (the first document when
    // none is named or it is not there); with a text, scrolls to its first
    // place from the line on (or from the top when not found there) and
    // marks it, and the find bar holds the text for the next one; with only
    // a line, scrolls there. A page is searched from its top.
    void OpenArchive(const ViewerTarget& target);

    // Asks where "Save as" writes; an empty answer cancels. The default is
    // the file dialog.
    using SavePathPrompt = std::function<QString(QWidget* parent, const QString& suggested)>;
    void SetSavePathPrompt(SavePathPrompt prompt) { mSavePathPrompt = std::move(prompt); }

    // The most of one text or page that is read (kMaxTextBytes).
    void SetTextLimit(std::uint64_t bytes) { mTextLimit = bytes; }

    // The most the copies handed to the desktop take in the private folder
    // together (kMaxHandOverTotal), and the free space a new copy must leave
    // on its file system (kMinFreeAfterHandOver).
    void SetHandOverLimits(std::uint64_t total, std::uint64_t keepFree) {
        mHandOverTotal = total;
        mKeepFree = keepFree;
    }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void CreateMenus();
    // wanted: the entry to select rather than the first or the current one.
    void FillList(std::optional<std::size_t> wanted = std::nullopt);
    std::optional<std::size_t> EntryNamed(const std::string& name) const;
    void GoToText(const QString& text, std::uint64_t line, bool ignoreCase);
    // Brings the view's cursor to the middle of the view.
    void CenterCursor();
    void lstEntry_CurrentRowChanged(int row);
    void ShowItem(std::size_t index);
    // Back and Forward: where a reader was, and how far down.
    struct Visit {
        std::size_t index;
        int scroll;
    };
    void OpenLink(const QString& path, const QUrl& link);
    int Scrolled() const;
    void RememberVisit();
    void GoBack(bool forward);
    void ShowVisit(const Visit& visit);
    void ShowDecoded();
    // An image entry (by its extension) shown by itself; false for others.
    bool ShowImage(const std::string& name);
    // What the status says when the archive could be listed only in part.
    QString ListNotice() const;
    void ShowTextStatus();
    void ShowMessage(const QString& text, bool canSave, bool canOpen);
    // A long text is decoded and shown a screenful first; the rest is decoded
    // and filled in once that has been painted, so that the window paints
    // without waiting for the whole text's decoding and layout.
    void SetText(QString text);
    // The UTF-8 of up to bytes more of the text, decoded as a piece.
    QString DecodeMore(std::size_t bytes);
    bool FillPending() const;
    void FillMore();
    void FinishFill();
    void StopFill();
    // Copies the text view's selection; all of a long text without a copy
    // of its document.
    void CopyText();
    // The text shown, all of it, decoded afresh from its bytes.
    QString AllText() const;
    void SetStatus(const QString& text);
    void mnuAllEntries_Toggled(bool checked);
    void mnuEncoding_Triggered(QAction* action);
    void mnuSaveAs_Click();
    void mnuOpen_Click();
    void mnuOption_Click();
    void btnOpenWith_Click();
    void mnuFind_Click();
    void Find(bool backward);
    void ChangeFontSize(int step);
    void mnuFont_Click();
    void ApplyFont();
    void ApplyWrap();
    // "document - archive - Quorvix".
    void UpdateTitle();
    std::optional<QByteArray> LoadArchiveFile(const QString& path, std::uint64_t limit);
    // Writes the current item to file; the error's text when it failed.
    std::optional<QString> WriteItem(const QString& file, std::uint64_t limit);
    // The current item's copy in the private folder: the one written before
    // for it, else a new one within the folder's budget and the free space;
    // none, with the reason in the status, when refused.
    std::optional<QString> HandOverCopy();

    SettingsStore& mIni;
    QString mPrivateFolder;
    WindowSettings mSettings;
    SavePathPrompt mSavePathPrompt;
    std::uint64_t mTextLimit = kMaxTextBytes;

    std::unique_ptr<ArchiveContents> mArchive;
    std::string mArchivePath;
    std::optional<std::size_t> mCurrent;
    std::string mCurrentBytes;  // of the text or page shown, as stored
    EntryKind mCurrentKind = EntryKind::Text;
    ReadStatus mCurrentStatus = ReadStatus::Complete;
    std::optional<TextEncoding> mEncodingOverride;
    std::vector<Visit> mBack;
    std::vector<Visit> mForward;
    QString mPendingText;  // of the text shown, not yet in its view
    qsizetype mPendingFrom = 0;
    TextEncoding mShownEncoding = TextEncoding::Utf8;
    std::unique_ptr<TextDecoder> mDecoder;  // of the text shown
    std::size_t mUndecodedFrom = 0;         // in mCurrentBytes: not yet decoded
    std::size_t mInvalidSequences = 0;
    qsizetype mLineLength = 0;  // of the last line put in, as shown
    QString mPageNotice;        // what was done to the page shown to show it
    bool mFilling = false;      // FillMore is on its way
    int mExportCount = 0;
    // The copies in the private folder, by archive path and entry, and the
    // bytes they take together.
    std::map<std::pair<std::string, std::size_t>, QString> mHandedOver;
    std::uint64_t mHandedOverBytes = 0;
    std::uint64_t mHandOverTotal;
    std::uint64_t mKeepFree;
    // Counts the archives opened: one handed over while a dialog was open
    // makes what was chosen before it stale.
    std::uint64_t mOpenCount = 0;
    QString mLastSaveFolder;

    QSplitter* splMain;
    QListWidget* lstEntry;
    QStackedWidget* stkView;
    QPlainTextEdit* txtDocument;
    HtmlView* htmDocument;
    QWidget* pnlMessage;
    QLabel* lblMessage;
    QPushButton* btnOpenWith;
    QPushButton* btnSaveEntry;
    QWidget* pnlFind;
    QLineEdit* txtFind;
    QCheckBox* chkMatchCase;
    QLabel* lblStatus;
    QLabel* lblEncoding;
    QAction* mnuSaveAs;
    QAction* mnuWrap;
    QAction* mnuAllEntries;
    QActionGroup* grpEncoding;
};

}  // namespace mervok::quorvix
