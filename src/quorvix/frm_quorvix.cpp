#include "quorvix/frm_quorvix.h"

#include <sys/statvfs.h>

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QColor>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/jis_variants.h"
#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "app/text_util.h"
#include "quorvix/frm_option.h"
#include "quorvix/html_view.h"
#include "quorvix/open_with_policy.h"
#include "quorvix/page_bounds.h"
#include "quorvix/reading_order.h"
#include "viewer/viewer_settings.h"

namespace mervok::quorvix {

namespace {

// A file handed to the desktop is written whole; beyond this it is refused.
constexpr std::uint64_t kMaxHandOverBytes = std::uint64_t{2} << 30;
// The copies handed over are kept until the viewer ends (the desktop's
// application may open its file late); together they take at most this, and
// each leaves at least the second figure free on the temporary folder's disk.
constexpr std::uint64_t kMaxHandOverTotal = std::uint64_t{4} << 30;
constexpr std::uint64_t kMinFreeAfterHandOver = std::uint64_t{1} << 30;
// How much of a text goes into the view before the first paint, and then per
// turn of the event loop.
constexpr std::size_t kFirstDecode = 64 * 1024;  // bytes
constexpr qsizetype kFirstFill = 32 * 1024;      // characters
constexpr qsizetype kLaterFill = 256 * 1024;
constexpr std::size_t kLaterDecode = 1 << 20;  // bytes
// The longest line the text view holds as one: its layout takes the square of
// a line's length (a line of 600 K characters held the window for seconds),
// so a longer one is shown in lines of this many characters. Copying all of
// a text gives it as it is.
constexpr qsizetype kMaxLineShown = 4096;
constexpr int kMinFontSize = 6;
constexpr int kMaxFontSize = 96;

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The find bar's text as a pattern in which either form of a JIS/CP932
// variant pair (〜 and ～, ...) matches, so that a find works alike in texts
// from every Japanese encoding.
QRegularExpression FindPattern(const QString& wanted, bool matchCase) {
    QString pattern;
    qsizetype run = 0;  // start of the characters not yet put in
    for (qsizetype i = 0; i <= wanted.size(); ++i) {
        const char32_t c = i < wanted.size() ? wanted[i].unicode() : 0;
        const char32_t partner = JisVariantPartner(c);
        if (i < wanted.size() && partner == c) {
            continue;
        }
        pattern += QRegularExpression::escape(wanted.sliced(run, i - run));
        if (i < wanted.size()) {
            pattern += QStringLiteral("[%1%2]").arg(QChar(c), QChar(partner));
        }
        run = i + 1;
    }
    return QRegularExpression(pattern, matchCase ? QRegularExpression::NoPatternOption
                                                 : QRegularExpression::CaseInsensitiveOption);
}

// Whether a decoded sample is mostly what no text holds: bytes that did not
// decode, controls, unassigned, private-use or lone surrogate code points.
bool LooksLikeNonsense(const QString& sample) {
    qsizetype odd = 0;
    for (const QChar c : sample) {
        const QChar::Category category = c.category();
        odd += c == QChar::ReplacementCharacter || category == QChar::Other_NotAssigned ||
               category == QChar::Other_PrivateUse || category == QChar::Other_Surrogate ||
               (category == QChar::Other_Control && !QStringLiteral("\t\n\f\x1A\x1B").contains(c));
    }
    return odd >= 16 && odd * 16 > sample.size();
}

// The text with a line break put in wherever a line would grow past
// kMaxLineShown; lineLength carries the length of the last line over to the
// next piece.
QString BreakLongLines(QString text, qsizetype& lineLength) {
    QString out;
    bool broken = false;  // out holds the text up to `from`
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), from);
        const qsizetype end = lineEnd < 0 ? text.size() : lineEnd;
        const qsizetype room = kMaxLineShown - lineLength;
        if (end - from <= room) {
            const qsizetype take = end - from + (lineEnd < 0 ? 0 : 1);
            lineLength = lineEnd < 0 ? lineLength + take : 0;
            if (broken) {
                out += QStringView(text).sliced(from, take);
            }
            from += take;
            continue;
        }
        qsizetype take = room;
        if (take > 0 && text.at(from + take).isLowSurrogate()) {
            --take;  // the pair stays whole, in the next line
        }
        if (!broken) {
            out.reserve(text.size() + text.size() / kMaxLineShown + 1);
            out += QStringView(text).first(from);
            broken = true;
        }
        out += QStringView(text).sliced(from, take);
        out += QLatin1Char('\n');
        lineLength = 0;
        from += take;
    }
    return broken ? out : text;
}

// Where the character at `at` of the text stands in what the view shows: the
// same text with the line breaks BreakLongLines put in, which move every later
// character on.
qsizetype ShownIndex(const QString& text, const QString& shown, qsizetype at) {
    qsizetype j = 0;
    for (qsizetype i = 0;; ++i, ++j) {
        while (j < shown.size() && shown.at(j) == QLatin1Char('\n') &&
               (i >= text.size() || text.at(i) != QLatin1Char('\n'))) {
            ++j;  // a break put in
        }
        if (i >= at || j >= shown.size()) {
            return std::min(j, shown.size());
        }
    }
}

QString SizeText(std::uint64_t bytes) {
    return QLocale(QLocale::Japanese).toString(static_cast<qulonglong>(bytes)) +
           QStringLiteral(" バイト");
}

QString LimitText(std::uint64_t bytes) {
    return bytes % (1 << 20) == 0 ? QStringLiteral("%1 MiB").arg(bytes >> 20) : SizeText(bytes);
}

QString TooLargeText(std::uint64_t limit) {
    return QStringLiteral("%1 を超えるため書き出しません。").arg(LimitText(limit));
}

}  // namespace

frmQuorvix::frmQuorvix(SettingsStore& ini, QString privateFolder, QWidget* parent)
    : QMainWindow(parent),
      mIni(ini),
      mPrivateFolder(std::move(privateFolder)),
      mSettings(ReadWindowSettings(ini)),
      mHandOverTotal(kMaxHandOverTotal),
      mKeepFree(kMinFreeAfterHandOver),
      mLastSaveFolder(QDir::homePath()) {
    setObjectName(QStringLiteral("frmQuorvix"));
    setWindowTitle(QStringLiteral("Quorvix"));
    mSavePathPrompt = [](QWidget* owner, const QString& suggested) {
        return QFileDialog::getSaveFileName(owner, QStringLiteral("名前を付けて保存"), suggested);
    };
    CreateControls();
    CreateMenus();
    // Settings someone else controls are neither read nor written; the
    // status says so for as long as the window is open.
    if (const auto trust = ini.Trust(); trust != SettingsTrust::Usable) {
        auto* lblSettings =
            new QLabel(QString::fromStdString(SettingsRefusalText(trust, ini.Path())), this);
        lblSettings->setObjectName(QStringLiteral("lblSettings"));
        statusBar()->addPermanentWidget(lblSettings);
    }
    resize(mSettings.width, mSettings.height);
    // Where it was, unless that is on no screen now.
    const QPoint position(mSettings.left, mSettings.top);
    if (mSettings.left != WindowSettings::kNoPosition &&
        QGuiApplication::screenAt(position + QPoint(20, 20)) != nullptr) {
        move(position);
    }
    splMain->setSizes({mSettings.listWidth, std::max(mSettings.width - mSettings.listWidth, 100)});
    ApplyFont();
    ApplyWrap();
}

