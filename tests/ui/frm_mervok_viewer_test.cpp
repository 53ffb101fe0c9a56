// The window's hand-off of hits to the viewer. The stand-in viewer waits
// until ended, so every start shows among this program's child processes.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <chrono>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "ui/about_dialog.h"
#include "ui/centered_msg_box.h"
#include "ui/folder_browser.h"
#include "ui/frm_mervok.h"
#include "ui/message_box.h"
#include "ui/result_list.h"
#include "ui/viewer_hand_off.h"

namespace mervok {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Find;
using testing::ReadBytes;

// Processes started by this test program and still there.
std::set<pid_t> Children() {
    std::set<pid_t> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::string stat = ReadBytes(entry.path() / "stat");
        auto close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream rest(stat.substr(close + 1));
        char state = 0;
        long parent = 0;
        rest >> state >> parent;
        if (parent == getpid()) {
            children.insert(static_cast<pid_t>(std::stol(name)));
        }
    }
    return children;
}

// The command line a started viewer runs: the shell, the viewer script and
// its arguments. The spawn returns once the exec has begun; the kernel may
// still be laying out the new arguments for a moment, which is waited out.
std::vector<std::string> CommandLine(pid_t pid) {
    const fs::path file = fs::path("/proc") / std::to_string(pid) / "cmdline";
    std::string text = ReadBytes(file);
    for (auto limit = std::chrono::steady_clock::now() + 30s;
         text.empty() && std::chrono::steady_clock::now() < limit; text = ReadBytes(file)) {
        std::this_thread::yield();
    }
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (auto end = text.find('\0'); end != std::string::npos; end = text.find('\0', start)) {
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

const std::string kShiftJisName = "\x83\x65\x83\x58\x83\x67 $(x).lzh";  // "テスト $(x).lzh"

class WindowHandOffTest : public test::WindowTest {
  protected:
    void SetUp() override {
        test::WindowTest::SetUp();
        ASSERT_EQ(mkfifo(mProgram.File("hold").c_str(), 0600), 0);
        mProgram.Write("Quorvix.exe",
                       "#!/bin/sh\nexec 3<> '" + mProgram.File("hold") + "'\nread never <&3\n");
        fs::permissions(mProgram.File("Quorvix.exe"), fs::perms::owner_all);
    }

    void TearDown() override {
        for (pid_t pid : Children()) {
            kill(pid, SIGTERM);
            if (mWindow && mWindow->HandOff()) {
                mWindow->HandOff()->Launcher().WaitForEnd(pid, 30s);
            }
        }
        test::WindowTest::TearDown();
    }

    // The window over the program folder, its list holding three hits.
    void OpenWithHits(int prevInstance = 1) {
        mProgram.Write("Quorvix.ini",
                       "[Option]\r\nPrevInstance=" + std::to_string(prevInstance) + "\r\n");
        Open();
        std::vector<FoundArchive> hits;
        for (const std::string& name :
             {std::string("a b.zip"), kShiftJisName, std::string("c.cab")}) {
            mData.Write(name, "x");
            FoundArchive hit;
            hit.folder = mData.Folder();
            hit.fileName = name;
            hits.push_back(hit);
        }
        mList = Control<ResultList>("lsvArchive");
        mList->Fill(std::move(hits), RowStyle{});
        Control<QComboBox>("cmbView")->setCurrentIndex(ResultList::kDetails);
        mView = mList->DetailsView();
        QCoreApplication::processEvents();
    }

    QPoint RowCentre(int row) const {
        return mView->visualRect(mView->model()->index(row, 0)).center();
    }
    QPoint Empty() const { return QPoint(10, mView->viewport()->height() - 5); }
    void Click(QPoint point, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(mView->viewport(), button, {}, point);
    }
    // A double click as the window system reports it: a click, then the
    // second press as a double click.
    void DoubleClick(QPoint point) {
        QTest::mouseClick(mView->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(mView->viewport(), Qt::LeftButton, {}, point);
    }

    // The archive each viewer started since `before` was given, in no order.
    std::multiset<std::string> OpenedSince(const std::set<pid_t>& before) {
        std::multiset<std::string> opened;
        for (pid_t pid : Children()) {
            if (before.count(pid) == 0) {
                std::vector<std::string> command = CommandLine(pid);
                EXPECT_EQ(command.size() >= 2 ? command[1] : "", mProgram.File("Quorvix.exe"));
                opened.insert(command.size() == 3 ? command[2] : "<no archive>");
            }
        }
        return opened;
    }
    std::multiset<std::string> Selected() const {
        return {mList->SelectedPath().value_or("<none>")};
    }
    QCheckBox* ClickMode() { return Control<QCheckBox>("chkClick"); }

    ResultList* mList = nullptr;
    QTreeView* mView = nullptr;
};

TEST_F(WindowHandOffTest, ClickModesAndEnterOpenTheRowsRealFile) {
    OpenWithHits();
    ClickMode()->setChecked(true);
    EXPECT_TRUE(mList->HoverSelection());
    auto before = Children();
    Click(RowCentre(1));
    EXPECT_EQ(OpenedSince(before), Selected());
    pid_t last = mWindow->HandOff()->Launcher().LastViewerTaskId();
    EXPECT_EQ(before.count(last), 0u);
    EXPECT_EQ(Children().count(last), 1u) << "the new viewer is the one recorded";

    before = Children();
    Click(Empty());
    Click(RowCentre(2), Qt::RightButton);
    Click(RowCentre(2), Qt::MiddleButton);
    EXPECT_TRUE(OpenedSince(before).empty());
    DoubleClick(RowCentre(0));  // one click and one double click: opens once
    EXPECT_EQ(OpenedSince(before), Selected());

    ClickMode()->setChecked(false);
    EXPECT_FALSE(mList->HoverSelection());
    before = Children();
    Click(RowCentre(2));
    DoubleClick(Empty());
    EXPECT_TRUE(OpenedSince(before).empty()) << "a single click only selects";
    std::multiset<std::string> opened;
    for (int row = 0; row < 3; ++row) {
        DoubleClick(RowCentre(row));
        opened.insert(mList->SelectedPath().value_or(""));
    }
    EXPECT_EQ(OpenedSince(before), opened);
    EXPECT_EQ(opened.count(mData.File(kShiftJisName)), 1u) << ::testing::PrintToString(opened);

    for (bool singleClick : {true, false}) {
        ClickMode()->setChecked(singleClick);
        mView->setFocus();
        mView->setCurrentIndex(mView->model()->index(2, 0));
        before = Children();
        QTest::keyClick(mView, Qt::Key_Return);
        EXPECT_EQ(OpenedSince(before), Selected()) << singleClick;
    }
    mList->SelectionModel()->clear();
    before = Children();
    QTest::keyClick(mView, Qt::Key_Return);
    EXPECT_TRUE(OpenedSince(before).empty()) << "no selected row, nothing opens";

    // The options button starts the viewer alone, and the next open still
    // closes the viewer of the last archive.
    last = mWindow->HandOff()->Launcher().LastViewerTaskId();
    before = Children();
    Control<QPushButton>("btnOption")->click();
    EXPECT_EQ(OpenedSince(before), std::multiset<std::string>{"<no archive>"});
    EXPECT_EQ(mWindow->HandOff()->Launcher().LastViewerTaskId(), last);
    EXPECT_TRUE(MessageBox::TakeShown().empty());
}

TEST_F(WindowHandOffTest, MissingViewerIsToldInACentredStopBoxEveryTime) {
    OpenWithHits();
    fs::remove(mProgram.File("Quorvix.exe"));
    MessageBox::QueueAnswer(kIdOk);
    MessageBox::QueueAnswer(kIdOk);
    DoubleClick(RowCentre(0));
    Control<QPushButton>("btnOption")->click();
    const std::vector<ShownMessage> shown = MessageBox::TakeShown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[1].text.startsWith(QStringLiteral("Quorvix 起動エラー !!")));
    EXPECT_EQ(shown[1].style, kMbOk | kMbIconStop);
    EXPECT_EQ(shown[1].title, QStringLiteral("Archive Search for Quorvix"));
    EXPECT_EQ(mWindow->HandOff()->Launcher().LastViewerTaskId(), 0);
}

TEST_F(WindowHandOffTest, BrowseOpensOnTheFolderAndTakesTheChoiceAboutOpensTheDialog) {
    Open();
    Control<QLineEdit>("txtSearchDir")->setText(QString::fromStdString(mData.Path()));
    QString start;
    SetFolderDialogFunction([&](QWidget* owner, const QString&, const QString& folder) {
        EXPECT_EQ(owner, mWindow.get());
        start = folder;
        return QStringLiteral("/");
    });
    Control<QPushButton>("btnBrowse")->click();
    SetFolderDialogFunction({});
    EXPECT_EQ(start, QString::fromStdString(mData.Path()));
    EXPECT_EQ(Control<QLineEdit>("txtSearchDir")->text(), "/");

    Control<QPushButton>("btnAbout")->click();
    auto* dialog = mWindow->findChild<frmAbout*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isModal());
    Find<QPushButton>(*dialog, "Command1")->click();
}

}  // namespace
}  // namespace mervok
