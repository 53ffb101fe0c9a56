#include "ui/viewer_hand_off.h"

#include <QAbstractButton>
#include <utility>

#include "ui/result_list.h"

namespace mervok {

ViewerHandOff::ViewerHandOff(ResultList* lsvArchive, QAbstractButton* chkClick,
                             std::string programFolder, std::string viewerIniFile,
                             int viewerPrevInstance, ViewerLauncher::ErrorFunction showError,
                             QObject* parent)
    : QObject(parent),
      mList(lsvArchive),
      mClickMode(chkClick),
      mLauncher(std::move(programFolder), std::move(viewerIniFile), viewerPrevInstance,
                std::move(showError)) {
    if (lsvArchive) {
        connect(lsvArchive, &ResultList::MouseDown, this, &ViewerHandOff::lsvArchive_MouseDown);
        connect(lsvArchive, &ResultList::Clicked, this, &ViewerHandOff::lsvArchive_Click);
        connect(lsvArchive, &ResultList::DoubleClicked, this, &ViewerHandOff::lsvArchive_DblClick);
        connect(lsvArchive, &ResultList::EnterPressed, this, &ViewerHandOff::lsvArchive_KeyPress);
    }
}

bool ViewerHandOff::SingleClickMode() const {
    return mClickMode && mClickMode->isChecked();
}

void ViewerHandOff::lsvArchive_MouseDown(Qt::MouseButton button, bool onRow) {
    mPressedButton = button;
    mPressedItem = onRow;
    mPressWasDouble = false;
}

void ViewerHandOff::lsvArchive_Click(Qt::MouseButton) {
    if (mPressWasDouble) {
        return;
    }
    if (mPressedItem && SingleClickMode() && mPressedButton == Qt::LeftButton) {
        OpenSelectedArchive();
    }
}

void ViewerHandOff::lsvArchive_DblClick(Qt::MouseButton button, bool onRow) {
    mPressedButton = button;
    mPressedItem = onRow;
    mPressWasDouble = true;
    if (mPressedItem && !SingleClickMode() && mPressedButton == Qt::LeftButton) {
        OpenSelectedArchive();
    }
}

void ViewerHandOff::lsvArchive_KeyPress() {
    OpenSelectedArchive();
}

void ViewerHandOff::btnOption_Click() {
    mLauncher.OpenOptions();
}

void ViewerHandOff::OpenSelectedArchive() {
    if (!mList || mList->RowCount() == 0) {
        return;
    }
    if (std::optional<std::string> path = mList->SelectedPath()) {
        mLauncher.OpenArchive(*path);
    }
}

}  // namespace mervok
