#pragma once

#include <QWidget>

#include <string>

#include "ui/form_layout.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace mervok {

// The main window. Its controls carry the names they are known by (also as
// their objectName); geometry is designed in twips and placed absolutely.
class frmMERVOK : public QWidget {
    Q_OBJECT

  public:
    // programFolder is where the program's companions live: the viewer's
    // settings and executable, our own settings, the archiver libraries.
    explicit frmMERVOK(std::string programFolder, QWidget* parent = nullptr);
    ~frmMERVOK() override;

    // Lays the controls out for the current client size.
    void Form_Resize();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void CreateControls();
    void SetTabOrder();
    FormLayout ReadLayout() const;
    void ApplyLayout(const FormLayout& layout);
    void PlaceProgressBar();

    std::string mProgramFolder;

    // Controls, named as the window knows them.
    QProgressBar* ProgressBar1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* mPanel1 = nullptr;
    QLabel* mPanel2 = nullptr;
    QLabel* mPanel3 = nullptr;
    QWidget* lsvArchive = nullptr;
    QGroupBox* Frame2 = nullptr;
    QWidget* picXpStyle0 = nullptr;
    QLineEdit* txtSearchDir = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* btnBrowse = nullptr;
    QCheckBox* chkSubDir = nullptr;
    QPushButton* btnSearch = nullptr;
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
