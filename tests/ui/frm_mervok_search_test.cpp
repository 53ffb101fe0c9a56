#include <QAbstractItemView>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>

#include <thread>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "results/result_model.h"
#include "ui/frm_mervok.h"
#include "ui/message_box.h"
#include "ui/result_list.h"

namespace mervok {
namespace {

using test::CopyFixture;

const QString kSearchCaption = QStringLiteral("検索(&I)");
const QString kAbortCaption = QStringLiteral("中止(&P)");

class SearchRunTest : public test::WindowTest {
  protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        // A viewer of version 1.23, which honours its document types.
        mProgram.Write("Quorvix.ini", "[Option]\r\nPrevInstance=0\r\nDocType=DOC  HTM\r\n");
        std::filesystem::copy_file(testing::Fixture("pe/version_1_23_x64.exe"),
                                   mProgram.File("Quorvix.exe"));
        testing::WriteBytes(IniPath(), "[Mervok]\r\nSubDir=1\r\n");
    }

    void OpenOnData(std::optional<ArchiverSet> libraries = std::nullopt) {
        Open(libraries);
        SetFolder(QString::fromStdString(mData.Path()));
    }
    void SetFolder(const QString& text) { Control<QLineEdit>("txtSearchDir")->setText(text); }
    QPushButton* SearchButton() { return Control<QPushButton>("btnSearch"); }
    QString Panel(const char* name) { return Control<QLabel>(name)->text(); }
    ResultList* List() { return Control<ResultList>("lsvArchive"); }

    // Clicks the search button, which must start a run, and waits for its end.
    void SearchAndWait() {
        QSignalSpy finished(mWindow.get(), &frmMERVOK::SearchFinished);
        SearchButton()->click();
        ASSERT_TRUE(mWindow->Search().Running() || !finished.isEmpty()) << "no run started";
        ASSERT_TRUE(test::AwaitSignal(finished));
    }

    // Clicks the search button; returns once the run waits at gate on
    // coming to the step.
    void StartHeldAt(SearchStep held, test::Gate& gate) {
        mWindow->Search().SetProbeForTesting([&gate, held](SearchStep step) {
            if (step == held) {
                gate.Wait();
            }
        });
        SearchButton()->click();
        ASSERT_TRUE(gate.AwaitReached());
    }

    QStringList ShownNames() { return test::ShownNames(List()->CurrentView()); }
    QModelIndex Shown(int row, int column) {
        return List()->CurrentView()->model()->index(row, column);
    }

    void ExpectIdle() {
        EXPECT_EQ(SearchButton()->text(), kSearchCaption);
        EXPECT_TRUE(SearchButton()->isEnabled());
        for (const char* name : {"txtSearchDir", "chkSubDir", "cmbView", "btnExit", "chkLHA"}) {
            EXPECT_TRUE(Control(name)->isEnabled()) << name;
        }
        EXPECT_TRUE(Control("ProgressBar1")->isHidden());
        EXPECT_EQ(mWindow->cursor().shape(), Qt::ArrowCursor);
    }

