#include "ui/frm_mervok.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTreeView>

#include <algorithm>
#include <utility>

#include "app/mervok_settings.h"
#include "app/product_info.h"
#include "app/program_folder.h"
#include "archivers/archiver_library.h"
#include "ui/about_dialog.h"
#include "ui/centered_msg_box.h"
#include "ui/control_help.h"
#include "ui/folder_browser.h"
#include "ui/match_pane.h"
#include "ui/result_list.h"
#include "ui/twips.h"
#include "ui/viewer_hand_off.h"

// The window's pictures live in the window library; a static library's
// resources must be registered by name.
static void InitWindowResources() {
    Q_INIT_RESOURCE(mervok_ui);
}

namespace mervok {

namespace {

// The window as designed: client area 8145 x 6315 twips.
constexpr int kDesignClientWidth = 8145;
constexpr int kDesignClientHeight = 6315;
constexpr int kStatusBarHeight = 240;
// Between the list and the pane of matches.
constexpr int kPaneGap = 60;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

void PlaceTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                        TwipsToPixels(height));
}

// Taller than designed when the caption's font needs it; never lower.
void FitHeightToFont(QWidget* caption) {
    caption->resize(caption->width(), std::max(caption->height(), caption->sizeHint().height()));
}

template <typename Widget>
Widget* Make(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    PlaceTwips(widget, left, top, width, height);
    return widget;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width, int height, bool ticked) {
    auto* box = Make<QCheckBox>(parent, name, left, top, width, height);
    box->setText(Text(caption));
    box->setChecked(ticked);
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, int top,
                        int width, int height) {
    auto* button = Make<QPushButton>(parent, name, left, top, width, height);
    button->setText(Text(caption));
    button->setAutoDefault(false);
    return button;
}

// A status bar panel: at least its minimum width, as wide as its designed
// width while its text fits, wider when the text needs it.
class StatusPanel : public QLabel {
  public:
    StatusPanel(const QString& text, int width, int minWidth, QWidget* parent)
        : QLabel(text, parent), mWidth(TwipsToPixels(width)) {
        setMinimumWidth(TwipsToPixels(minWidth));
        // The bar is only 16 pixels high: a sunken frame would leave no room
        // for the text.
        setFrameStyle(QFrame::NoFrame);
    }

    QSize sizeHint() const override {
        const QSize hint = QLabel::sizeHint();
        return {std::max(hint.width(), mWidth), hint.height()};
    }

  private:
    int mWidth;
};

QLabel* MakePanel(QStatusBar* bar, const char* name, const char* text, int width, int minWidth,
                  int stretch) {
    auto* panel = new StatusPanel(Text(text), width, minWidth, bar);
    panel->setObjectName(QString::fromLatin1(name));
    bar->addWidget(panel, stretch);
    return panel;
}

TwipRect ReadTwips(const QWidget* widget) {
    const QRect geometry = widget->geometry();
    return {PixelsToTwips(geometry.x()), PixelsToTwips(geometry.y()),
            PixelsToTwips(geometry.width()), PixelsToTwips(geometry.height())};
}

void WriteTwips(QWidget* widget, const TwipRect& rect) {
    // Qt has no negative sizes: a client narrower than the list's margins
    // gives the list no width at all.
    widget->setGeometry(TwipsToPixels(rect.left), TwipsToPixels(rect.top),
                        std::max(0, TwipsToPixels(rect.width)),
                        std::max(0, TwipsToPixels(rect.height)));
}

}  // namespace

