#pragma once

#include <QObject>
#include <QPointer>
#include <string>

#include "viewer/viewer_launcher.h"

class QAbstractButton;

namespace mervok {

class ResultList;

// How the main window hands a hit to the viewer: the click mode of chkClick
// (a single left click, or a left double click; the window keeps the list's
// hover selection in step with the box), Enter in the list, and btnOption,
// which starts the viewer alone. A failed start is shown through showError
// (the centred stop box with the product name as title).
class ViewerHandOff : public QObject {
    Q_OBJECT

  public:
    ViewerHandOff(ResultList* lsvArchive, QAbstractButton* chkClick, std::string programFolder,
                  std::string viewerIniFile, int viewerPrevInstance,
                  ViewerLauncher::ErrorFunction showError, QObject* parent = nullptr);

    // The list's events, as the window would receive them.
    void lsvArchive_MouseDown(Qt::MouseButton button, bool onRow);
    void lsvArchive_Click(Qt::MouseButton button);
    void lsvArchive_DblClick(Qt::MouseButton button, bool onRow);
    void lsvArchive_KeyPress();  // Enter; the list has already kept the key
    void btnOption_Click();

    // Opens the selected row in the viewer; nothing without a selected row.
    void OpenSelectedArchive();

    ViewerLauncher& Launcher() { return mLauncher; }

    Qt::MouseButton mPressedButton = Qt::NoButton;
    bool mPressedItem = false;

  private:
    bool SingleClickMode() const;

    QPointer<ResultList> mList;
    QPointer<QAbstractButton> mClickMode;
    ViewerLauncher mLauncher;
    // The last press was the second one of a double click; its release is no
    // click of its own.
    bool mPressWasDouble = false;
};

}  // namespace mervok
