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

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

#include "app/file_exists.h"
#include "app/help_file.h"
#include "app/mervok_settings.h"
#include "app/product_info.h"
#include "app/program_folder.h"
#include "app/settings_folder.h"
#include "app/settings_store.h"
#include "startup/startup.h"
#include "ui/centered_msg_box.h"
#include "ui/control_help.h"
#include "ui/folder_browser.h"
#include "ui/frm_mervok.h"
#include "ui/message_box.h"
#include "ui/result_list.h"
#include "ui/twips.h"
#include "ui/viewer_hand_off.h"
#include "viewer/viewer_settings.h"

namespace mervok {

namespace {

QString MissingViewerIniText() {
    return QString::fromUtf8(kViewerIniName.data(), static_cast<qsizetype>(kViewerIniName.size())) +
           QStringLiteral(" が見つかりません。") + QStringLiteral("\r\n\r\n") +
           QStringLiteral("このプログラムは ") + QStringLiteral("Quorvix.exe") +
           QStringLiteral(" と同じ場所に置いてください。");
}

}  // namespace

bool frmMERVOK::Form_Load() {
    // The help file beside the program, or its bare name when it is not there.
    const std::string helpPath = HelpFilePath(mProgramFolder, ProgramFileName());
    std::string probe = helpPath;
    mHelpFile = FileExists(probe) ? helpPath : helpPath.substr(mProgramFolder.size());

    // The viewer's settings are looked for in the settings folder, which an
    // installed program seeds from its own folder: missing there, the
    // installation is broken.
    const auto startup = AssembleStartup(mProgramFolder, mLibraries);
    // Refused settings are not a broken installation: the program runs on
    // its defaults and says why once loaded.
    if (startup.viewerIniTrust == SettingsTrust::Usable &&
        !ViewerIniExists(startup.values.viewerIniFile)) {
        // The window was never shown: the plain box, placed by the system.
        MessageBox::Show(nullptr, MissingViewerIniText(), MsgStyle{MsgButtons::Ok, MsgIcon::Stop},
                         QString::fromUtf8(kProductName));
        return false;
    }
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

    mSettings->Load(PathInFolder(startup.settingsFolder, kSettingsFileName));
    // Lay out now: the list's columns are sized from its width at start-up.
    Form_Resize();
    for (const std::string& file : {mSettings->IniFile(), mStartup.viewerIniFile}) {
        if (const auto trust = SettingsStore(file).Trust(); trust != SettingsTrust::Usable) {
            const QString why = QString::fromStdString(SettingsRefusalText(trust, file));
            mPanel1->setText(why);
            mPanel1->setToolTip(why);
            break;
        }
    }

    lsvArchive->SetHoverSelection(chkClick->isChecked());

    ProbeLibraries();

    const int largeIcon = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    lsvArchive->SetIconSizes(largeIcon, RoundHalfEven(largeIcon / 2.0));
    lsvArchive->SetUpColumns();

    ProgressBar1->hide();

    mViewerHandOff = new ViewerHandOff(
        lsvArchive, chkClick, mProgramFolder, mStartup.viewerIniFile, mStartup.viewerPrevInstance,
        [](const std::string& text) {
            QString title = QString::fromUtf8(kProductName);
            CenteredMsgBox(QString::fromStdString(text), MsgStyle{MsgButtons::Ok, MsgIcon::Stop},
                           title);
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

void frmMERVOK::SetStartFolder(const QString& folder) {
    txtSearchDir->setText(folder);
}

void frmMERVOK::ShowLoaded() {
    if (mSettings->ShowMaximized()) {
        showMaximized();
    } else {
        show();
    }
    // The first control takes the focus as any focus move by the program
    // does: a stored folder is selected, ready to be typed over.
    FocusSearchFolder(txtSearchDir);
    // Some window systems know the frame as soon as the window is shown,
    // others tell it later (a move or resize then follows).
    mSettings->WindowFramed();
}

void frmMERVOK::Session_CommitData() {
    if (mLoaded && !mUnloaded) {
        mSettings->Save();
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
    const bool stopped = mSearch->StopForClose();
    // The hints go with the window.
    delete mControlHelp;
    mControlHelp = nullptr;
    if (mLoaded) {
        mSettings->Save();
    }
    if (!stopped) {
        mSearch->EndProcess();
    }
}

}  // namespace mervok
