#include "ui/viewer_hand_off.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QItemSelectionModel>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "ui/result_list.h"

namespace mervok {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Processes started by this test program and still there.
std::set<pid_t> Children() {
    std::set<pid_t> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::string stat = ReadFile(entry.path() / "stat");
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
    std::string text = ReadFile(file);
    for (auto limit = std::chrono::steady_clock::now() + 30s;
         text.empty() && std::chrono::steady_clock::now() < limit; text = ReadFile(file)) {
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

FoundArchive Hit(std::string folder, std::string name) {
    return FoundArchive{std::move(folder), std::move(name), 1, "LHA", "2000/01/01 00:00:00"};
}

// The window's list and click-mode box with a stand-in viewer in a temporary
// program folder; the viewer waits until it is ended, so each start can be
// seen among this program's child processes.
class ViewerHandOffTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/mervok-handoff-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        mFolder = pattern;
        ASSERT_EQ(mkfifo((mFolder / "hold").c_str(), 0600), 0);
        WriteViewer();
        std::ofstream(mFolder / "Quorvix.ini") << "[Option]\r\nPrevInstance=1\r\n";

        auto* layout = new QVBoxLayout(&mWindow);
        mList = new ResultList;
        mClick = new QCheckBox("ポイントで選択し、シングルクリックで起動する(&P)");
        layout->addWidget(mList);
        layout->addWidget(mClick);
        mWindow.resize(700, 400);
        mWindow.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&mWindow));
        mList->SetView(ResultList::kDetails);
        mList->Fill({Hit("/arc/with blank/", "a b.lzh"), Hit("/", "root.lzh"),
                     Hit("/arc/", std::string("\x83\x65\x83\x58\x83\x67 $(x).lzh"))},
                    RowStyle{});
        QApplication::processEvents();
        mHandOff = std::make_unique<ViewerHandOff>(
            mList, mClick, mFolder.string(), 1,
            [this](const std::string& text) { mErrors.push_back(text); });
        mView = mList->DetailsView();
    }

    void TearDown() override {
        for (pid_t pid : Children()) {
            kill(pid, SIGTERM);
            mHandOff->Launcher().WaitForEnd(pid, 30s);
        }
        mHandOff.reset();
        fs::remove_all(mFolder);
    }

    void WriteViewer() {
        fs::path viewer = mFolder / "Quorvix.exe";
        std::ofstream(viewer) << "#!/bin/sh\nexec 3<> '" << (mFolder / "hold").string()
                              << "'\nread never <&3\n";
        fs::permissions(viewer, fs::perms::owner_all);
    }

    QPoint RowCentre(int row) const {
        return mView->visualRect(mView->model()->index(row, 0)).center();
    }
    QPoint Empty() const { return QPoint(10, mView->viewport()->height() - 5); }

    void Click(QPoint point, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(mView->viewport(), button, {}, point);
    }
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
                EXPECT_GE(command.size(), 2u);
                EXPECT_EQ(command.size() >= 2 ? command[1] : "",
                          (mFolder / "Quorvix.exe").string());
                opened.insert(command.size() == 3 ? command[2] : "<no archive>");
            }
        }
        return opened;
    }

    std::string SelectedPath() const { return mList->SelectedPath().value_or("<none>"); }

    QWidget mWindow;
    ResultList* mList = nullptr;
    QCheckBox* mClick = nullptr;
    QTreeView* mView = nullptr;
    std::unique_ptr<ViewerHandOff> mHandOff;
    fs::path mFolder;
    std::vector<std::string> mErrors;
};

TEST_F(ViewerHandOffTest, SingleClickModeOpensOnALeftClickOnARow) {
    mClick->setChecked(true);
    EXPECT_TRUE(mList->HoverSelection());

    auto before = Children();
    Click(RowCentre(1));
    std::string chosen = SelectedPath();
    EXPECT_EQ(OpenedSince(before), std::multiset<std::string>{chosen});
    pid_t last = mHandOff->Launcher().LastViewerTaskId();
    EXPECT_EQ(before.count(last), 0u);
    EXPECT_EQ(Children().count(last), 1u) << "the new viewer is the one recorded";

    before = Children();
    Click(Empty());
    Click(RowCentre(2), Qt::RightButton);
    Click(RowCentre(2), Qt::MiddleButton);
    EXPECT_TRUE(OpenedSince(before).empty());

    // A double click is one click and one double click: it opens once.
    DoubleClick(RowCentre(0));
    EXPECT_EQ(OpenedSince(before), std::multiset<std::string>{SelectedPath()});
    EXPECT_TRUE(mErrors.empty());
}