frmMERVOK::frmMERVOK(std::string programFolder, std::optional<ArchiverSet> libraries,
                     QWidget* parent)
    : QWidget(parent), mProgramFolder(WithTrailingSeparator(std::move(programFolder))) {
    if (libraries) {
        mLibraries = *libraries;
    } else {
        mOwnLibraries = std::make_unique<ArchiverLibraries>(mProgramFolder);
        mLibraries = mOwnLibraries->Set();
    }

    setObjectName(QStringLiteral("frmMERVOK"));
    setWindowTitle(QString::fromUtf8(kProductName));
    InitWindowResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 256}) {
        icon.addFile(QStringLiteral(":/mervok/icons/mervok_%1.png").arg(size), QSize(size, size));
    }
    setWindowIcon(icon);

    // The designed boxes hold their captions in a 10-pixel Japanese Gothic
    // face (IPA Gothic is what the set-up installs); larger sizes clip the
    // long check box captions.
    QFont uiFont = font();
    uiFont.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                        QStringLiteral("Noto Sans CJK JP")});
    uiFont.setPixelSize(10);
    setFont(uiFont);

    CreateControls();
    mSettings = std::make_unique<FormSettings>(
        SettingsControls{this,
                         txtSearchDir,
                         txtFindText,
                         cmbView,
                         {{&MervokSettings::subDir, chkSubDir},
                          {&MervokSettings::searchLha, chkLHA},
                          {&MervokSettings::searchZip, chkZIP},
                          {&MervokSettings::searchCab, chkCAB},
                          {&MervokSettings::searchExe, chkEXE},
                          {&MervokSettings::hideFileNames, chkNoFileName},
                          {&MervokSettings::skipArchiveCheck, chkNoArcCheck},
                          {&MervokSettings::clickMode, chkClick},
                          {&MervokSettings::autoColumn, chkAutoColumn},
                          {&MervokSettings::noSfxIcons, chkSFXIcon},
                          {&MervokSettings::listColor, chkListColor}}});
    mSearch = new SearchRunControl(
        [this](const SearchProgress& progress) { ShowSearchProgress(progress); },
        [this](SearchResult result, bool aborted) { ShowSearchResult(std::move(result), aborted); },
        this);
    SetTabOrder();
    // Tab index 0 has the focus when the window first comes up.
    txtSearchDir->setFocus();
    ConnectHandlers();
    resize(TwipsToPixels(kDesignClientWidth), TwipsToPixels(kDesignClientHeight));
    // Where the window stands until the settings say otherwise: the middle
    // of the primary screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + std::max(0, (area.width() - width()) / 2),
             area.y() + std::max(0, (area.height() - height()) / 2));
    }
}

frmMERVOK::~frmMERVOK() {
    // The runs report to this window and use its libraries: they end first.
    delete mSearch;
}

