#pragma once

#include <QDialog>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

namespace mervok {

// Opens an address in the desktop's browser; replaceable so that tests see
// the address instead of starting a browser. An empty function brings
// QDesktopServices::openUrl back.
using OpenUrlFunction = std::function<bool(const QUrl& address)>;
void SetOpenUrlFunction(OpenUrlFunction open);

// The program's icon as window shows it (its own, its parent's or the
// application's window icon); a drawn one when none is set.
QPixmap ProgramIconPixmap(const QWidget& window, int size);

// The largest font of at most the given size that fits text into box with
// word wrap (never below 7 points).
QFont FitFont(QFont font, const QString& text, const QSize& box);

// The version dialog: the product name as a two-colour title, the version,
// the legal notice and the home page, the icon linking to the same page.
// Each opening builds a fresh dialog, so its labels are set anew.
class frmAbout : public QDialog {
    Q_OBJECT

  public:
    explicit frmAbout(QWidget* parent = nullptr);

    // btnAbout: a new dialog, modal over mainWindow and centred on it, freed
    // when it closes.
    static frmAbout* ShowOver(QWidget* mainWindow);

  protected:
    // Form_Activate: on activation the dialog becomes the message boxes'
    // owner (gOwnerHwnd), so that boxes centre over it while it is open.
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Centred over the main window as the message boxes are.
    void showEvent(QShowEvent* event) override;

  private:
    void Form_Load();
    void LayOut();
    // Image1_Click and lblHP_Click.
    void OpenHomePage();

    QLabel* Image1;
    QLabel* Label4;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* lblMyVer;
    QLabel* lblCopyRight;
    QLabel* lblHP;
    QPushButton* Command1;
};

}  // namespace mervok
