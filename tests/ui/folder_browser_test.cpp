#include "ui/folder_browser.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

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

TEST_F(FolderBrowserTest, OpensOnTheBoxFolderOnlyWhenItExists) {
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
}

TEST_F(FolderBrowserTest, ChoiceReplacesTextCancelKeepsIt) {
    QLineEdit box;
    box.setText("  old text ");
    BrowseForSearchFolder(&box, nullptr);
    EXPECT_EQ(box.text(), "  old text ");
    mAnswer = "/";
    BrowseForSearchFolder(&box, nullptr);
    EXPECT_EQ(box.text(), "/") << "a root keeps its separator";
}

// Keyboard and program focus moves select the whole text; a click does not.
class SelectAllTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&mWindow);
        mBefore = new QPushButton("before", &mWindow);
        mBox = new QLineEdit("/some/folder", &mWindow);
        mBox->setObjectName("txtSearchDir");
        mAfter = new QPushButton("after", &mWindow);
        layout->addWidget(mBefore);
        layout->addWidget(mBox);
        layout->addWidget(mAfter);
        SelectAllOnKeyboardFocus(mBox);
        mWindow.show();
        QApplication::setActiveWindow(&mWindow);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&mWindow));
    }

    void Reset(QWidget* focus) {
        focus->setFocus(Qt::TabFocusReason);
        mBox->deselect();
        ASSERT_FALSE(mBox->hasSelectedText());
    }

    QWidget mWindow;
    QPushButton* mBefore = nullptr;
    QLineEdit* mBox = nullptr;
    QPushButton* mAfter = nullptr;
};

TEST_F(SelectAllTest, KeyboardEntrySelectsAll) {
    Reset(mBefore);
    QTest::keyClick(mBefore, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), mBox);
    EXPECT_EQ(mBox->selectedText(), "/some/folder");

    Reset(mAfter);
    mBox->setFocus();  // the program returns the focus after a message
    EXPECT_EQ(mBox->selectedText(), "/some/folder");
}

TEST_F(SelectAllTest, MouseEntryPlacesTheCaret) {
    Reset(mBefore);
    QTest::mouseClick(mBox, Qt::LeftButton, {}, QPoint(4, mBox->height() / 2));
    ASSERT_EQ(QApplication::focusWidget(), mBox);
    EXPECT_FALSE(mBox->hasSelectedText());
}

}  // namespace
}  // namespace mervok
