// The window's search for a text in the documents: the box, the count
// column, the pane of matches and the viewer opened at a match, over
// archives real tools made and a stand-in viewer that writes down its
// arguments.

#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "results/result_model.h"
#include "ui/frm_mervok.h"
#include "ui/match_pane.h"
#include "ui/result_list.h"
#include "viewer/viewer_command_line.h"

namespace mervok {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;

const QString kWord = QStringLiteral("設定ファイル");

class WindowTextTest : public test::WindowTest {
  protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        // Each start writes its arguments, NUL after each, a newline after all.
        mProgram.Write("Quorvix.exe", "#!/bin/sh\nfor a; do printf '%s\\0' \"$a\"; done >> '" +
                                          mProgram.File("opened") + "'\necho >> '" +
                                          mProgram.File("opened") + "'\n");
        fs::permissions(mProgram.File("Quorvix.exe"), fs::perms::owner_all);
        // A file from before the text box: it has no key for it.
        testing::WriteBytes(IniPath(), "[Mervok]\r\nSubDir=1\r\nView=3\r\n");
        for (const char* name : {"mixed.zip", "mixed.lzh"}) {
            fs::copy_file(testing::Fixture(std::string("text/") + name), mData.File(name));
        }
        test::CopyFixture("zip/plain.zip", mData.File("sub/plain.zip"));
    }

    void SearchAndWait() {
        QSignalSpy finished(mWindow.get(), &frmMERVOK::SearchFinished);
        Control<QPushButton>("btnSearch")->click();
        ASSERT_TRUE(test::AwaitSignal(finished));
    }

    // The viewer started by the next open, once it has written its arguments.
    ViewerTarget NextOpened() {
        std::vector<std::string> starts;
        testing::WaitUntil([&] {
            std::istringstream record(ReadBytes(mProgram.File("opened")));
            starts.clear();
            for (std::string line; std::getline(record, line);) {
                starts.push_back(line);
            }
            return starts.size() > mSeen;
        });
        EXPECT_EQ(starts.size(), mSeen + 1) << "one open, one viewer";
        std::vector<std::string> arguments;
        std::istringstream start(starts.at(mSeen++));
        for (std::string argument; std::getline(start, argument, '\0');) {
            arguments.push_back(argument);
        }
        const ViewerCommand command = ParseViewerCommandLine(arguments);
        EXPECT_EQ(command.action, ViewerCommand::Action::Open) << command.error;
        return command.target;
    }

    std::size_t mSeen = 0;
};