frmQuorvix::~frmQuorvix() = default;

void frmQuorvix::CreateControls() {
    splMain = new QSplitter(Qt::Horizontal, this);
    splMain->setObjectName(QStringLiteral("splMain"));
    lstEntry = new QListWidget(splMain);
    lstEntry->setObjectName(QStringLiteral("lstEntry"));
    connect(lstEntry, &QListWidget::currentRowChanged, this,
            &frmQuorvix::lstEntry_CurrentRowChanged);

    auto* right = new QWidget(splMain);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(2);
    stkView = new QStackedWidget(right);
    stkView->setObjectName(QStringLiteral("stkView"));
    txtDocument = new QPlainTextEdit(stkView);
    txtDocument->setObjectName(QStringLiteral("txtDocument"));
    txtDocument->setReadOnly(true);
    txtDocument->setUndoRedoEnabled(false);
    txtDocument->viewport()->installEventFilter(this);
    txtDocument->installEventFilter(this);
    txtDocument->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    htmDocument = new HtmlView(stkView);
    htmDocument->setObjectName(QStringLiteral("htmDocument"));
    htmDocument->viewport()->installEventFilter(this);
    connect(htmDocument, &HtmlView::archiveLinkClicked, this, &frmQuorvix::OpenLink);

    pnlMessage = new QWidget(stkView);
    pnlMessage->setObjectName(QStringLiteral("pnlMessage"));
    auto* messageLayout = new QVBoxLayout(pnlMessage);
    lblMessage = new QLabel(pnlMessage);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setWordWrap(true);
    lblMessage->setAlignment(Qt::AlignCenter);
    lblMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnOpenWith = new QPushButton(QStringLiteral("関連付けられたアプリで開く(&P)"), pnlMessage);
    btnOpenWith->setObjectName(QStringLiteral("btnOpenWith"));
    connect(btnOpenWith, &QPushButton::clicked, this, &frmQuorvix::btnOpenWith_Click);
    btnSaveEntry = new QPushButton(QStringLiteral("名前を付けて保存(&A)..."), pnlMessage);
    btnSaveEntry->setObjectName(QStringLiteral("btnSaveEntry"));
    connect(btnSaveEntry, &QPushButton::clicked, this, &frmQuorvix::mnuSaveAs_Click);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(btnOpenWith);
    buttonRow->addWidget(btnSaveEntry);
    buttonRow->addStretch();
    messageLayout->addStretch();
    messageLayout->addWidget(lblMessage);
    messageLayout->addLayout(buttonRow);
    messageLayout->addStretch();
    stkView->addWidget(txtDocument);
    stkView->addWidget(htmDocument);
    stkView->addWidget(pnlMessage);

    pnlFind = new QWidget(right);
    pnlFind->setObjectName(QStringLiteral("pnlFind"));
    auto* findLayout = new QHBoxLayout(pnlFind);
    findLayout->setContentsMargins(4, 0, 4, 0);
    auto* lblFind = new QLabel(QStringLiteral("検索する文字列(&N):"), pnlFind);
    lblFind->setObjectName(QStringLiteral("lblFind"));
    txtFind = new QLineEdit(pnlFind);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    lblFind->setBuddy(txtFind);
    chkMatchCase = new QCheckBox(QStringLiteral("大文字と小文字を区別する(&C)"), pnlFind);
    chkMatchCase->setObjectName(QStringLiteral("chkMatchCase"));
    auto* btnFindNext = new QPushButton(QStringLiteral("次を検索(&X)"), pnlFind);
    btnFindNext->setObjectName(QStringLiteral("btnFindNext"));
    auto* btnFindPrevious = new QPushButton(QStringLiteral("前を検索(&B)"), pnlFind);
    btnFindPrevious->setObjectName(QStringLiteral("btnFindPrevious"));
    auto* btnFindClose = new QPushButton(QStringLiteral("閉じる"), pnlFind);
    btnFindClose->setObjectName(QStringLiteral("btnFindClose"));
    connect(txtFind, &QLineEdit::returnPressed, this, [this] { Find(false); });
    connect(btnFindNext, &QPushButton::clicked, this, [this] { Find(false); });
    connect(btnFindPrevious, &QPushButton::clicked, this, [this] { Find(true); });
    connect(btnFindClose, &QPushButton::clicked, this, [this] {
        pnlFind->hide();
        stkView->currentWidget()->setFocus();
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), pnlFind);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, btnFindClose, &QPushButton::click);
    findLayout->addWidget(lblFind);
    findLayout->addWidget(txtFind, 1);
    findLayout->addWidget(chkMatchCase);
    findLayout->addWidget(btnFindNext);
    findLayout->addWidget(btnFindPrevious);
    findLayout->addWidget(btnFindClose);
    pnlFind->hide();

    rightLayout->addWidget(stkView, 1);
    rightLayout->addWidget(pnlFind);
    splMain->addWidget(lstEntry);
    splMain->addWidget(right);
    splMain->setStretchFactor(1, 1);
    setCentralWidget(splMain);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblEncoding = new QLabel(this);
    lblEncoding->setObjectName(QStringLiteral("lblEncoding"));
    statusBar()->addWidget(lblStatus, 1);
    statusBar()->addPermanentWidget(lblEncoding);
}

