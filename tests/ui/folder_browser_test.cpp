#include "ui/folder_browser.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
        EXPECT_EQ(mStart, QDir::homePath()) << text.toStdString();
    }
    // A cancel keeps the text as it was; a choice replaces it.
    box.setText("  old text ");
    BrowseForSearchFolder(&box, nullptr);
    EXPECT_EQ(box.text(), "  old text ");
    mAnswer = "/";
    BrowseForSearchFolder(&box, nullptr);
    EXPECT_EQ(box.text(), "/") << "a root keeps its separator";
}

}  // namespace
}  // namespace mervok