    // The LHA archive holds a document only by the viewer's types.
    void MakeMixedFolder() {
        CopyFixture("zip/plain.zip", mData.File("beta.zip"));
        CopyFixture("lha/manual_doc.lzh", mData.File("alpha.lzh"));
        CopyFixture("zip/nodoc.zip", mData.File("nodoc.zip"));
        CopyFixture("cab/mszip.cab", mData.File("sub/gamma.cab"));
        mData.Write("fake.zip", "not an archive at all");
        mData.Write("plain.txt", "no archive");
    }
};

TEST_F(SearchRunTest, HitsAreListedSortedAndColouredWithCountTimeAndHint) {
    MakeMixedFolder();
    OpenOnData();
    SearchAndWait();

    EXPECT_EQ(ShownNames(), (QStringList{"alpha.lzh", "beta.zip", "gamma.cab"}));
    const std::pair<const char*, QColor> kinds[] = {
        {"LHA", QColor(0, 0, 255)}, {"ZIP", QColor(0, 0x66, 0)}, {"CAB", QColor(0xFF, 0, 0x99)}};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Shown(row, ResultModel::kKindColumn).data().toString(), kinds[row].first);
        EXPECT_EQ(Shown(row, 0).data(Qt::ForegroundRole).value<QColor>(), kinds[row].second);
    }
    EXPECT_EQ(Shown(2, ResultModel::kFolderColumn).data().toString(),
              QString::fromStdString(mData.File("sub")));

    EXPECT_EQ(Panel("Panel1"), QStringLiteral("ファイルをダブルクリックしたら Quorvix で開きます"));
    EXPECT_EQ(Panel("Panel2"), QStringLiteral("3"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+ sec$")).match(Panel("Panel3")).hasMatch())
        << Panel("Panel3").toStdString();
    ExpectIdle();
    EXPECT_EQ(mWindow->focusWidget(), List()->CurrentView());
    EXPECT_GE(List()->SelectedRow(), 0);
    EXPECT_FALSE(mWindow->Search().Running());

    // The button's state, not its caption, tells a start from an abort; a
    // run that finds nothing leaves an empty list and the focus where it was
    // (on the button, or on an option the run locked).
    std::filesystem::remove_all(mData.File("sub"));
    std::filesystem::remove(mData.File("alpha.lzh"));
    std::filesystem::remove(mData.File("beta.zip"));
    SearchButton()->setText(kAbortCaption);
    for (const char* focused : {"btnSearch", "txtSearchDir"}) {
        Control(focused)->setFocus();
        SearchAndWait();
        EXPECT_EQ(List()->RowCount(), 0);
        EXPECT_EQ(Panel("Panel1"), QString());
        EXPECT_EQ(Panel("Panel2"), QStringLiteral("0"));
        EXPECT_TRUE(Panel("Panel3").endsWith(QStringLiteral(" sec")));
        EXPECT_EQ(mWindow->focusWidget(), Control(focused));
        ExpectIdle();
    }
}

TEST_F(SearchRunTest, WithoutTheCheckAFolderNamedLikeAnArchiveMetFirstKeepsItsIconToItself) {
    mData.Folder("first.zip");
    CopyFixture("zip/plain.zip", mData.File("sub/later.zip"));
    CopyFixture("zip/nodoc.zip", mData.File("sub/other.zip"));
    OpenOnData();
    Control<QCheckBox>("chkNoArcCheck")->setChecked(true);
    SearchAndWait();

    const ResultModel& model = *List()->Model();
    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.Hit(0).fileName, "first.zip");
    EXPECT_NE(model.IconIndex(1), model.IconIndex(0));
    EXPECT_EQ(model.IconIndex(2), model.IconIndex(1));
    EXPECT_EQ(model.Icons().Key(model.IconIndex(1)), "application/zip");
    EXPECT_NE(model.Icons().Large(model.IconIndex(1)).toImage(),
              model.Icons().Large(model.IconIndex(0)).toImage());
}

TEST_F(SearchRunTest, FolderProblemsAreToldAndTheFolderTextIsSelectedAgain) {
    mData.Write("file.txt", "x");
    OpenOnData();
    QSignalSpy finished(mWindow.get(), &frmMERVOK::SearchFinished);
    auto* folder = Control<QLineEdit>("txtSearchDir");
    const struct {
        QString text;
        QString message;
    } cases[] = {
        {QStringLiteral("   "), QStringLiteral("検索フォルダが入力されていません。")},
        {QString::fromStdString(mData.File("file.txt")),
         QStringLiteral("検索フォルダが見つかりません。")},
    };
    for (const auto& problem : cases) {
        SCOPED_TRACE(problem.text.toStdString());
        SetFolder(problem.text);
        Control("btnExit")->setFocus();
        // The real box, closed by a key.
        test::WhenModalShown([](QWidget& box) { QTest::keyClick(&box, Qt::Key_Return); });
        SearchButton()->click();
        const std::vector<ShownMessage> shown = MessageBox::TakeShown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, problem.message);
        EXPECT_EQ(shown[0].style, (MsgStyle{MsgButtons::Ok, MsgIcon::Exclamation}));
        ASSERT_TRUE(QTest::qWaitForWindowActive(mWindow.get()));
        EXPECT_EQ(QApplication::focusWidget(), folder);
        EXPECT_EQ(folder->selectedText(), problem.text) << "ready to be typed over";
        EXPECT_EQ(SearchButton()->text(), kSearchCaption);
        EXPECT_FALSE(mWindow->Search().Running());
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(finished.isEmpty());
}

