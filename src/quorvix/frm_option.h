#pragma once

#include <QDialog>
#include <QString>

#include <string>

namespace mervok {
class SettingsStore;
}

class QCheckBox;
class QLabel;
class QLineEdit;

namespace mervok::quorvix {

// The viewer's options: the document types ("DocType") and whether there is
// one viewer ("PrevInstance"), in section "Option" of Quorvix.ini. OK writes
// the keys that changed and nothing else.
class frmOption : public QDialog {
    Q_OBJECT
  public:
    explicit frmOption(SettingsStore& ini, QWidget* parent = nullptr);

  private:
    void btnOK_Click();

    SettingsStore& mIni;
    QLineEdit* txtDocType;
    QCheckBox* chkPrevInstance;
    QLabel* lblError;
    QString mShownDocTypes;
    std::string mDocTypes;
};

}  // namespace mervok::quorvix
