// Start-up, the settings file and shut-down of the main window.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>

#include <array>
#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/color_codec.h"
#include "app/file_exists.h"
#include "app/file_version.h"
#include "app/help_file.h"
#include "app/product_info.h"
#include "app/program_folder.h"
#include "app/settings_store.h"
#include "app/text_util.h"
#include "startup/startup.h"
#include "ui/centered_msg_box.h"
#include "ui/control_help.h"
#include "ui/frm_mervok.h"
#include "ui/message_box.h"
#include "ui/result_list.h"
#include "ui/twips.h"
#include "ui/viewer_hand_off.h"
#include "viewer/viewer_settings.h"

namespace mervok {

namespace {

constexpr std::string_view kSection = "Mervok";
constexpr std::string_view kLegacySection = "QvCtrler";
constexpr std::string_view kIniName = "Mervok.ini";
// How long closing waits for a search to stop. A look-up ends within
// milliseconds unless its storage stopped answering.
constexpr std::chrono::milliseconds kCloseWait{2000};

// The check boxes stored as 0 / 1, in the order the file holds them.
struct BoxKey {
    std::string_view key;
    QCheckBox* frmMERVOK::*box;
};

// A colour key, its default text and the colour it sets.
struct ColorKey {
    std::string_view key;
    std::string_view defaultText;
    RgbColor KindColors::*colour;
};

constexpr std::array<ColorKey, 6> kColorKeys = {{
    {"ColorLHA", "0000FF", &KindColors::lha},
    {"ColorZIP", "006600", &KindColors::zip},
    {"ColorCAB", "FF0099", &KindColors::cab},
    {"ColorLHASFX", "0099FF", &KindColors::lhaSfx},
    {"ColorZIPSFX", "00CC00", &KindColors::zipSfx},
    {"ColorCABSFX", "FF66CC", &KindColors::cabSfx},
}};

std::string Decimal(int value) {
    return std::to_string(value);
}

std::string BoxValue(const QCheckBox* box) {
    return box->isChecked() ? "1" : "0";
}

QString MissingViewerIniText() {
    return QString::fromUtf8(kViewerIniName.data(), static_cast<qsizetype>(kViewerIniName.size())) +
           QStringLiteral(" が見つかりません。") + QStringLiteral("\r\n\r\n") +
           QStringLiteral("このプログラムは ") + QStringLiteral("Quorvix.exe") +
           QStringLiteral(" と同じ場所に置いてください。");
}

TwipRect TwipsOf(const QRect& pixels) {
    return {PixelsToTwips(pixels.x()), PixelsToTwips(pixels.y()), PixelsToTwips(pixels.width()),
            PixelsToTwips(pixels.height())};
}

}  // namespace

bool frmMERVOK::Form_Load() {
    // The help file beside the program, or its bare name when it is not there.
    const std::string helpPath = HelpFilePath(mProgramFolder, ProgramFileName());
    std::string probe = helpPath;
    mHelpFile = FileExists(probe) ? helpPath : helpPath.substr(mProgramFolder.size());

    mStartup.viewerIniFile = ViewerIniPath(mProgramFolder);
    if (!ViewerIniExists(mStartup.viewerIniFile)) {
        // The window was never shown: the plain box, placed by the system.
        MessageBox::Show(nullptr, MissingViewerIniText(), kMbOk | kMbIconStop,
                         QString::fromUtf8(kProductName));
        return false;
    }
    const auto startup = AssembleStartup(mProgramFolder, mLibraries);
    mStartup = startup.values;
    mUsable = startup.usable;

    cmbView->blockSignals(true);
    cmbView->addItems({QStringLiteral("大きいｱｲｺﾝ"), QStringLiteral("小さいｱｲｺﾝ"),
                       QStringLiteral("一覧"), QStringLiteral("詳細")});
    // No entry is chosen until the settings choose one.
    cmbView->setCurrentIndex(-1);
    cmbView->blockSignals(false);

    imgSFX32->hide();
    imgSFX16->hide();

    mIniFile = PathInFolder(mProgramFolder, kIniName);
    LoadSettings();

    lsvArchive->SetHoverSelection(chkClick->isChecked());

    ProbeLibraries();

    const int largeIcon = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    lsvArchive->SetIconSizes(largeIcon, RoundHalfEven(largeIcon / 2.0));
    lsvArchive->SetUpColumns();

    ProgressBar1->hide();

    mViewerHandOff = new ViewerHandOff(
        lsvArchive, chkClick, mProgramFolder, mStartup.viewerPrevInstance,
        [](const std::string& text) {
            QString title = QString::fromUtf8(kProductName);
            CenteredMsgBox(QString::fromStdString(text), kMbOk | kMbIconStop, title);
        },
        this);
    // The hints come last.
    // A bare name means the file is not beside the program: then there is no
    // help, rather than whatever file of that name the current folder holds.
    const bool besideProgram = mHelpFile.find(kSeparator) != std::string::npos;
    mControlHelp =
        new ControlHelp(this, besideProgram ? HelpFile::Load(mHelpFile) : mervok::HelpFile{});
    mControlHelp->SetUp();
    mLoaded = true;
    return true;
}

void frmMERVOK::ProbeLibraries() {
    const std::pair<bool, QCheckBox*> boxes[] = {
        {mUsable.lha, chkLHA}, {mUsable.zip, chkZIP}, {mUsable.cab, chkCAB}, {mUsable.exe, chkEXE}};
    for (const auto& [usable, box] : boxes) {
        if (!usable) {
            box->setEnabled(false);
        }
    }
}

void frmMERVOK::ShowLoaded() {
    if (mShowMaximized) {
        showMaximized();
    } else {
        show();
    }
}

void frmMERVOK::LoadSettings() {
    std::string iniPath = mIniFile;
    if (!FileExists(iniPath)) {
        WriteDefaultSettings();
        return;
    }
    SettingsStore ini(mIniFile);

    // An older version kept everything in another section: take it over whole.
    std::string legacy(200, ' ');
    ini.ReadSection(kLegacySection, legacy);
    if (!TrimAtNull(legacy).empty()) {
        ini.WriteSection(kSection, TrimBlanks(legacy));
        ini.WriteSection(kLegacySection, std::nullopt);
    }

    mShowMaximized = ini.GetInt(kSection, "Window", 0) == 2;
    const TwipRect current = TwipsOf(frameGeometry());
    TwipRect stored;
    stored.left = ini.GetInt(kSection, "Left", current.left);
    stored.top = ini.GetInt(kSection, "Top", current.top);
    stored.width = ini.GetInt(kSection, "Width", current.width);
    stored.height = ini.GetInt(kSection, "Height", current.height);
    QSize screen;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        screen = primary->geometry().size();
    }
    const TwipRect bounds = WindowBoundsFromSettings(stored, current, PixelsToTwips(screen.width()),
                                                     PixelsToTwips(screen.height()));
    ApplyWindowBounds(bounds.left, bounds.top, bounds.width, bounds.height);