void frmMERVOK::CreateControls() {
    lsvArchive = new ResultList(this);
    PlaceTwips(lsvArchive, 120, 2940, 7875, 3255);

    Frame2 = Make<QGroupBox>(this, "Frame2", 120, 0, 7875, 2865);
    picXpStyle0 = Make<QWidget>(Frame2, "picXpStyle(0)", 120, 180, 7635, 2565);
    QWidget* panel = picXpStyle0;

    txtSearchDir = Make<QLineEdit>(panel, "txtSearchDir", 1680, 30, 4725, 285);
    Label1 = Make<QLabel>(panel, "Label1", 0, 75, 1575, 180);
    Label1->setText(Text("検索するフォルダ(&D)"));
    Label1->setBuddy(txtSearchDir);
    btnBrowse = MakeButton(panel, "btnBrowse", "参照(&B)...", 6480, 0, 1125, 345);
    chkSubDir =
        MakeCheckBox(panel, "chkSubDir", "サブフォルダも検索(&S)", 240, 420, 2055, 285, false);
    btnSearch = MakeButton(panel, "btnSearch", "検索(&I)", 2460, 390, 1005, 345);
    // The text the documents must say, beside the button that searches for it.
    txtFindText = Make<QLineEdit>(panel, "txtFindText", 4440, 420, 1965, 285);
    Label3 = Make<QLabel>(panel, "Label3", 3585, 465, 810, 180);
    Label3->setText(Text("文字列(&K)"));
    Label3->setBuddy(txtFindText);
    // Reached by its access key or a click: the Tab order stays the
    // design's, which has no place for it.
    txtFindText->setFocusPolicy(Qt::ClickFocus);

    Frame1 = Make<QGroupBox>(panel, "Frame1", 0, 780, 1815, 885);
    Frame1->setTitle(Text("処理対象の拡張子"));
    picXpStyle1 = Make<QWidget>(Frame1, "picXpStyle(1)", 120, 240, 1575, 525);
    chkLHA = MakeCheckBox(picXpStyle1, "chkLHA", "&LZH", 120, 0, 675, 255, true);
    chkZIP = MakeCheckBox(picXpStyle1, "chkZIP", "&ZIP", 900, 0, 675, 255, true);
    chkCAB = MakeCheckBox(picXpStyle1, "chkCAB", "&CAB", 120, 300, 675, 255, true);
    chkEXE = MakeCheckBox(picXpStyle1, "chkEXE", "&EXE", 900, 300, 675, 255, true);

    Label2 = Make<QLabel>(panel, "Label2", 345, 1785, 600, 180);
    Label2->setText(Text("表示(&V)"));
    cmbView = Make<QComboBox>(panel, "cmbView", 300, 2025, 1395, 300);
    Label2->setBuddy(cmbView);

    chkNoFileName = MakeCheckBox(panel, "chkNoFileName", "検索中にファイル名を表示しない(&F)", 1980,
                                 840, 3015, 255, false);
    chkNoArcCheck = MakeCheckBox(panel, "chkNoArcCheck",
                                 "書庫の正当性とドキュメントの有無をチェックをしない(&T)", 1980,
                                 1140, 4515, 255, false);
    chkClick = MakeCheckBox(panel, "chkClick", "ポイントで選択し、シングルクリックで起動する(&P)",
                            1980, 1440, 4005, 255, false);
    chkAutoColumn =
        MakeCheckBox(panel, "chkAutoColumn", "列幅自動調節(&W)", 1980, 1740, 1665, 255, false);
    chkSFXIcon = MakeCheckBox(panel, "chkSFXIcon", "自己解凍書庫のアイコンを取得しない(&G)", 1980,
                              2040, 3405, 255, true);
    chkListColor = MakeCheckBox(panel, "chkListColor", "書庫形式で色分け表示する(&J)", 1995, 2340,
                                2655, 255, true);

    btnOption = MakeButton(panel, "btnOption", "ｵﾌﾟｼｮﾝ(&O)...", 6480, 435, 1125, 345);
    btnAbout = MakeButton(panel, "btnAbout", "ﾊﾞｰｼﾞｮﾝ(&A)...", 6480, 870, 1125, 345);
    btnHelp = MakeButton(panel, "btnHelp", "ﾍﾙﾌﾟ(&H)", 6480, 1305, 1125, 345);
    btnExit = MakeButton(panel, "btnExit", "終了(&X)", 6480, 1740, 1125, 345);

    // The list owns the pictures of self-extracting archives; they stand
    // (hidden) among the options, where the window keeps them.
    imgSFX32 = lsvArchive->SfxPicture32();
    imgSFX16 = lsvArchive->SfxPicture16();
    imgSFX32->setParent(panel);
    imgSFX16->setParent(panel);
    PlaceTwips(imgSFX32, 5580, 1680, 480, 480);
    PlaceTwips(imgSFX16, 6120, 1920, 240, 240);

    lsvMatch = new MatchPane(this);
    lsvMatch->hide();

    StatusBar1 = Make<QStatusBar>(this, "StatusBar1", 0, 6075, 8145, kStatusBarHeight);
    StatusBar1->setFixedHeight(TwipsToPixels(kStatusBarHeight));
    mPanel1 = MakePanel(StatusBar1, "Panel1", "", 6000, 6000, 1);
    mPanel2 = MakePanel(StatusBar1, "Panel2", "抽出件数", 600, 600, 0);
    mPanel3 = MakePanel(StatusBar1, "Panel3", "処理時間", 1210, 1000, 0);

    // A face with a deeper descent than the designed one (Noto Sans CJK JP)
    // would cut off the access-key underlines: the captions get the height
    // their font needs, and the extension panel holds its grown boxes.
    for (QWidget* caption : std::initializer_list<QWidget*>{Label1, Label2, Label3}) {
        FitHeightToFont(caption);
    }
    for (QCheckBox* box : findChildren<QCheckBox*>()) {
        FitHeightToFont(box);
    }
    picXpStyle1->resize(picXpStyle1->width(),
                        std::max(picXpStyle1->height(), picXpStyle1->childrenRect().bottom() + 1));

    // Created last so that it lies above the status bar it covers.
    ProgressBar1 = Make<QProgressBar>(this, "ProgressBar1", 0, 6330, 3345, 180);
    ProgressBar1->setTextVisible(false);
    // Panel 1 changes its width as the panels' texts change during a search.
    mPanel1->installEventFilter(this);
}