void frmQuorvix::CreateMenus() {
    const auto add = [this](QMenu* menu, const char* name, const QString& text,
                            const QKeySequence& keys, auto slot) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        if (!keys.isEmpty()) {
            action->setShortcut(keys);
        }
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    add(mnuFile, "mnuOpen", QStringLiteral("書庫を開く(&O)..."), QKeySequence::Open,
        &frmQuorvix::mnuOpen_Click);
    mnuSaveAs = add(mnuFile, "mnuSaveAs", QStringLiteral("名前を付けて保存(&A)..."),
                    QKeySequence::Save, &frmQuorvix::mnuSaveAs_Click);
    mnuFile->addSeparator();
    add(mnuFile, "mnuOption", QStringLiteral("オプション(&T)..."), {},
        &frmQuorvix::mnuOption_Click);
    mnuFile->addSeparator();
    add(mnuFile, "mnuExit", QStringLiteral("終了(&X)"), QKeySequence::Quit, &QWidget::close);

    QMenu* mnuEdit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    add(mnuEdit, "mnuCopy", QStringLiteral("コピー(&C)"), QKeySequence::Copy, [this] {
        if (stkView->currentWidget() == htmDocument) {
            htmDocument->copy();
        } else {
            CopyText();
        }
    });
    add(mnuEdit, "mnuSelectAll", QStringLiteral("すべて選択(&A)"), QKeySequence::SelectAll, [this] {
        if (stkView->currentWidget() == htmDocument) {
            htmDocument->selectAll();
        } else {
            // What is filled in later joins the selection at its end.
            txtDocument->selectAll();
        }
    });
    mnuEdit->addSeparator();
    add(mnuEdit, "mnuFind", QStringLiteral("検索(&F)..."), QKeySequence::Find,
        &frmQuorvix::mnuFind_Click);
    add(mnuEdit, "mnuFindNext", QStringLiteral("次を検索(&N)"), QKeySequence(Qt::Key_F3),
        [this] { Find(false); });
    add(mnuEdit, "mnuFindPrevious", QStringLiteral("前を検索(&V)"),
        QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { Find(true); });

    QMenu* mnuView = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuWrap = add(mnuView, "mnuWrap", QStringLiteral("右端で折り返す(&W)"), {}, [this] {
        mSettings.wrap = mnuWrap->isChecked();
        ApplyWrap();
    });
    mnuWrap->setCheckable(true);
    mnuWrap->setChecked(mSettings.wrap);
    mnuAllEntries = mnuView->addAction(QStringLiteral("すべてのファイルを表示(&E)"));
    mnuAllEntries->setObjectName(QStringLiteral("mnuAllEntries"));
    mnuAllEntries->setCheckable(true);
    mnuAllEntries->setChecked(mSettings.allEntries);
    connect(mnuAllEntries, &QAction::toggled, this, &frmQuorvix::mnuAllEntries_Toggled);
    mnuView->addSeparator();
    add(mnuView, "mnuFontLarger", QStringLiteral("文字を大きく(&L)"), QKeySequence::ZoomIn,
        [this] { ChangeFontSize(1); });
    add(mnuView, "mnuFontSmaller", QStringLiteral("文字を小さく(&S)"), QKeySequence::ZoomOut,
        [this] { ChangeFontSize(-1); });
    add(mnuView, "mnuFont", QStringLiteral("フォント(&F)..."), {}, &frmQuorvix::mnuFont_Click);

    QMenu* mnuGo = menuBar()->addMenu(QStringLiteral("移動(&G)"));
    mnuGo->setObjectName(QStringLiteral("mnuGo"));
    add(mnuGo, "mnuBack", QStringLiteral("戻る(&B)"), QKeySequence(Qt::ALT | Qt::Key_Left),
        [this] { GoBack(false); });
    add(mnuGo, "mnuForward", QStringLiteral("進む(&F)"), QKeySequence(Qt::ALT | Qt::Key_Right),
        [this] { GoBack(true); });

    QMenu* mnuEncoding = menuBar()->addMenu(QStringLiteral("文字コード(&C)"));
    mnuEncoding->setObjectName(QStringLiteral("mnuEncoding"));
    grpEncoding = new QActionGroup(this);
    QAction* automatic = mnuEncoding->addAction(QStringLiteral("自動判別(&A)"));
    automatic->setObjectName(QStringLiteral("mnuEncodingAuto"));
    automatic->setCheckable(true);
    automatic->setChecked(true);
    grpEncoding->addAction(automatic);
    mnuEncoding->addSeparator();
    int key = 1;
    for (const TextEncoding encoding : kAllEncodings) {
        const QString name = QString::fromLatin1(EncodingName(encoding));
        QAction* action = mnuEncoding->addAction(QStringLiteral("&%1 %2").arg(key++).arg(name));
        action->setObjectName(QStringLiteral("mnuEncoding_") + name);
        action->setCheckable(true);
        action->setData(static_cast<int>(encoding));
        grpEncoding->addAction(action);
    }
    connect(grpEncoding, &QActionGroup::triggered, this, &frmQuorvix::mnuEncoding_Triggered);
}

void frmQuorvix::OpenArchive(const std::string& path) {
    ViewerTarget target;
    target.archive = path;
    OpenArchive(target);
}

void frmQuorvix::OpenArchive(const ViewerTarget& target) {
    const std::string& path = target.archive;
    mArchivePath = path;
    ++mOpenCount;
    mArchive.reset();
    mCurrent.reset();
    mBack.clear();
    mForward.clear();
    mCurrentBytes.clear();
    UpdateTitle();

    OpenError error = OpenError::None;
    const std::string wildcards = DocumentWildcardsFor(ReadViewerDocTypes(mIni));
    mArchive = ArchiveContents::Open(path, wildcards, error);
    lstEntry->clear();
    if (!mArchive) {
        const QString where = FromUtf8(DisplayName(path));
        ShowMessage(error == OpenError::Missing
                        ? QStringLiteral("書庫が見つかりません。\n\n%1").arg(where)
                    : error == OpenError::Folder
                        ? QStringLiteral("フォルダは書庫として開けません。\n\n%1").arg(where)
                        : QStringLiteral("LHA、ZIP、CAB のどの書庫としても読めません。\n"
                                         "壊れているか、書庫ではないファイルです。\n\n%1")
                              .arg(where),
                    false, false);
        SetStatus({});
        return;
    }
    const std::optional<std::size_t> wanted = EntryNamed(target.entry);
    FillList(wanted);
    if (wanted && mCurrent != wanted) {
        ShowVisit({*wanted, 0});  // not listed: shown all the same
    }
    if (!target.entry.empty() && !wanted) {
        SetStatus(QStringLiteral("この書庫にはありません: %1").arg(FromUtf8(target.entry)));
    } else if (!target.text.empty() || target.line > 0) {
        GoToText(FromUtf8(target.text), target.line, target.ignoreCase);
    }
}

std::optional<std::size_t> frmQuorvix::EntryNamed(const std::string& name) const {
    if (name.empty()) {
        return std::nullopt;
    }
    const auto& items = mArchive->Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].displayName == name) {
            return i;
        }
    }
    return mArchive->Find(name);
}

