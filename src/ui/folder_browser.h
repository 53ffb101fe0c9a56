#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLineEdit;
class QWidget;

namespace mervok {

// The title of the search-folder dialog.
QString FolderDialogTitle();

// Shows the folder dialog (only folders can be chosen) with startFolder
// selected in its parent folder, or at the top of the tree with nothing
// selected when startFolder is empty; returns the chosen folder, or an empty
// text on cancel.
using FolderDialogFunction =
    std::function<QString(QWidget* owner, const QString& title, const QString& startFolder)>;

// Replaces the dialog, so that tests do not block on it; an empty function
// brings the real dialog back.
void SetFolderDialogFunction(FolderDialogFunction dialog);

// The folder the dialog opens with selected: the given folder (blanks around
// it removed) when it names an existing folder, otherwise none (empty).
QString FolderDialogStart(const QString& initialFolder);

// Opens the dialog for the search-folder box: on the box's folder when that
// exists; the chosen folder replaces the box's text, cancel leaves it as it
// was.
void BrowseForSearchFolder(QLineEdit* txtSearchDir, QWidget* owner);

// Entering the box from the keyboard (Tab, Shift+Tab, a mnemonic) or by a
// focus move of the program selects its whole text; a mouse click places the
// caret as usual. The filter belongs to the box.
void SelectAllOnKeyboardFocus(QLineEdit* txtSearchDir);

// The program's own focus move into the box: its whole text is selected,
// also when the window gets the focus back only later (after a message box)
// or the box has it already.
void FocusSearchFolder(QLineEdit* txtSearchDir);

}  // namespace mervok