void frmMERVOK::SetTabOrder() {
    // The list takes the focus in whichever of its two views is showing.
    const QList<QWidget*> order = {txtSearchDir,
                                   btnBrowse,
                                   chkSubDir,
                                   btnSearch,
                                   chkLHA,
                                   chkZIP,
                                   chkCAB,
                                   chkEXE,
                                   cmbView,
                                   chkNoFileName,
                                   chkNoArcCheck,
                                   chkClick,
                                   chkAutoColumn,
                                   chkSFXIcon,
                                   chkListColor,
                                   btnOption,
                                   btnAbout,
                                   btnHelp,
                                   btnExit,
                                   lsvArchive->IconView(),
                                   lsvArchive->DetailsView(),
                                   lsvMatch};
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void frmMERVOK::ConnectHandlers() {
    connect(btnSearch, &QPushButton::clicked, this, &frmMERVOK::btnSearch_Click);
    connect(btnExit, &QPushButton::clicked, this, &frmMERVOK::btnExit_Click);
    // Like the original controls, these react to changes made in code too
    // (the settings load relies on it).
    connect(cmbView, &QComboBox::currentIndexChanged, this, &frmMERVOK::cmbView_Click);
    connect(chkClick, &QCheckBox::toggled, this, &frmMERVOK::chkClick_Click);
    connect(chkAutoColumn, &QCheckBox::toggled, this, &frmMERVOK::chkAutoColumn_Click);
    connect(btnBrowse, &QPushButton::clicked, this, &frmMERVOK::btnBrowse_Click);
    connect(btnOption, &QPushButton::clicked, this, &frmMERVOK::btnOption_Click);
    connect(btnAbout, &QPushButton::clicked, this, &frmMERVOK::btnAbout_Click);
    connect(btnHelp, &QPushButton::clicked, this, &frmMERVOK::btnHelp_Click);
    SelectAllOnKeyboardFocus(txtSearchDir);
    connect(txtFindText, &QLineEdit::textChanged, this, &frmMERVOK::txtFindText_Change);
    connect(lsvArchive->SelectionModel(), &QItemSelectionModel::selectionChanged, this,
            &frmMERVOK::lsvArchive_SelectionChange);
    connect(lsvMatch, &MatchPane::MatchOpened, this, &frmMERVOK::lsvMatch_Open);
}

FormLayout frmMERVOK::ReadLayout() const {
    FormLayout layout;
    layout.frame2 = ReadTwips(Frame2);
    layout.picXpStyle0 = ReadTwips(picXpStyle0);
    layout.btnBrowse = ReadTwips(btnBrowse);
    layout.btnOption = ReadTwips(btnOption);
    layout.btnAbout = ReadTwips(btnAbout);
    layout.btnHelp = ReadTwips(btnHelp);
    layout.btnExit = ReadTwips(btnExit);
    layout.txtSearchDir = ReadTwips(txtSearchDir);
    layout.lsvArchive = ReadTwips(lsvArchive);
    return layout;
}

void frmMERVOK::ApplyLayout(const FormLayout& layout) {
    WriteTwips(Frame2, layout.frame2);
    WriteTwips(picXpStyle0, layout.picXpStyle0);
    WriteTwips(btnBrowse, layout.btnBrowse);
    WriteTwips(btnOption, layout.btnOption);
    WriteTwips(btnAbout, layout.btnAbout);
    WriteTwips(btnHelp, layout.btnHelp);
    WriteTwips(btnExit, layout.btnExit);
    WriteTwips(txtSearchDir, layout.txtSearchDir);
    // The text box ends where the folder box ends.
    TwipRect findText = ReadTwips(txtFindText);
    findText.width = layout.txtSearchDir.left + layout.txtSearchDir.width - findText.left;
    WriteTwips(txtFindText, findText);
    if (lsvMatch->isHidden()) {
        WriteTwips(lsvArchive, layout.lsvArchive);
        return;
    }
    // The matches take the lower two fifths of the list's place.
    TwipRect list = layout.lsvArchive;
    TwipRect pane = list;
    pane.height = list.height * 2 / 5;
    list.height -= pane.height + kPaneGap;
    pane.top = list.top + list.height + kPaneGap;
    WriteTwips(lsvArchive, list);
    WriteTwips(lsvMatch, pane);
}

void frmMERVOK::Form_Resize() {
    if (isMinimized()) {
        return;
    }
    const int clientWidth = PixelsToTwips(width());
    const int clientHeight = PixelsToTwips(height());
    FormLayout layout = ReadLayout();
    LayOutForm(layout, clientWidth, clientHeight, PixelsToTwips(StatusBar1->height()));
    ApplyLayout(layout);
    PlaceStatusBar();
}

void frmMERVOK::PlaceStatusBar() {
    // Docked to the bottom edge. The panels keep their minimum widths side by
    // side: a narrow window clips the bar rather than squeezing them.
    int barWidth = width();
    if (QLayout* panels = StatusBar1->layout()) {
        barWidth = std::max(barWidth, panels->minimumSize().width());
    }
    StatusBar1->setGeometry(0, height() - StatusBar1->height(), barWidth, StatusBar1->height());
    if (QLayout* panels = StatusBar1->layout()) {
        panels->activate();
    }
    PlaceProgressBar();
}

void frmMERVOK::PlaceProgressBar() {
    const int clientHeight = PixelsToTwips(height());
    const QPoint panelOrigin = mPanel1->mapTo(this, QPoint(0, 0));
    const TwipRect placed =
        ProgressBarOverPanel(ReadTwips(ProgressBar1), PixelsToTwips(panelOrigin.x()),
                             PixelsToTwips(mPanel1->width()), clientHeight);
    WriteTwips(ProgressBar1, placed);
}

bool frmMERVOK::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mPanel1 && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        PlaceProgressBar();
    }
    return QWidget::eventFilter(watched, event);
}