void frmQuorvix::GoToText(const QString& text, std::uint64_t line, bool ignoreCase) {
    if (!text.isEmpty()) {
        txtFind->setText(text);
        chkMatchCase->setChecked(!ignoreCase);
        pnlFind->show();
    }
    const QRegularExpression pattern = FindPattern(text, !ignoreCase);
    QTextCursor found;
    QWidget* view = stkView->currentWidget();
    if (view == txtDocument) {
        FinishFill();
        const QString all = AllText();
        qsizetype from = 0;
        for (std::uint64_t at = 1; at < line && from >= 0; ++at) {
            from = all.indexOf(QLatin1Char('\n'), from);
            from += from >= 0 ? 1 : 0;
        }
        qsizetype start = from;
        qsizetype end = from;
        if (!text.isEmpty()) {
            // From the top when the line is gone (another limit, a changed file).
            QRegularExpressionMatch match = pattern.match(all, std::max<qsizetype>(from, 0));
            if (!match.hasMatch() && from != 0) {
                match = pattern.match(all);
            }
            start = match.hasMatch() ? match.capturedStart() : -1;
            end = match.capturedEnd();
        }
        if (start >= 0) {
            // The decoder ends every line with one LF, as the view has it; a
            // long line the view broke in several moves what follows on.
            QTextDocument* document = txtDocument->document();
            if (document->characterCount() - 1 != all.size()) {
                const QString shown = document->toPlainText();
                const qsizetype shownEnd =
                    end > start ? ShownIndex(all, shown, end - 1) + 1 : ShownIndex(all, shown, end);
                start = ShownIndex(all, shown, start);
                end = shownEnd;
            }
            found = QTextCursor(document);
            found.setPosition(static_cast<int>(start));
            found.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
        }
    } else if (view == htmDocument && !text.isEmpty()) {
        found = htmDocument->document()->find(pattern);
    }
    if (found.isNull()) {
        if (!text.isEmpty()) {
            SetStatus(QStringLiteral("見つかりません: %1").arg(text));
        }
        return;
    }
    // Marked apart from the selection, so that the mark shows whatever has
    // the focus; the cursor after it, so that the next find goes on from it.
    QTextEdit::ExtraSelection mark;
    mark.cursor = found;
    mark.format.setBackground(QColor(255, 224, 0));
    mark.format.setForeground(Qt::black);
    const QList<QTextEdit::ExtraSelection> marks =
        found.hasSelection() ? QList{mark} : QList<QTextEdit::ExtraSelection>();
    found.clearSelection();
    if (view == txtDocument) {
        txtDocument->setTextCursor(found);
        txtDocument->setExtraSelections(marks);
    } else {
        htmDocument->setTextCursor(found);
        htmDocument->setExtraSelections(marks);
    }
    // Before the window is first shown its views have no height yet.
    if (isVisible()) {
        CenterCursor();
    } else {
        QTimer::singleShot(0, this, &frmQuorvix::CenterCursor);
    }
}

void frmQuorvix::CenterCursor() {
    if (stkView->currentWidget() == htmDocument) {
        QScrollBar* bar = htmDocument->verticalScrollBar();
        bar->setValue(bar->value() + htmDocument->cursorRect().center().y() -
                      htmDocument->viewport()->height() / 2);
    } else if (stkView->currentWidget() == txtDocument) {
        txtDocument->centerCursor();
    }
}

void frmQuorvix::FillList(std::optional<std::size_t> wanted) {
    const QSignalBlocker blocker(lstEntry);
    lstEntry->clear();
    const auto& items = mArchive->Items();
    std::vector<const ArchiveItem*> listed;
    for (const std::size_t i : ReadingOrder(items)) {
        if (items[i].document || mSettings.allEntries) {
            auto* row = new QListWidgetItem(FromUtf8(items[i].displayName), lstEntry);
            row->setData(Qt::UserRole, static_cast<qulonglong>(i));
            row->setToolTip(row->text());
            listed.push_back(&items[i]);
        }
    }
    int select = listed.empty() ? 0 : static_cast<int>(FirstToShow(listed));
    const std::optional<std::size_t> keep = wanted ? wanted : mCurrent;
    for (int row = 0; keep && row < lstEntry->count(); ++row) {
        if (lstEntry->item(row)->data(Qt::UserRole).toULongLong() == *keep) {
            select = row;
        }
    }
    if (lstEntry->count() > 0) {
        lstEntry->setCurrentRow(select);
        // The entry shown stays shown as it is when the list is only redone.
        const std::size_t index = lstEntry->item(select)->data(Qt::UserRole).toULongLong();
        if (mCurrent != index) {
            ShowItem(index);
        }
    } else {
        mCurrent.reset();
        ShowMessage(items.empty() ? QStringLiteral("この書庫にはファイルが入っていません。")
                                  : QStringLiteral("この書庫には文書がありません。\n"
                                                   "［表示］の［すべてのファイルを表示］で、"
                                                   "中のファイルを一覧できます。"),
                    false, false);
    }
    if (mArchive->Incomplete()) {
        SetStatus(ListNotice());
    }
}

QString frmQuorvix::ListNotice() const {
    return mArchive && mArchive->Incomplete()
               ? QStringLiteral(
                     "書庫の途中までしか一覧できませんでした (壊れているか、"
                     "ファイルが多すぎます)。")
               : QString();
}

void frmQuorvix::lstEntry_CurrentRowChanged(int row) {
    if (row >= 0 && row < lstEntry->count()) {
        RememberVisit();
        ShowItem(lstEntry->item(row)->data(Qt::UserRole).toULongLong());
    }
}

void frmQuorvix::OpenLink(const QString& path, const QUrl& link) {
    // "#part" alone: a place on the page shown.
    const bool samePage = link.scheme().isEmpty() && link.host().isEmpty() && link.path().isEmpty();
    std::optional<std::size_t> index = samePage ? mCurrent : std::nullopt;
    if (!samePage && !path.isEmpty() && mArchive) {
        index = mArchive->Find(path.toStdString());
    }
    if (!index) {
        SetStatus(
            path.isEmpty() && !samePage
                ? QStringLiteral("書庫の外へのリンクは開きません: %1").arg(link.toDisplayString())
                : QStringLiteral("この書庫にはありません: %1").arg(link.toDisplayString()));
        return;
    }
    RememberVisit();
    ShowVisit({*index, 0});
    if (link.hasFragment() && stkView->currentWidget() == htmDocument) {
        htmDocument->scrollToAnchor(link.fragment(QUrl::FullyDecoded));
    }
}

int frmQuorvix::Scrolled() const {
    QWidget* view = stkView->currentWidget();
    return view == htmDocument   ? htmDocument->verticalScrollBar()->value()
           : view == txtDocument ? txtDocument->verticalScrollBar()->value()
                                 : 0;
}

void frmQuorvix::RememberVisit() {
    if (mCurrent) {
        mBack.push_back({*mCurrent, Scrolled()});
        mForward.clear();
    }
}

