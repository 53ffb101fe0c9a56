// Files and names that someone may have crafted: FIFOs and devices named like
// archives, names that would drive a terminal.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "cli/cli_output.h"
#include "support/fakes.h"
#include "support/files.h"

namespace mervok {
namespace {

using namespace mervok::testing;

// True once pid sits in the open() of a FIFO waiting for a reader.
bool WaitingInOpen(pid_t pid) {
    for (int polls = 0; polls < 100000; ++polls) {
        std::ifstream syscall("/proc/" + std::to_string(pid) + "/syscall");
        long number = -1;
        if (syscall >> number && (number == SYS_openat || number == SYS_open)) {
            return true;
        }
        usleep(100);
    }
    return false;
}

TEST(HostileInputTest, FifosDevicesAndFoldersNamedLikeArchivesNeverReachALibrary) {
    TempFolder top;
    top.Write("real.lzh");
    top.Folder("folder.cab");
    ASSERT_EQ(mkfifo((top.Folder() + "f.lzh").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (top.Folder() + "z.zip").c_str()), 0);
    // A writer that waits in open() until someone opens the FIFO to read.
    const std::string fifo = top.Folder() + "f.lzh";
    const pid_t writer = fork();
    if (writer == 0) {
        _exit(open(fifo.c_str(), O_WRONLY) >= 0 ? 0 : 1);
    }
    ASSERT_GT(writer, 0);
    ASSERT_TRUE(WaitingInOpen(writer));

    CallLog log;
    FakeArchiver lha("LHA", log), zip("ZIP", log), cab("CAB", log);
    // Each would be found, were it asked about.
    lha.archives[top.Folder() + "real.lzh"] = {true, true, {"a.txt"}};
    lha.archives[top.Folder() + "f.lzh"] = {true, true, {"a.txt"}};
    zip.archives[top.Folder() + "z.zip"] = {true, true, {"a.txt"}};
    cab.archives[top.Folder() + "folder.cab"] = {true, true, {"a.txt"}};
    SearchOptions options;
    options.searchFolder = top.Folder();
    options.includeSubfolders = true;
    options.searchLha = options.searchZip = options.searchCab = options.searchExe = true;
    StartupValues startup;
    startup.libraries = {100, 100, 100};
    std::atomic<bool> abort{false};
    RecordingObserver observer;
    const auto result =
        SearchEngine(options, startup, {&lha, &zip, &cab}, {}, abort, observer).Run();

    int status = 0;
    EXPECT_EQ(waitpid(writer, &status, WNOHANG), 0) << "the FIFO was opened";
    kill(writer, SIGKILL);
    waitpid(writer, &status, 0);
    EXPECT_THAT(RelativePaths(result.archives, top.Folder()), ::testing::ElementsAre("real.lzh"));
    EXPECT_THAT(log.calls, ::testing::Contains("LHA.OpenArchive real.lzh 8388608"));
    for (const auto& call : log.calls) {
        EXPECT_THAT(call, ::testing::Not(::testing::AnyOf(::testing::HasSubstr("f.lzh"),
                                                          ::testing::HasSubstr("z.zip"),
                                                          ::testing::HasSubstr("folder.cab"))));
    }
}

TEST(HostileInputTest, NamesCannotDriveTheTerminalInTheTableAndStayExactInJson) {
    const struct {
        std::string name, table, json;
    } cases[] = {
        {"\x1b]0;owned\a\x1b[2J.zip", R"(\x1b]0;owned\x07\x1b[2J.zip)",
         R"("\u001b]0;owned\u0007\u001b[2J.zip")"},
        {"two\nrows.zip", R"(two\nrows.zip)", R"("two\nrows.zip")"},
        {"cr\r\ttab.zip", R"(cr\r\ttab.zip)", R"("cr\u000d\ttab.zip")"},
        {"fake\\x1b.zip", R"(fake\\x1b.zip)", R"("fake\\x1b.zip")"},
        {"c1\xc2\2332J.zip", R"(c1\xc2\x9b2J.zip)", "\"c1\xc2\2332J.zip\""},  // \233: C1 CSI
        {"rtl\xe2\x80\xaeqiz.exe", R"(rtl\xe2\x80\xaeqiz.exe)", "\"rtl\xe2\x80\xaeqiz.exe\""},
        {"sjis\x83\x65.lzh", R"(sjis\x83e.lzh)", R"("sjis\udc83e.lzh")"},
        {"日本語.zip", "日本語.zip", "\"日本語.zip\""},
    };
    std::vector<FoundArchive> hits;
    for (const auto& c : cases) {
        EXPECT_EQ(TableText(c.name), c.table);
        EXPECT_EQ(JsonString(c.name), c.json);
        hits.push_back({"/data/\x1b[31m/", c.name, 1, ArchiveKind::Zip, "2000/01/01 00:00:00"});
    }
    // One line per hit, and no byte but its line break that a terminal acts on.
    const std::string table = FormatTable(hits);
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), static_cast<long>(hits.size()));
    EXPECT_EQ(
        std::count_if(table.begin(), table.end(),
                      [](char c) { return c != '\n' && static_cast<unsigned char>(c) < 0x20; }),
        0);
    EXPECT_NE(table.find("/data/\\x1b[31m "), std::string::npos);
}

}  // namespace
}  // namespace mervok
