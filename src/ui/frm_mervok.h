#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

#include "archivers/archiver_api.h"
#include "results/row_text.h"
#include "search/search_options.h"
#include "search/search_run.h"
#include "ui/form_layout.h"
#include "ui/form_settings.h"
#include "ui/search_run_control.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace mervok {

class ArchiverLibraries;
class ControlHelp;
class MatchPane;
class ResultList;
class ViewerHandOff;
struct SearchResult;

// The main window. Its controls carry the names they are known by (also as
// their objectName); geometry is designed in twips and placed absolutely.
//
// Life: construct, Form_Load (false: the program ends without a window),
// ShowLoaded; closing the window by any means saves the settings once.
class frmMERVOK : public QWidget {
    Q_OBJECT

  public:
    // programFolder is where the program's companions live: the viewer's
    // settings and executable, our own settings and, unless libraries are
    // given, the three archiver libraries.
    explicit frmMERVOK(std::string programFolder,
                       std::optional<ArchiverSet> libraries = std::nullopt,
                       QWidget* parent = nullptr);
    ~frmMERVOK() override;

    // The start-up sequence. False when the viewer's settings file is missing:
    // the user has been told, nothing was written, and the program ends.
    bool Form_Load();
    // Shows the window, maximised when the settings asked for it.
    void ShowLoaded();
    // A folder named at start replaces the stored one in the folder box;
    // nothing is searched until the user asks.
    void SetStartFolder(const QString& folder);

    // Handlers, named after the control and event they serve.
    void Form_Resize();
    void Form_Activate();
    void Form_Unload();
    // The session manager asks to save (a checkpoint, or a logout that may
    // still be cancelled): the settings are saved and the window stays as it
    // is; only the real close unloads it.
    void Session_CommitData();
    void btnExit_Click();
    void btnSearch_Click();
    void cmbView_Click();
    void chkClick_Click();
    void chkAutoColumn_Click();
    void btnBrowse_Click();
    void btnOption_Click();
    void btnAbout_Click();
    void btnHelp_Click();
    // The pane of matches shows while there is a text to find.
    void txtFindText_Change();
    // The selected hit's matches go to the pane.
    void lsvArchive_SelectionChange();
    // Opens a match of the pane in the viewer, at its entry and line.
    void lsvMatch_Open(int row);

    // The hints and context help, and the hand-off of hits to the viewer;
    // made at the end of Form_Load.
    ControlHelp* Help() const { return mControlHelp; }
    ViewerHandOff* HandOff() const { return mViewerHandOff; }

    // Sets the Enabled state of the option controls; a format box whose
    // library is missing stays disabled.
    void EnableSearchControls(bool enabled);

    // Values start-up determined.
    const StartupValues& Startup() const { return mStartup; }
    const std::string& HelpFile() const { return mHelpFile; }
    const std::string& IniFile() const { return mSettings->IniFile(); }
    const KindColors& Colors() const { return mSettings->Colors(); }
    // The searches btnSearch starts and aborts.
    SearchRunControl& Search() { return *mSearch; }

  signals:
    // A run has ended and the window shows its outcome (also after an abort
    // in the walk, when there is nothing to show).
    void SearchFinished();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void SetTabOrder();
    void ConnectHandlers();
    FormLayout ReadLayout() const;
    void ApplyLayout(const FormLayout& layout);
    void PlaceStatusBar();
    // Over status panel 1, wherever the panel is.
    void PlaceProgressBar();

    void ProbeLibraries();

    // The search run's face: the controls locked while it runs, its
    // progress and its outcome.
    void StartSearch();
    void AbortSearch();
    // The window as it is between runs, as an abort click leaves it.
    void ShowIdle();
    void ShowSearchProgress(const SearchProgress& progress);
    void ShowSearchResult(SearchResult result, bool aborted);
    void SetPanel(int panel, const QString& text);

    std::string mProgramFolder;
    std::unique_ptr<ArchiverLibraries> mOwnLibraries;
    ArchiverSet mLibraries;

    std::string mHelpFile;
    StartupValues mStartup;
    UsableFormats mUsable;
    bool mLoaded = false;
    bool mUnloaded = false;
    std::unique_ptr<FormSettings> mSettings;
    SearchRunControl* mSearch = nullptr;
    // The text the last run looked for: its matches are what the pane shows.
    std::string mRunText;
    bool mRunIgnoreCase = false;
    QPointer<QWidget> mFocusBeforeRun;

    ControlHelp* mControlHelp = nullptr;
    ViewerHandOff* mViewerHandOff = nullptr;

    // Controls, named as the window knows them.
    QProgressBar* ProgressBar1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* mPanel1 = nullptr;
    QLabel* mPanel2 = nullptr;
    QLabel* mPanel3 = nullptr;
    ResultList* lsvArchive = nullptr;
    QGroupBox* Frame2 = nullptr;
    QWidget* picXpStyle0 = nullptr;
    QLineEdit* txtSearchDir = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* btnBrowse = nullptr;
    QCheckBox* chkSubDir = nullptr;
    QPushButton* btnSearch = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtFindText = nullptr;
    MatchPane* lsvMatch = nullptr;
    QGroupBox* Frame1 = nullptr;
    QWidget* picXpStyle1 = nullptr;
    QCheckBox* chkLHA = nullptr;
    QCheckBox* chkZIP = nullptr;
    QCheckBox* chkCAB = nullptr;
    QCheckBox* chkEXE = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cmbView = nullptr;
    QCheckBox* chkNoFileName = nullptr;
    QCheckBox* chkNoArcCheck = nullptr;
    QCheckBox* chkClick = nullptr;
    QCheckBox* chkAutoColumn = nullptr;
    QCheckBox* chkSFXIcon = nullptr;
    QCheckBox* chkListColor = nullptr;
    QPushButton* btnOption = nullptr;
    QPushButton* btnAbout = nullptr;
    QPushButton* btnHelp = nullptr;
    QPushButton* btnExit = nullptr;
    QLabel* imgSFX32 = nullptr;
    QLabel* imgSFX16 = nullptr;
};

}  // namespace mervok