void frmQuorvix::GoBack(bool forward) {
    auto& from = forward ? mForward : mBack;
    auto& to = forward ? mBack : mForward;
    if (from.empty() || !mCurrent) {
        return;
    }
    to.push_back({*mCurrent, Scrolled()});
    const Visit visit = from.back();
    from.pop_back();
    ShowVisit(visit);
}

void frmQuorvix::ShowVisit(const Visit& visit) {
    if (mCurrent != visit.index) {
        const QSignalBlocker blocker(lstEntry);
        lstEntry->setCurrentRow(-1);
        for (int row = 0; row < lstEntry->count(); ++row) {
            if (lstEntry->item(row)->data(Qt::UserRole).toULongLong() == visit.index) {
                lstEntry->setCurrentRow(row);
            }
        }
        ShowItem(visit.index);
    } else if (stkView->currentWidget() != pnlMessage) {
        ShowTextStatus();  // a link's message goes once the link is followed
    }
    if (stkView->currentWidget() == htmDocument) {
        htmDocument->document()->documentLayout()->documentSize();  // laid out to the end
        htmDocument->verticalScrollBar()->setValue(visit.scroll);
    } else if (stkView->currentWidget() == txtDocument) {
        if (visit.scroll > 0) {
            FinishFill();
        }
        txtDocument->verticalScrollBar()->setValue(visit.scroll);
    }
}

void frmQuorvix::ShowItem(std::size_t index) {
    // The encoding chosen for one document is not the next one's.
    if (mCurrent != index && mEncodingOverride) {
        mEncodingOverride.reset();
        grpEncoding->actions().constFirst()->setChecked(true);
    }
    mCurrent = index;
    mCurrentBytes.clear();
    StopFill();
    txtDocument->setExtraSelections({});
    htmDocument->setExtraSelections({});
    const ArchiveItem& item = mArchive->Items().at(index);
    // One pass: the first bytes say whether it is text at all; a binary
    // entry is not read further.
    bool binary = false;
    mCurrentStatus = mArchive->Read(index, mTextLimit, [&](std::string_view piece) {
        mCurrentBytes += piece;
        if (mCurrentBytes.size() >= kSniffBytes &&
            mCurrentBytes.size() - piece.size() < kSniffBytes) {
            binary = KindOf(item.displayName, mCurrentBytes) == EntryKind::Binary;
        }
        return !binary;
    });
    mCurrentKind = KindOf(item.displayName, mCurrentBytes);
    const QString size = SizeText(item.header.originalSize);
    switch (mCurrentStatus) {
        case ReadStatus::Encrypted:
            ShowMessage(QStringLiteral("このファイルは暗号化されているため表示できません。"), false,
                        false);
            SetStatus(size);
            return;
        case ReadStatus::Unreadable:
            ShowMessage(QStringLiteral("このファイルの圧縮方式 (%1) には対応していないため"
                                       "表示できません。")
                            .arg(QString::fromStdString(item.header.method)),
                        false, false);
            SetStatus(size);
            return;
        case ReadStatus::Damaged:
            if (mCurrentBytes.empty()) {
                ShowMessage(QStringLiteral("書庫が壊れているため、このファイルを読めません。"),
                            false, false);
                SetStatus(size);
                return;
            }
            break;
        default:
            break;
    }
    if (mCurrentKind == EntryKind::Binary && ShowImage(item.displayName)) {
        SetStatus(size);
        return;
    }
    if (mCurrentKind == EntryKind::Binary) {
        mCurrentBytes.resize(std::min(mCurrentBytes.size(), kSniffBytes));
        const bool executable = IsExecutable(item.displayName, mCurrentBytes);
        const QString what = executable || !item.document
                                 ? QStringLiteral("このファイルは文書ではないため表示できません。")
                                 : QStringLiteral("この種類の文書を表示する機能はありません。");
        ShowMessage(what + (executable ? QStringLiteral("\n実行ファイルのため、アプリで開くこと"
                                                        "もできません。")
                                       : QStringLiteral("\n関連付けられたアプリで開くか、保存し"
                                                        "てください。")),
                    true, !executable && !mPrivateFolder.isEmpty());
        SetStatus(size);
        return;
    }
    ShowDecoded();
}

bool frmQuorvix::ShowImage(const std::string& name) {
    const auto dot = name.find_last_of('.');
    const std::string extension = AsciiLower(dot == std::string::npos ? "" : name.substr(dot + 1));
    if (extension != "png" && extension != "jpg" && extension != "jpeg" && extension != "gif" &&
        extension != "bmp") {
        return false;
    }
    // A page of the image alone, read from the archive as a page's images are.
    const auto slash = name.find_last_of("/\\");
    const QString folder = slash == std::string::npos ? QString() : FromUtf8(name.substr(0, slash));
    const QByteArray file = QUrl::toPercentEncoding(
        FromUtf8(slash == std::string::npos ? name : name.substr(slash + 1)));
    htmDocument->SetPage(
        QStringLiteral("<img src=\"%1\">").arg(QString::fromLatin1(file)), folder,
        [this](const QString& path, std::uint64_t limit) { return LoadArchiveFile(path, limit); });
    stkView->setCurrentWidget(htmDocument);
    mnuSaveAs->setEnabled(true);
    lblEncoding->clear();
    UpdateTitle();
    return true;
}

void frmQuorvix::ShowDecoded() {
    const ArchiveItem& item = mArchive->Items().at(*mCurrent);
    if (mCurrentKind == EntryKind::Html) {
        std::optional<TextEncoding> encoding = mEncodingOverride;
        if (!encoding) {
            encoding = DeclaredHtmlEncoding(mCurrentBytes);
        }
        const DecodedText page = DecodeText(mCurrentBytes, encoding);
        mShownEncoding = page.encoding;
        mInvalidSequences = page.invalidSequences;
        mUndecodedFrom = mCurrentBytes.size();
        const auto slash = item.displayName.find_last_of("/\\");
        const QString folder =
            slash == std::string::npos ? QString() : FromUtf8(item.displayName.substr(0, slash));
        // Rebuilt within what Qt's layout bears; too large a page is shown
        // as its text, filled in pieces like any long text.
        const BoundedPage bounded = BoundPage(page.utf8);
        if (bounded.tooLarge) {
            mLineLength = 0;
            SetText(BreakLongLines(FromUtf8(page.utf8), mLineLength));
            stkView->setCurrentWidget(txtDocument);
            mPageNotice = QStringLiteral("ページが大きすぎるため、テキストとして表示しています。");
        } else {
            htmDocument->SetPage(
                FromUtf8(bounded.html), folder,
                [this](const QString& path, std::uint64_t limit) {
                    return LoadArchiveFile(path, limit);
                },
                bounded.styleRules);
            stkView->setCurrentWidget(htmDocument);
            mPageNotice = bounded.simplified || htmDocument->StyleLeftOut()
                              ? QStringLiteral(
                                    "ページの構造が深すぎるか大きすぎるため、"
                                    "表などを簡略化して表示しています。")
                              : QString();
        }
    } else {
        mPageNotice.clear();
        mShownEncoding = mEncodingOverride ? *mEncodingOverride : DetectEncoding(mCurrentBytes);
        mDecoder = std::make_unique<TextDecoder>(mShownEncoding);
        mUndecodedFrom = 0;
        mInvalidSequences = 0;
        mLineLength = 0;
        QString first = DecodeMore(kFirstDecode);
        // Read as nonsense (bytes no reading knows, characters nobody writes):
        // not a text, whatever its name says.
        if (!mEncodingOverride && LooksLikeNonsense(first)) {
            ShowMessage(
                QStringLiteral("このファイルは文字として読めないバイトが多いため、"
                               "テキストではないようです。\n"
                               "［文字コード］で選ぶと、その文字コードで表示します。"),
                true, !IsExecutable(item.displayName, mCurrentBytes) && !mPrivateFolder.isEmpty());
            SetStatus(SizeText(item.header.originalSize));
            return;
        }
        SetText(std::move(first));
        stkView->setCurrentWidget(txtDocument);
    }
    mnuSaveAs->setEnabled(true);
    lblEncoding->setText(QString::fromLatin1(EncodingName(mShownEncoding)));
    ShowTextStatus();
    UpdateTitle();
}