void frmMERVOK::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    mSettings->WindowFramed();
    Form_Resize();
}

void frmMERVOK::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    mSettings->WindowFramed();
}

void frmMERVOK::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        Form_Resize();
    } else if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        Form_Activate();
    }
}

void frmMERVOK::Form_Activate() {
    gOwnerHwnd = this;
}

void frmMERVOK::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmMERVOK::btnExit_Click() {
    close();
}

void frmMERVOK::cmbView_Click() {
    lsvArchive->SetView(cmbView->currentIndex());
}

void frmMERVOK::chkClick_Click() {
    lsvArchive->SetHoverSelection(chkClick->isChecked());
}

void frmMERVOK::chkAutoColumn_Click() {
    lsvArchive->AutoColumnChanged(chkAutoColumn->isChecked());
}

void frmMERVOK::btnBrowse_Click() {
    BrowseForSearchFolder(txtSearchDir, this);
}

void frmMERVOK::btnOption_Click() {
    if (mViewerHandOff) {
        mViewerHandOff->btnOption_Click();
    }
}

void frmMERVOK::btnAbout_Click() {
    frmAbout::ShowOver(this);
}

void frmMERVOK::btnHelp_Click() {
    if (mControlHelp) {
        mControlHelp->btnHelp_Click();
    }
}

void frmMERVOK::txtFindText_Change() {
    const bool show = !txtFindText->text().isEmpty();
    if (show == lsvMatch->isVisible()) {
        return;
    }
    lsvMatch->setVisible(show);
    Form_Resize();
}

void frmMERVOK::lsvArchive_SelectionChange() {
    const int row = lsvArchive->SelectedRow();
    lsvMatch->ShowMatches(row < 0 ? nullptr : &lsvArchive->Model()->Hit(row), mRunText,
                          mRunIgnoreCase);
}

void frmMERVOK::lsvMatch_Open(int row) {
    if (mViewerHandOff == nullptr) {
        return;
    }
    if (std::optional<ViewerTarget> target = lsvMatch->Target(row)) {
        mViewerHandOff->Launcher().OpenArchive(*target);
    }
}

void frmMERVOK::EnableSearchControls(bool enabled) {
    txtSearchDir->setEnabled(enabled);
    txtFindText->setEnabled(enabled);
    chkSubDir->setEnabled(enabled);
    if (mUsable.lha) {
        chkLHA->setEnabled(enabled);
    }
    if (mUsable.zip) {
        chkZIP->setEnabled(enabled);
    }
    if (mUsable.cab) {
        chkCAB->setEnabled(enabled);
    }
    if (mUsable.exe) {
        chkEXE->setEnabled(enabled);
    }
    for (QWidget* control : std::initializer_list<QWidget*>{
             chkNoFileName, chkNoArcCheck, chkClick, chkAutoColumn, chkSFXIcon, chkListColor,
             cmbView, btnBrowse, btnOption, btnAbout, btnExit}) {
        control->setEnabled(enabled);
    }
}

void frmMERVOK::SetPanel(int panel, const QString& text) {
    QLabel* const panels[] = {mPanel1, mPanel2, mPanel3};
    panels[panel - 1]->setText(text);
}

}  // namespace mervok