TEST_F(WindowTextTest, TheTextFindsDocumentsShowsTheirLinesAndOpensTheViewerThere) {
    Open();
    auto* box = Control<QLineEdit>("txtFindText");
    auto* pane = Control<MatchPane>("lsvMatch");
    auto* list = Control<ResultList>("lsvArchive");
    Control<QLineEdit>("txtSearchDir")->setText(QString::fromStdString(mData.Path()));
    EXPECT_TRUE(box->text().isEmpty()) << "an older file loads without a text";
    EXPECT_TRUE(pane->isHidden());
    const QRect wholeList = list->geometry();

    // Without a text every archive with a document is a hit, in five columns.
    SearchAndWait();
    EXPECT_EQ(list->RowCount(), 3);
    EXPECT_EQ(list->DetailsView()->header()->count(), ResultModel::kColumnCount);

    // The label's access key reaches the box; typing shows the pane below a
    // shorter list, both within the window.
    QTest::keyClick(mWindow.get(), Qt::Key_K, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), box);
    // Japanese comes through the input method.
    QInputMethodEvent typed;
    typed.setCommitString(kWord);
    QApplication::sendEvent(box, &typed);
    ASSERT_TRUE(pane->isVisible());
    EXPECT_EQ(list->geometry().top(), wholeList.top());
    EXPECT_LT(list->geometry().bottom(), pane->geometry().top());
    EXPECT_EQ(pane->geometry().bottom(), wholeList.bottom());
    EXPECT_EQ(pane->width(), list->width());

    // Only the archives whose documents say the word; each with its count.
    SearchAndWait();
    ASSERT_EQ(test::ShownNames(list->DetailsView()), (QStringList{"mixed.lzh", "mixed.zip"}));
    QAbstractItemModel* rows = list->DetailsView()->model();
    EXPECT_EQ(rows->headerData(ResultModel::kMatchesColumn, Qt::Horizontal).toString(),
              QStringLiteral("一致数"));
    const int expected = static_cast<int>(list->Model()->Hit(0).text.matches.size());
    EXPECT_GE(expected, 4) << "every .TXT document of each encoding";
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(rows->index(row, ResultModel::kMatchesColumn).data().toString(),
                  QString::number(expected));
    }

    // The selected hit's matches: entry, line and the line with the word
    // marked, whatever its encoding was.
    std::set<QString> entries;
    ASSERT_EQ(pane->topLevelItemCount(), expected);
    for (int row = 0; row < expected; ++row) {
        const QTreeWidgetItem* item = pane->topLevelItem(row);
        entries.insert(item->text(MatchPane::kEntryColumn));
        EXPECT_EQ(item->text(MatchPane::kLineColumn), QStringLiteral("5"));
        const QString snippet = item->text(MatchPane::kSnippetColumn);
        EXPECT_EQ(snippet, QStringLiteral("第一の設定ファイルを開く。"));
        EXPECT_EQ(
            snippet.mid(item->data(MatchPane::kSnippetColumn, MatchPane::kMatchStartRole).toInt(),
                        item->data(MatchPane::kSnippetColumn, MatchPane::kMatchLengthRole).toInt()),
            kWord);
    }
    EXPECT_TRUE(entries.count(QStringLiteral("sjis.txt")) &&
                entries.count(QStringLiteral("u8.txt")))
        << entries.size();

    // The other hit selected, Enter and a double click on its matches open
    // the viewer at that archive's entry and line, finding the word.
    list->DetailsView()->setCurrentIndex(rows->index(1, 0));
    pane->setFocus();
    pane->setCurrentItem(pane->topLevelItem(1));
    const QString second = pane->topLevelItem(1)->text(MatchPane::kEntryColumn);
    QTest::keyClick(pane, Qt::Key_Return);
    ViewerTarget opened = NextOpened();
    EXPECT_EQ(opened.archive, mData.File("mixed.zip"));
    EXPECT_EQ(QString::fromStdString(opened.entry), second);
    EXPECT_EQ(opened.line, 5U);
    EXPECT_EQ(QString::fromStdString(opened.text), kWord);
    const QTreeWidgetItem* first = pane->topLevelItem(0);
    const QPoint at = pane->visualItemRect(first).center();
    // As the window system reports a double click: a click, then the second press.
    QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(pane->viewport(), Qt::LeftButton, {}, at);
    opened = NextOpened();
    EXPECT_EQ(QString::fromStdString(opened.entry), first->text(MatchPane::kEntryColumn));
    EXPECT_EQ(opened.archive, mData.File("mixed.zip"));

    // The text is kept in the settings; an emptied box hides the pane, gives
    // the list its place back and leaves no key behind.
    mWindow->close();
    EXPECT_NE(ReadBytes(IniPath()).find("FindText=設定ファイル"), std::string::npos);
    Open();
    box = Control<QLineEdit>("txtFindText");
    EXPECT_EQ(box->text(), kWord);
    EXPECT_TRUE(Control("lsvMatch")->isVisible());
    box->clear();
    EXPECT_TRUE(Control("lsvMatch")->isHidden());
    EXPECT_EQ(Control("lsvArchive")->geometry(), wholeList);
    mWindow->close();
    EXPECT_EQ(ReadBytes(IniPath()).find("FindText"), std::string::npos);
}

}  // namespace
}  // namespace mervok
