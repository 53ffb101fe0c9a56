#include "ui/folder_browser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFocusEvent>
#include <QLineEdit>

namespace mervok {

namespace {

FolderDialogFunction& DialogFunction() {
    static FolderDialogFunction dialog;
    return dialog;
}

// Qt's Japanese texts lack the type name of a folder, the one English word
// the dialog would show.
class JapaneseFolderType : public QFileIconProvider {
  public:
    QString type(const QFileInfo& info) const override {
        return info.isDir() ? QStringLiteral("フォルダー") : QFileIconProvider::type(info);
    }
};

QString RealFolderDialog(QWidget* owner, const QString& title, const QString& startFolder) {
    JapaneseFolderType types;
    QFileDialog dialog(owner, title);
    dialog.setIconProvider(&types);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (startFolder.isEmpty()) {
        // The top of the tree, nothing selected.
        dialog.setDirectory(QDir::rootPath());
    } else {
        // The folder selected among its siblings, not opened.
        const QFileInfo folder(QDir::cleanPath(startFolder));
        dialog.setDirectory(folder.absolutePath());
        dialog.selectFile(folder.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

// Only blanks are trimmed, as the box's text is typed.
QString TrimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == QLatin1Char(' ')) {
        ++first;
    }
    while (last > first && text[last - 1] == QLatin1Char(' ')) {
        --last;
    }
    return text.mid(first, last - first);
}

class KeyboardSelectAll : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::FocusIn) {
            return false;
        }
        auto* box = qobject_cast<QLineEdit*>(watched);
        switch (static_cast<QFocusEvent*>(event)->reason()) {
            case Qt::TabFocusReason:
            case Qt::BacktabFocusReason:
            case Qt::ShortcutFocusReason:
            case Qt::OtherFocusReason:
                if (box) {
                    box->selectAll();
                }
                break;
            default:
                // Mouse clicks, window activation and closed popups keep the
                // caret and selection where they are.
                break;
        }
        return false;
    }
};

}  // namespace

QString FolderDialogTitle() {
    return QStringLiteral("検索するフォルダを選択してください。");
}

void SetFolderDialogFunction(FolderDialogFunction dialog) {
    DialogFunction() = std::move(dialog);
}

QString FolderDialogStart(const QString& initialFolder) {
    QString folder = TrimBlanks(initialFolder);
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        return folder;
    }
    return {};
}

void BrowseForSearchFolder(QLineEdit* txtSearchDir, QWidget* owner) {
    if (!txtSearchDir) {
        return;
    }
    QString start = FolderDialogStart(txtSearchDir->text());
    const FolderDialogFunction& dialog = DialogFunction();
    QString chosen = dialog ? dialog(owner, FolderDialogTitle(), start)
                            : RealFolderDialog(owner, FolderDialogTitle(), start);
    if (!chosen.isEmpty()) {
        txtSearchDir->setText(QDir::toNativeSeparators(chosen));
    }
}

void FocusSearchFolder(QLineEdit* txtSearchDir) {
    txtSearchDir->setFocus(Qt::OtherFocusReason);
    // A box whose window is inactive gets its focus-in only at the
    // activation, which must not select (a click into the inactive window
    // activates it too); the selection made now survives that focus-in.
    txtSearchDir->selectAll();
}

void SelectAllOnKeyboardFocus(QLineEdit* txtSearchDir) {
    if (txtSearchDir) {
        txtSearchDir->installEventFilter(new KeyboardSelectAll(txtSearchDir));
    }
}

}  // namespace mervok