void frmQuorvix::ShowTextStatus() {
    QString status = SizeText(mArchive->Items().at(*mCurrent).header.originalSize);
    if (mCurrentStatus == ReadStatus::Truncated) {
        status += QStringLiteral("　大きいため、先頭の %1 だけを表示しています。")
                      .arg(LimitText(mTextLimit));
    } else if (mCurrentStatus == ReadStatus::Damaged) {
        status += QStringLiteral("　書庫が壊れているため、途中までしか表示していません。");
    }
    if (mInvalidSequences > 0) {
        status += QStringLiteral("　%1 として読めないバイトが %2 か所あります。")
                      .arg(QString::fromLatin1(EncodingName(mShownEncoding)))
                      .arg(mInvalidSequences);
    }
    if (!mPageNotice.isEmpty()) {
        status += QStringLiteral("　") + mPageNotice;
    }
    // A text shown later must not hide that the list is not whole.
    if (const QString notice = ListNotice(); !notice.isEmpty()) {
        status += QStringLiteral("　") + notice;
    }
    SetStatus(status);
}

void frmQuorvix::SetText(QString text) {
    mPendingText = std::move(text);
    mFilling = false;
    qsizetype first = std::min(kFirstFill, mPendingText.size());
    // Whole lines, so that the first screen is laid out as it will stay; a
    // line that goes on much further is cut where the first part ends (its
    // layout is what costs), not between the two halves of a surrogate pair.
    const qsizetype lineEnd = mPendingText.indexOf(QLatin1Char('\n'), first);
    if (lineEnd >= 0 && lineEnd - first < kFirstFill) {
        first = lineEnd + 1;
    } else if (first < mPendingText.size() && mPendingText.at(first).isLowSurrogate()) {
        --first;
    }
    txtDocument->setPlainText(mPendingText.first(first));
    mPendingFrom = first;
}

QString frmQuorvix::DecodeMore(std::size_t bytes) {
    const std::string_view rest = std::string_view(mCurrentBytes).substr(mUndecodedFrom, bytes);
    mUndecodedFrom += rest.size();
    std::string utf8;
    mInvalidSequences += mDecoder->Decode(rest, mUndecodedFrom == mCurrentBytes.size(), utf8);
    return BreakLongLines(FromUtf8(utf8), mLineLength);
}

bool frmQuorvix::FillPending() const {
    return mPendingFrom < mPendingText.size() || mUndecodedFrom < mCurrentBytes.size();
}

void frmQuorvix::FillMore() {
    if (!FillPending()) {
        mFilling = false;
        return;
    }
    // Each turn decodes and lays out a bounded piece, so that the window
    // answers (a close, SIGTERM) while a long text is prepared.
    if (mUndecodedFrom < mCurrentBytes.size() && mPendingText.size() - mPendingFrom < kLaterFill) {
        mPendingText.remove(0, mPendingFrom);
        mPendingFrom = 0;
        mPendingText += DecodeMore(kLaterDecode);
        if (mUndecodedFrom == mCurrentBytes.size()) {
            ShowTextStatus();
        }
    }
    const qsizetype count = std::min(kLaterFill, mPendingText.size() - mPendingFrom);
    QTextCursor end(txtDocument->document());
    end.movePosition(QTextCursor::End);
    end.insertText(mPendingText.sliced(mPendingFrom, count));
    mPendingFrom += count;
    if (FillPending()) {
        QTimer::singleShot(0, this, &frmQuorvix::FillMore);
    } else {
        mPendingText.clear();
        mPendingFrom = 0;
        mFilling = false;
    }
}

void frmQuorvix::FinishFill() {
    if (!FillPending()) {
        return;
    }
    // At once: one insertion lays the rest out once, not once per piece.
    mPendingText.remove(0, mPendingFrom);
    mPendingFrom = 0;
    mPendingText += DecodeMore(mCurrentBytes.size() - mUndecodedFrom);
    QTextCursor end(txtDocument->document());
    end.movePosition(QTextCursor::End);
    end.insertText(mPendingText);
    mPendingText.clear();
    ShowTextStatus();
}

void frmQuorvix::CopyText() {
    const QTextCursor selection = txtDocument->textCursor();
    if (!selection.hasSelection() || selection.selectionStart() > 0 ||
        selection.selectionEnd() < txtDocument->document()->characterCount() - 1) {
        txtDocument->copy();
        return;
    }
    // All of it: decoded afresh from the bytes rather than taken from the
    // view, which may not hold all of it yet and whose own copy builds a
    // second document of the selection.
    QGuiApplication::clipboard()->setText(AllText());
}

QString frmQuorvix::AllText() const {
    // In pieces as the view is filled, never a second copy of the bytes.
    QString all;
    TextDecoder decoder(mShownEncoding);
    for (std::size_t at = 0; at < mCurrentBytes.size(); at += kLaterDecode) {
        std::string utf8;
        decoder.Decode(std::string_view(mCurrentBytes).substr(at, kLaterDecode),
                       at + kLaterDecode >= mCurrentBytes.size(), utf8);
        all += FromUtf8(utf8);
    }
    return all;
}

void frmQuorvix::StopFill() {
    mPendingText.clear();
    mPendingFrom = 0;
    mUndecodedFrom = mCurrentBytes.size();
}