    const std::string searchDir = TrimBlanks(TrimAtNull(ini.GetString(kSection, "SearchDir", "")));
    txtSearchDir->setText(QFile::decodeName(QByteArray::fromStdString(searchDir)));

    // 1 ticks these boxes, anything else clears them ...
    const auto tickOnOne = [&](std::string_view key, QCheckBox* box, int missing) {
        box->setChecked(ini.GetInt(kSection, key, missing) == 1);
    };
    // ... and 0 clears these, anything else ticks them.
    const auto clearOnZero = [&](std::string_view key, QCheckBox* box, int missing) {
        box->setChecked(ini.GetInt(kSection, key, missing) != 0);
    };
    tickOnOne("SubDir", chkSubDir, 0);
    clearOnZero("SearchLHA", chkLHA, 1);
    clearOnZero("SearchZIP", chkZIP, 1);
    clearOnZero("SearchCAB", chkCAB, 1);
    clearOnZero("SearchEXE", chkEXE, 1);
    tickOnOne("DispFileName", chkNoFileName, 0);
    tickOnOne("CheckArchive", chkNoArcCheck, 0);

    // "CheckClick" is the older name of "ClickMode"; 9 stands for missing.
    int clickMode = ini.GetInt(kSection, "CheckClick", 9);
    if (clickMode == 9) {
        clickMode = ini.GetInt(kSection, "ClickMode", 0);
    } else {
        ini.WriteString(kSection, "CheckClick", std::nullopt);
        ini.WriteString(kSection, "ClickMode", Decimal(clickMode));
    }
    chkClick->setChecked(clickMode == 1);

    tickOnOne("AutoColumn", chkAutoColumn, 0);
    clearOnZero("SfxIcon", chkSFXIcon, 1);
    clearOnZero("ListColor", chkListColor, 1);

    int view = ini.GetInt(kSection, "View", 3);
    if (view < 0 || view > 3) {
        view = 3;
    }
    cmbView->setCurrentIndex(view);

    for (const ColorKey& key : kColorKeys) {
        const std::string text =
            TrimBlanks(TrimAtNull(ini.GetString(kSection, key.key, key.defaultText)));
        int colour = HexToColor(text);
        if (colour == -1) {
            colour = HexToColor(key.defaultText);
        }
        mColors.*key.colour = static_cast<RgbColor>(colour);
    }
}