TEST_F(SearchRunTest, WhileRunningTheOptionsAreLockedAndAbortInTheWalkShowsNothing) {
    MakeMixedFolder();
    OpenOnData();
    Control<QCheckBox>("chkNoFileName")->setChecked(true);
    test::Gate gate;
    QSignalSpy finished(mWindow.get(), &frmMERVOK::SearchFinished);
    StartHeldAt(SearchStep::kCandidate, gate);

    EXPECT_EQ(SearchButton()->text(), kAbortCaption);
    EXPECT_TRUE(SearchButton()->isEnabled());
    for (const char* name :
         {"txtSearchDir", "chkSubDir", "chkLHA", "chkZIP", "chkCAB", "chkEXE", "chkNoFileName",
          "chkNoArcCheck", "chkClick", "chkAutoColumn", "chkSFXIcon", "chkListColor", "cmbView",
          "btnBrowse", "btnOption", "btnAbout", "btnExit"}) {
        EXPECT_FALSE(Control(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(Control("btnHelp")->isEnabled());
    EXPECT_EQ(Panel("Panel1"), QStringLiteral("ファイル情報取得中..."));
    EXPECT_EQ(Panel("Panel2"), QStringLiteral("0"));
    EXPECT_EQ(Panel("Panel3"), QString());
    EXPECT_EQ(mWindow->cursor().shape(), Qt::WaitCursor);

    // The abort shows at once, while the search is still held.
    SearchButton()->click();
    EXPECT_TRUE(mWindow->Search().Running());
    EXPECT_EQ(Panel("Panel1"), QString());
    EXPECT_EQ(Panel("Panel2"), QString());
    EXPECT_EQ(Panel("Panel3"), QString());
    ExpectIdle();

    gate.Open();
    ASSERT_TRUE(test::AwaitSignal(finished));
    EXPECT_EQ(List()->RowCount(), 0);
    EXPECT_EQ(Panel("Panel2"), QString());
    ExpectIdle();

    // The next run starts afresh.
    SearchAndWait();
    EXPECT_EQ(List()->RowCount(), 3);
    EXPECT_EQ(Panel("Panel2"), QStringLiteral("3"));

    // A run aborted while held, as by storage that stopped answering, does
    // not hold up the next one; it is let go, and waited for at the close.
    test::Gate stuck;
    StartHeldAt(SearchStep::kCandidate, stuck);
    SearchButton()->click();
    mWindow->Search().SetProbeForTesting({});
    SearchAndWait();
    EXPECT_EQ(List()->RowCount(), 3);
    stuck.Open();
    bool ended = false;
    mWindow->Search().SetProcessEndForTesting([&ended] { ended = true; });
    mWindow->Search().SetCloseWaitForTesting(std::chrono::minutes(1));
    mWindow->close();
    EXPECT_FALSE(ended) << "the run let go was not waited for";
}

TEST_F(SearchRunTest, AbortInTheCheckListsTheHitsFoundSoFarAndClosingStopsARunSilently) {
    CopyFixture("lha/lh5.lzh", mData.File("alpha.lzh"));
    for (const char* later : {"b1.zip", "b2.zip", "b3.zip", "b4.zip"}) {
        CopyFixture("zip/plain.zip", mData.File(std::string("sub/") + later));
    }
    OpenOnData();
    Control<QCheckBox>("chkClick")->setChecked(true);
    test::Gate firstHit;
    QSignalSpy finished(mWindow.get(), &frmMERVOK::SearchFinished);
    StartHeldAt(SearchStep::kHit, firstHit);
    SearchButton()->click();
    ExpectIdle();
    EXPECT_EQ(Panel("Panel2"), QString());
    firstHit.Open();
    ASSERT_TRUE(test::AwaitSignal(finished));

    const QStringList names = ShownNames();
    ASSERT_FALSE(names.isEmpty());
    EXPECT_EQ(names.front(), QStringLiteral("alpha.lzh"));
    EXPECT_EQ(Panel("Panel1"), QStringLiteral("ファイルをクリックしたら Quorvix で開きます"));
    EXPECT_EQ(Panel("Panel2"), QString::number(names.size()));
    EXPECT_TRUE(Panel("Panel3").endsWith(QStringLiteral(" sec")));
    ExpectIdle();

    // Closed while a hit is held: the run stops, nothing is told, the
    // settings are saved. A run that does not stop in time (storage that
    // stopped answering) is not waited for: the process ends once the
    // settings are saved.
    for (const bool answers : {true, false}) {
        if (!answers) {
            OpenOnData();
        }
        bool ended = false;
        mWindow->Search().SetProcessEndForTesting([&ended] { ended = true; });
        // A run that answers is waited for however slow the machine; one
        // that does not is given up after the limit.
        mWindow->Search().SetCloseWaitForTesting(
            answers ? std::chrono::milliseconds(std::chrono::minutes(1))
                    : std::chrono::milliseconds(200));
        Control<QCheckBox>("chkListColor")->setChecked(!answers);
        QSignalSpy closedRun(mWindow.get(), &frmMERVOK::SearchFinished);
        test::Gate held;
        StartHeldAt(SearchStep::kHit, held);
        // The held thread is let go once the close has asked for the stop.
        const std::optional<CancelToken> run = mWindow->Search().Token();
        ASSERT_TRUE(run);
        std::thread releaser([&] {
            while (!run->Cancelled()) {
                std::this_thread::yield();
            }
            if (answers) {
                held.Open();
            }
        });
        mWindow->close();
        releaser.join();
        EXPECT_EQ(ended, !answers);
        EXPECT_FALSE(mWindow->isVisible());
        EXPECT_EQ(mWindow->Search().Running(), !answers);
        QCoreApplication::processEvents();
        EXPECT_TRUE(closedRun.isEmpty());
        EXPECT_TRUE(MessageBox::TakeShown().empty());
        const std::string saved = testing::ReadBytes(IniPath());
        EXPECT_NE(saved.find(answers ? "ListColor=0" : "ListColor=1"), std::string::npos) << saved;
        EXPECT_NE(saved.find("SearchDir=" + mData.Path()), std::string::npos) << saved;
        // The gate outlives the run that waits at it.
        held.Open();
        mWindow.reset();
    }
}

}  // namespace
}  // namespace mervok