void frmQuorvix::ShowMessage(const QString& text, bool canSave, bool canOpen) {
    StopFill();
    lblMessage->setText(text);
    btnSaveEntry->setVisible(canSave);
    btnOpenWith->setVisible(canSave);
    btnOpenWith->setEnabled(canOpen);
    mnuSaveAs->setEnabled(canSave);
    lblEncoding->clear();
    stkView->setCurrentWidget(pnlMessage);
    UpdateTitle();
}

void frmQuorvix::SetStatus(const QString& text) {
    lblStatus->setText(text);
}

void frmQuorvix::mnuAllEntries_Toggled(bool checked) {
    mSettings.allEntries = checked;
    if (mArchive) {
        FillList();
    }
}

void frmQuorvix::mnuEncoding_Triggered(QAction* action) {
    mEncodingOverride = action->data().isValid()
                            ? std::optional(static_cast<TextEncoding>(action->data().toInt()))
                            : std::nullopt;
    if (mArchive && mCurrent && !mCurrentBytes.empty() && mCurrentKind != EntryKind::Binary) {
        ShowDecoded();
    }
}

std::optional<QString> frmQuorvix::WriteItem(const QString& file, std::uint64_t limit) {
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        return QStringLiteral("書き込めません: %1").arg(out.errorString());
    }
    const ReadStatus status = mArchive->Read(*mCurrent, limit, [&](std::string_view piece) {
        return out.write(piece.data(), static_cast<qint64>(piece.size())) ==
               static_cast<qint64>(piece.size());
    });
    switch (status) {
        case ReadStatus::Complete:
            if (out.commit()) {
                return std::nullopt;
            }
            return QStringLiteral("書き込めません: %1").arg(out.errorString());
        case ReadStatus::Truncated:
            out.cancelWriting();
            return TooLargeText(limit);
        case ReadStatus::Stopped:
            out.cancelWriting();
            return QStringLiteral("書き込めません: %1").arg(out.errorString());
        case ReadStatus::Encrypted:
            out.cancelWriting();
            return QStringLiteral("暗号化されているため書き出せません。");
        case ReadStatus::Unreadable:
            out.cancelWriting();
            return QStringLiteral("圧縮方式に対応していないため書き出せません。");
        case ReadStatus::Damaged:
            break;
    }
    out.cancelWriting();
    return QStringLiteral("書庫が壊れているため書き出せません。");
}

void frmQuorvix::mnuSaveAs_Click() {
    if (!mArchive || !mCurrent) {
        return;
    }
    const std::size_t index = *mCurrent;
    const std::uint64_t openCount = mOpenCount;
    const ArchiveItem& item = mArchive->Items().at(index);
    const std::uint64_t size = item.header.originalSize;
    const QString suggested =
        QDir(mLastSaveFolder).filePath(FromUtf8(ExportFileName(item.displayName)));
    // The prompt runs events: another archive may be handed over meanwhile.
    const QString file = mSavePathPrompt(this, suggested);
    if (file.isEmpty()) {
        return;
    }
    if (openCount != mOpenCount || !mArchive || mCurrent != index) {
        SetStatus(QStringLiteral("別の書庫が開かれたため保存しませんでした。"));
        return;
    }
    mLastSaveFolder = QFileInfo(file).absolutePath();
    const std::optional<QString> error = WriteItem(file, size);
    SetStatus(error.value_or(QStringLiteral("保存しました: %1").arg(file)));
}

void frmQuorvix::btnOpenWith_Click() {
    if (!mArchive || !mCurrent || mPrivateFolder.isEmpty()) {
        return;
    }
    const ArchiveItem& item = mArchive->Items().at(*mCurrent);
    // Checked again here, not only by the button's state: handing over must
    // never start a program.
    if (IsExecutable(item.displayName, mCurrentBytes)) {
        SetStatus(QStringLiteral("実行ファイルは開けません。"));
        return;
    }
    const std::optional<QString> file = HandOverCopy();
    if (!file) {
        return;
    }
    // What the desktop will make of the file written, not what its stored
    // name claims.
    if (const std::optional<QString> refusal = HandOverRefusal(*file)) {
        SetStatus(*refusal);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(*file))) {
        SetStatus(QStringLiteral("このファイルを開くアプリが見つかりません。"));
        return;
    }
    SetStatus(QStringLiteral("アプリで開きました: %1").arg(*file));
}

std::optional<QString> frmQuorvix::HandOverCopy() {
    const std::uint64_t size = mArchive->Items().at(*mCurrent).header.originalSize;
    const auto key = std::pair(mArchivePath, *mCurrent);
    if (const auto known = mHandedOver.find(key); known != mHandedOver.end()) {
        if (QFileInfo(known->second).size() == static_cast<qint64>(size)) {
            return known->second;
        }
        // Changed or removed since: written again.
        QFile::remove(known->second);
        mHandedOverBytes -= std::min(mHandedOverBytes, size);
        mHandedOver.erase(known);
    }
    if (size > kMaxHandOverBytes) {
        SetStatus(TooLargeText(kMaxHandOverBytes));
        return {};
    }
    if (mHandedOverBytes + size > mHandOverTotal) {
        SetStatus(QStringLiteral("アプリに渡したファイルが一時フォルダで %1 を超えるため、"
                                 "書き出しません。保存してから開いてください。")
                      .arg(LimitText(mHandOverTotal)));
        return {};
    }
    struct statvfs disk {};
    if (::statvfs(QFile::encodeName(mPrivateFolder).constData(), &disk) != 0 ||
        static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize < size + mKeepFree) {
        SetStatus(QStringLiteral("一時フォルダのディスクの空きが足りないため、書き出しません。"));
        return {};
    }
    // A folder of its own per copy keeps the entry's own name, which tells
    // the desktop what it is, without clashing with an earlier one.
    const QString folder = QDir(mPrivateFolder).filePath(QString::number(++mExportCount));
    if (!QDir().mkpath(folder)) {
        SetStatus(QStringLiteral("一時フォルダを作れません: %1").arg(folder));
        return {};
    }
    const ArchiveItem& item = mArchive->Items().at(*mCurrent);
    const QString file = QDir(folder).filePath(FromUtf8(ExportFileName(item.displayName)));
    if (const std::optional<QString> error = WriteItem(file, kMaxHandOverBytes)) {
        SetStatus(*error);
        return {};
    }
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    mHandedOver.emplace(key, file);
    mHandedOverBytes += size;
    return file;
}

void frmQuorvix::mnuOpen_Click() {
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("書庫を開く"),
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(mArchivePath))).absolutePath(),
        QStringLiteral(
            "書庫 (*.[lL][zZ][hH] *.[lL][hH][aA] *.[zZ][iI][pP] *.[cC][aA][bB] *.[eE][xX][eE]);;"
            "すべてのファイル (*)"));
    if (!file.isEmpty()) {
        OpenArchive(QFile::encodeName(file).toStdString());
    }
}