void frmMERVOK::ApplyWindowBounds(int left, int top, int width, int height) {
    // The settings hold the outer bounds; Qt sizes the client area. Before
    // the window is first shown the frame is not known yet: the outer size
    // is applied again once it is.
    const QSize frameExtra = frameGeometry().size() - size();
    const QSize outer(TwipsToPixels(width), TwipsToPixels(height));
    move(TwipsToPixels(left), TwipsToPixels(top));
    resize((outer - frameExtra).expandedTo(QSize(1, 1)));
    if (!isVisible()) {
        mPendingOuterSize = outer;
    }
    // Lay out now: the list's columns are sized from its width at start-up.
    Form_Resize();
}

void frmMERVOK::WriteDefaultSettings() {
    SettingsStore ini(mIniFile);
    const TwipRect current = TwipsOf(frameGeometry());
    ini.WriteString(kSection, "Window", "0");
    ini.WriteString(kSection, "Left", Decimal(current.left));
    ini.WriteString(kSection, "Top", Decimal(current.top));
    ini.WriteString(kSection, "Width", Decimal(current.width));
    ini.WriteString(kSection, "Height", Decimal(current.height));
    ini.WriteString(kSection, "SearchDir", "");
    // The boxes still hold their initial values, which are the first-run
    // defaults.
    WriteBoxKeys(ini);
    ini.WriteString(kSection, "View", "3");
    for (const ColorKey& key : kColorKeys) {
        mColors.*key.colour = static_cast<RgbColor>(HexToColor(key.defaultText));
        ini.WriteString(kSection, key.key, key.defaultText);
    }
    cmbView->setCurrentIndex(3);
}

void frmMERVOK::WriteBoxKeys(SettingsStore& ini) const {
    const BoxKey boxes[] = {
        {"SubDir", &frmMERVOK::chkSubDir},           {"SearchLHA", &frmMERVOK::chkLHA},
        {"SearchZIP", &frmMERVOK::chkZIP},           {"SearchCAB", &frmMERVOK::chkCAB},
        {"SearchEXE", &frmMERVOK::chkEXE},           {"DispFileName", &frmMERVOK::chkNoFileName},
        {"CheckArchive", &frmMERVOK::chkNoArcCheck}, {"ClickMode", &frmMERVOK::chkClick},
        {"AutoColumn", &frmMERVOK::chkAutoColumn},   {"SfxIcon", &frmMERVOK::chkSFXIcon},
        {"ListColor", &frmMERVOK::chkListColor},
    };
    for (const BoxKey& box : boxes) {
        ini.WriteString(kSection, box.key, BoxValue(this->*box.box));
    }
}

void frmMERVOK::SaveSettings() {
    SettingsStore ini(mIniFile);
    const int state = isMinimized() ? 1 : (isMaximized() ? 2 : 0);
    ini.WriteString(kSection, "Window", Decimal(state));
    if (state == 0) {
        const TwipRect bounds = TwipsOf(frameGeometry());
        ini.WriteString(kSection, "Left", Decimal(bounds.left));
        ini.WriteString(kSection, "Top", Decimal(bounds.top));
        ini.WriteString(kSection, "Width", Decimal(bounds.width));
        ini.WriteString(kSection, "Height", Decimal(bounds.height));
    }
    ini.WriteString(kSection, "SearchDir",
                    TrimBlanks(QFile::encodeName(txtSearchDir->text()).toStdString()));
    WriteBoxKeys(ini);
    ini.WriteString(kSection, "View", Decimal(cmbView->currentIndex()));
    for (const ColorKey& key : kColorKeys) {
        ini.WriteString(kSection, key.key, ColorToHex(static_cast<int>(mColors.*key.colour)));
    }
}

void frmMERVOK::Form_Unload() {
    if (mUnloaded) {
        return;
    }
    mUnloaded = true;
    // A search still running is stopped and waited for; it reports nothing
    // more. One held by storage that stopped answering is not waited for:
    // the process ends without it, as soon as the settings are saved.
    mAbortRequested = true;
    mProgressTimer.stop();
    const bool stopped = StopWorker(kCloseWait);
    // The hints go with the window.
    delete mControlHelp;
    mControlHelp = nullptr;
    if (mLoaded) {
        SaveSettings();
    }
    if (!stopped) {
        if (mEndProcess) {
            mEndProcess();
        } else {
            std::_Exit(0);
        }
    }
}

}  // namespace mervok