TEST_F(ViewerHandOffTest, DoubleClickModeOpensOnALeftDoubleClickOnARow) {
    mClick->setChecked(false);
    EXPECT_FALSE(mList->HoverSelection());

    auto before = Children();
    Click(RowCentre(2));
    EXPECT_TRUE(OpenedSince(before).empty()) << "a single click only selects";
    DoubleClick(Empty());
    EXPECT_TRUE(OpenedSince(before).empty());

    DoubleClick(RowCentre(2));
    EXPECT_EQ(OpenedSince(before), std::multiset<std::string>{SelectedPath()});
}

TEST_F(ViewerHandOffTest, EnterOpensTheSelectedRowInBothModes) {
    for (bool singleClick : {true, false}) {
        mClick->setChecked(singleClick);
        mView->setFocus();
        mView->setCurrentIndex(mView->model()->index(2, 0));
        auto before = Children();
        QTest::keyClick(mView, Qt::Key_Return);
        EXPECT_EQ(OpenedSince(before), std::multiset<std::string>{SelectedPath()}) << singleClick;
    }
    // Without a selected row Enter opens nothing.
    mList->SelectionModel()->clear();
    auto before = Children();
    QTest::keyClick(mView, Qt::Key_Return);
    EXPECT_TRUE(OpenedSince(before).empty());
}

TEST_F(ViewerHandOffTest, ExactPathsOfTheRowsReachTheViewer) {
    mClick->setChecked(false);
    std::multiset<std::string> expected;
    auto before = Children();
    for (int row = 0; row < 3; ++row) {
        DoubleClick(RowCentre(row));
        expected.insert(SelectedPath());
    }
    EXPECT_EQ(OpenedSince(before), expected);
    EXPECT_EQ(expected.count("/root.lzh"), 1u) << "a root keeps its single separator";
    EXPECT_EQ(expected.count("/arc/\x83\x65\x83\x58\x83\x67 $(x).lzh"), 1u);
}

TEST_F(ViewerHandOffTest, OptionsButtonStartsTheViewerAlone) {
    mClick->setChecked(false);
    DoubleClick(RowCentre(0));
    pid_t archiveViewer = mHandOff->Launcher().LastViewerTaskId();
    ASSERT_NE(archiveViewer, 0);

    auto before = Children();
    mHandOff->btnOption_Click();
    EXPECT_EQ(OpenedSince(before), std::multiset<std::string>{"<no archive>"});
    EXPECT_EQ(mHandOff->Launcher().LastViewerTaskId(), archiveViewer);
}

TEST_F(ViewerHandOffTest, MissingViewerIsReportedOnEveryAttempt) {
    fs::remove(mFolder / "Quorvix.exe");
    mClick->setChecked(false);
    DoubleClick(RowCentre(0));
    mHandOff->btnOption_Click();
    QTest::keyClick(mView, Qt::Key_Return);
    ASSERT_EQ(mErrors.size(), 3u);
    for (const std::string& error : mErrors) {
        EXPECT_EQ(error, ViewerLaunchErrorText());
    }
    EXPECT_EQ(mHandOff->Launcher().LastViewerTaskId(), 0);
}

TEST_F(ViewerHandOffTest, ClickModeBoxDrivesHoverSelection) {
    mClick->setChecked(true);
    EXPECT_TRUE(mList->HoverSelection());
    mClick->setChecked(false);
    EXPECT_FALSE(mList->HoverSelection());
    mClick->click();
    EXPECT_TRUE(mList->HoverSelection());
}

}  // namespace
}  // namespace mervok