void frmQuorvix::mnuOption_Click() {
    frmOption dialog(mIni, this);
    if (dialog.exec() == QDialog::Accepted && mArchive) {
        OpenArchive(mArchivePath);
    }
}

void frmQuorvix::mnuFind_Click() {
    pnlFind->show();
    const QString selected = stkView->currentWidget() == htmDocument
                                 ? htmDocument->textCursor().selectedText()
                                 : txtDocument->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator)) {
        txtFind->setText(selected);
    }
    txtFind->setFocus();
    txtFind->selectAll();
}

void frmQuorvix::Find(bool backward) {
    FinishFill();
    const QString wanted = txtFind->text();
    if (wanted.isEmpty()) {
        mnuFind_Click();
        return;
    }
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    const QRegularExpression pattern = FindPattern(wanted, chkMatchCase->isChecked());
    const auto findIn = [&](auto* view) {
        const QTextCursor before = view->textCursor();
        const int scrolled = view->verticalScrollBar()->value();
        if (view->find(pattern, flags)) {
            return true;
        }
        // Go round once from the other end; where nothing is found, the view
        // stays where it was.
        QTextCursor cursor = view->textCursor();
        cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        view->setTextCursor(cursor);
        if (view->find(pattern, flags)) {
            return true;
        }
        view->setTextCursor(before);
        view->verticalScrollBar()->setValue(scrolled);
        return false;
    };
    QWidget* current = stkView->currentWidget();
    const bool found = (current == htmDocument && findIn(htmDocument)) ||
                       (current == txtDocument && findIn(txtDocument));
    if (found) {
        CenterCursor();  // the hit in the middle of the view, not at its edge
    }
    SetStatus(found ? QString() : QStringLiteral("見つかりません: %1").arg(wanted));
    if (!found) {
        QApplication::beep();
    }
}

void frmQuorvix::ChangeFontSize(int step) {
    const int current =
        mSettings.fontSize > 0 ? mSettings.fontSize : txtDocument->font().pointSize();
    mSettings.fontSize = std::clamp(current + step, kMinFontSize, kMaxFontSize);
    ApplyFont();
}

void frmQuorvix::mnuFont_Click() {
    bool chosen = false;
    const QFont font =
        QFontDialog::getFont(&chosen, txtDocument->font(), this, QStringLiteral("フォント"));
    if (chosen) {
        mSettings.fontFamily = font.family().toStdString();
        mSettings.fontSize = std::clamp(font.pointSize(), kMinFontSize, kMaxFontSize);
        ApplyFont();
    }
}

void frmQuorvix::ApplyFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // A full-width character exactly two columns wide, whatever the locale's
    // fixed font, so that indented Japanese lines stay aligned.
    const QStringList families = QFontDatabase::families();
    for (const char* cjk : {"Noto Sans Mono CJK JP", "IPAGothic", "TakaoGothic", "VL Gothic"}) {
        if (families.contains(QLatin1String(cjk))) {
            font.setFamily(QLatin1String(cjk));
            break;
        }
    }
    if (!mSettings.fontFamily.empty()) {
        font.setFamily(QString::fromStdString(mSettings.fontFamily));
    }
    QFont pageFont = QApplication::font();
    if (mSettings.fontSize > 0) {
        font.setPointSize(mSettings.fontSize);
        pageFont.setPointSize(mSettings.fontSize);
    }
    txtDocument->setFont(font);
    // Pages in the desktop's proportional font, at the size chosen.
    htmDocument->setFont(pageFont);
    // Tabs every eight characters, as in the editors these texts come from.
    txtDocument->setTabStopDistance(8 * QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')));
}

void frmQuorvix::ApplyWrap() {
    txtDocument->setLineWrapMode(mSettings.wrap ? QPlainTextEdit::WidgetWidth
                                                : QPlainTextEdit::NoWrap);
    htmDocument->setLineWrapMode(mSettings.wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    // The lines start at the left edge, not where the cursor last was.
    txtDocument->horizontalScrollBar()->setValue(0);
    htmDocument->horizontalScrollBar()->setValue(0);
}

void frmQuorvix::UpdateTitle() {
    QString document;
    if (mArchive && mCurrent) {
        document = stkView->currentWidget() == htmDocument ? htmDocument->documentTitle().trimmed()
                                                           : QString();
        if (document.isEmpty()) {
            document = FromUtf8(mArchive->Items().at(*mCurrent).displayName);
        }
    }
    const auto slash = mArchivePath.find_last_of('/');
    const QString archive = FromUtf8(
        DisplayName(slash == std::string::npos ? mArchivePath : mArchivePath.substr(slash + 1)));
    setWindowTitle(document.isEmpty() ? QStringLiteral("%1 - Quorvix").arg(archive)
                                      : QStringLiteral("%1 - %2 - Quorvix").arg(document, archive));
}

std::optional<QByteArray> frmQuorvix::LoadArchiveFile(const QString& path, std::uint64_t limit) {
    const auto index = mArchive ? mArchive->Find(path.toStdString()) : std::nullopt;
    if (!index) {
        return std::nullopt;
    }
    std::string bytes;
    const ReadStatus status = mArchive->ReadBytes(*index, limit, bytes);
    // The page's own data is read again on the next call, from the top.
    if (status != ReadStatus::Complete) {
        return std::nullopt;
    }
    return QByteArray::fromStdString(bytes);
}

bool frmQuorvix::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress &&
        (watched == txtDocument->viewport() || watched == htmDocument->viewport())) {
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        if (button == Qt::BackButton || button == Qt::ForwardButton) {
            GoBack(button == Qt::ForwardButton);
            return true;
        }
    }
    if (watched == txtDocument->viewport() && event->type() == QEvent::Paint && FillPending() &&
        !mFilling) {
        // Once per text: FillMore goes on by itself from here.
        mFilling = true;
        QTimer::singleShot(0, this, &frmQuorvix::FillMore);
    }
    // The view's own copy key copies as the menu does; its context menu
    // copies by itself, so the whole text goes in first.
    if (watched == txtDocument && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        CopyText();
        return true;
    }
    if (watched == txtDocument && event->type() == QEvent::ContextMenu) {
        FinishFill();
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmQuorvix::closeEvent(QCloseEvent* event) {
    if (!isMaximized() && !isFullScreen()) {
        mSettings.width = width();
        mSettings.height = height();
        mSettings.left = x();
        mSettings.top = y();
    }
    mSettings.listWidth = splMain->sizes().value(0, mSettings.listWidth);
    WriteWindowSettings(mIni, mSettings);
    event->accept();
}

}  // namespace mervok::quorvix
