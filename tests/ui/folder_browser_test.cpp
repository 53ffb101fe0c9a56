#include "ui/folder_browser.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>

#include "desktop/qt_translations.h"
#include "gui_test_support.h"

namespace mervok {
namespace {

class FolderBrowserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(mTemp.isValid());
        mFolder = mTemp.filePath("a folder");
        ASSERT_TRUE(QDir().mkpath(mFolder));
        QFile file(mTemp.filePath("file.lzh"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        SetFolderDialogFunction([this](QWidget* owner, const QString& title, const QString& start) {
            ++mCalls;
            mOwner = owner;
            mTitle = title;
            mStart = start;
            return mAnswer;
        });
    }
    void TearDown() override { SetFolderDialogFunction({}); }

    QTemporaryDir mTemp;
    QString mFolder;
    QString mAnswer;
    int mCalls = 0;
    QWidget* mOwner = nullptr;
    QString mTitle;
    QString mStart;
};

TEST_F(FolderBrowserTest, OpensOnTheBoxFolderOnlyWhenItExistsAndOnlyAChoiceChangesTheBox) {
    QWidget window;
    QLineEdit box(&window);
    box.setText("  " + mFolder + " ");
    BrowseForSearchFolder(&box, &window);
    ASSERT_EQ(mCalls, 1);
    EXPECT_EQ(mStart, mFolder);
    EXPECT_EQ(mOwner, &window);
    EXPECT_EQ(mTitle, "検索するフォルダを選択してください。");

    for (const QString& text : {QString(), mTemp.filePath("file.lzh"), mTemp.filePath("missing"),
                                QStringLiteral("   ")}) {
        box.setText(text);
        BrowseForSearchFolder(&box, &window);
        EXPECT_EQ(mStart, QString()) << text.toStdString();
    }
    // A cancel keeps the text as it was; a choice replaces it.
    box.setText("  old text ");
    BrowseForSearchFolder(&box, nullptr);
    EXPECT_EQ(box.text(), "  old text ");
    mAnswer = "/";
    BrowseForSearchFolder(&box, nullptr);
    EXPECT_EQ(box.text(), "/") << "a root keeps its separator";
}

TEST_F(FolderBrowserTest, TheRealDialogSelectsTheFolderInItsParentOrStartsAtTheTopWithNothing) {
    SetFolderDialogFunction({});
    QWidget window;
    QLineEdit box(&window);
    for (const QString& text : {" " + mFolder + " ", mTemp.filePath("missing")}) {
        box.setText(text);
        QString shownFolder;
        QString nameText;
        QString typeName;
        test::WhenModalShown([&](QWidget& shown) {
            auto& dialog = static_cast<QFileDialog&>(shown);
            shownFolder = dialog.directory().absolutePath();
            nameText = dialog.findChild<QLineEdit*>("fileNameEdit")->text();
            typeName = dialog.iconProvider()->type(QFileInfo(mFolder));
            dialog.reject();
        });
        BrowseForSearchFolder(&box, &window);
        const bool exists = text.startsWith(' ');
        EXPECT_EQ(shownFolder, exists ? mTemp.path() : QDir::rootPath());
        EXPECT_EQ(nameText, exists ? QStringLiteral("a folder") : QString());
        EXPECT_EQ(typeName, QStringLiteral("フォルダー"));
        EXPECT_EQ(box.text(), text) << "cancelled";
    }
}

TEST(QtTranslationsTest, TheFolderBrowserEditMenusAndStandardButtonsReadInJapanese) {
    std::unique_ptr<QTranslator> translator(InstallQtTranslations(*qApp));
    ASSERT_NE(translator, nullptr);
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    auto* lookIn = dialog.findChild<QLabel*>("lookInLabel");
    auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
    ASSERT_TRUE(lookIn != nullptr && buttons != nullptr);
    EXPECT_EQ(lookIn->text(), "アドレス:");
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), "キャンセル");
    EXPECT_EQ(QCoreApplication::translate("QLineEdit", "Select All"), "すべてを選択");
}

}  // namespace
}  // namespace mervok
