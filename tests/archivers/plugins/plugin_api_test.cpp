// The calls of the archiver API as other callers use them: exports, versions,
// the entry record, FindFirst / FindNext, wildcard rules, odd arguments and
// handles used from two threads, and the file a yes from CheckArchive keeps
// open for the OpenArchive after it.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>

#include "plugin_library.h"

namespace mervok::test {
namespace {

using Kind = PluginLibrary::Kind;

// CRC-16 (LHA) and CRC-32 (ZIP) of ReadmeText().
constexpr std::uint16_t kReadmeCrc16 = 0xFAFE;
constexpr std::uint32_t kReadmeCrc32 = 0xFF6117EB;

class PluginApiTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // The fixtures were made in UTC; level-2 LHA headers hold Unix time.
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    PluginLibrary mLha{Kind::Lha};
    PluginLibrary mZip{Kind::Zip};
    PluginLibrary mCab{Kind::Cab};
};

TEST_F(PluginApiTest, EachLibraryExportsOnlyItsOwnNineCalls) {
    const char* calls[] = {"GetVersion",    "GetRunning",   "GetCursorMode",
                           "SetCursorMode", "CheckArchive", "OpenArchive",
                           "FindFirst",     "FindNext",     "CloseArchive"};
    for (PluginLibrary* library : {&mLha, &mZip, &mCab}) {
        SCOPED_TRACE(library->Prefix());
        ASSERT_TRUE(library->Loaded());
        for (const char* call : calls) {
            EXPECT_NE(library->Symbol(call), nullptr) << call;
        }
        EXPECT_GE(library->GetVersion(), 90);
        EXPECT_EQ(library->GetVersion(), mLha.GetVersion());
        EXPECT_EQ(library->GetRunning(), 0);
        EXPECT_EQ(library->GetCursorMode(), 0);
        library->SetCursorMode(0);
        EXPECT_EQ(library->GetCursorMode(), 0);
    }
    // The other prefixes and the implementation's own symbols stay inside.
    EXPECT_EQ(mLha.Symbol("../UnZipOpenArchive"), nullptr);
    void* lha = dlopen((std::string(MERVOK_DIST_DIR) + "/libunlha32.so").c_str(), RTLD_NOW);
    ASSERT_NE(lha, nullptr);
    EXPECT_EQ(dlsym(lha, "UnZipOpenArchive"), nullptr);
    EXPECT_EQ(dlsym(lha, "CabFindFirst"), nullptr);
    EXPECT_EQ(dlsym(lha, "_ZN6mervok6plugin10FileReader4OpenEPKc"), nullptr);
    dlclose(lha);
}

TEST_F(PluginApiTest, EntryRecordDescribesTheMatchInEachFormat) {
    const std::string readme = ReadmeText();
    const std::uint16_t date = (21 << 9) | (2 << 5) | 3;  // 2001-02-03
    const std::uint16_t time = (4 << 11) | (5 << 5) | 3;  // 04:05:06
    struct Case {
        PluginLibrary* library;
        std::string file;
        std::string mode;
        std::uint32_t crc;
    } cases[] = {
        {&mLha, "lha/lh5.lzh", "-lh5-", kReadmeCrc16},
        {&mLha, "lha/lh0.lzh", "-lh0-", kReadmeCrc16},
        {&mZip, "zip/plain.zip", "deflate", kReadmeCrc32},
        {&mZip, "zip/zip64_extra.zip", "deflate", kReadmeCrc32},  // sizes in the extra field
        {&mCab, "cab/stored.cab", "None", 0},
    };
    // The first "*.txt" entry's record, over bytes that are no valid record.
    const auto first = [](PluginLibrary& library, const std::string& file) {
        INDIVIDUALINFO info;
        std::memset(&info, 0x5A, sizeof info);
        HARC archive = library.OpenArchive(
            nullptr, testing::Fixture("archives/" + std::string(file)).c_str(), 0x800000);
        EXPECT_EQ(library.FindFirst(archive, "*.txt", &info), 0) << file;
        library.CloseArchive(archive);
        return info;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const INDIVIDUALINFO info = first(*c.library, c.file);
        EXPECT_STREQ(info.szFileName, "README.TXT");
        EXPECT_EQ(info.dwOriginalSize, readme.size());
        EXPECT_EQ(info.dwCRC, c.crc);
        EXPECT_STREQ(info.szMode, c.mode.c_str());
        EXPECT_EQ(info.wDate, date);
        EXPECT_EQ(info.wTime, time);
        EXPECT_EQ(std::strlen(info.szAttribute), 5u);
        if (c.mode == "-lh0-" || c.mode == "None") {
            EXPECT_EQ(info.dwCompressedSize, readme.size());
            EXPECT_EQ(info.wRatio, 1000);
        } else {
            EXPECT_GT(info.dwCompressedSize, 0u);
            EXPECT_LT(info.dwCompressedSize, readme.size());
            EXPECT_EQ(info.wRatio, info.dwCompressedSize * 1000 / readme.size());
        }
    }
    // Inside a compressed cabinet folder only the method is known.
    const INDIVIDUALINFO mszip = first(mCab, "cab/mszip.cab");
    EXPECT_STREQ(mszip.szMode, "MSZIP");
    EXPECT_EQ(mszip.dwOriginalSize, readme.size());
    // Sizes beyond 32 bits (6 GiB packed into 5 GiB) are capped; the ratio is the real one.
    const INDIVIDUALINFO huge = first(mZip, "zip/zip64_huge.zip");
    EXPECT_EQ(huge.dwOriginalSize, 0xFFFFFFFFu);
    EXPECT_EQ(huge.dwCompressedSize, 0xFFFFFFFFu);
    EXPECT_EQ(huge.wRatio, 833);
}

TEST_F(PluginApiTest, ListingSkipsFoldersKeepsStoredOrderAndStoredBytes) {
    using Names = std::vector<std::string>;
    const std::string sjis = "\x90\xe0\x96\xbe\x8f\x91.TXT";
    const std::string utf8 = "\xe8\xaa\xac\xe6\x98\x8e\xe6\x9b\xb8.TXT";
    const Names nested = {"PROG.EXE", "doc/guide.txt"};
    const struct {
        PluginLibrary* library;
        const char* file;
        Names names;
    } cases[] = {
        {&mLha, "lha/level2.lzh", nested},
        {&mLha, "lha/level0.lzh", {"PROG.EXE", "doc\\guide.txt"}},
        {&mZip, "zip/nested.zip", nested},  // zip -r stores the folder "doc/" as an entry
        {&mZip, "zip/folder_named_txt.zip", {"notes.txt/SETUP.EXE"}},
        {&mLha, "lha/folder_named_txt.lzh", {"notes.txt/SETUP.EXE"}},
        {&mCab, "cab/mszip.cab", nested},
        {&mLha, "lha/sjis_level0.lzh", {"PROG.EXE", sjis}},
        {&mLha, "lha/sjis_level1.lzh", {"PROG.EXE", sjis}},
        {&mLha, "lha/sjis_level2.lzh", {"PROG.EXE", sjis}},
        {&mZip, "zip/sjis.zip", {"PROG.EXE", sjis}},
        {&mZip, "zip/cp437.zip", {"PROG.EXE", "\x8erger.TXT"}},
        {&mZip, "zip/utf8_flag.zip", {"PROG.EXE", utf8}},
        // libarchive cannot turn this UTF-8 name into the C locale of this test;
        // the stored name is used instead of losing the entry.
        {&mCab, "cab/utf8_name.cab", {"PROG.EXE", utf8}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ListNames(*c.library, testing::Fixture("archives/" + std::string(c.file))),
                  c.names)
            << c.file;
    }
}

TEST_F(PluginApiTest, WildcardsFollowTheNameRules) {
    const std::vector<const char*> found = {
        "*.TXT", "*.txt", "guide.*",   "GUIDE.T?T",      "G*E.TXT",     "*",
        "*.*",   "",      "doc/*.txt", "DOC\\GUIDE.TXT", "*/guide.txt", "*.DOC  *.TXT"};
    const std::vector<const char*> notFound = {"guide.tx", "uide.txt", "doc",    "doc/",
                                               "x/*.txt",  "  *.HLP ", "*.TXT?", "?GUIDE.TXT"};
    for (PluginLibrary* library : {&mLha, &mZip}) {
        const std::string file = library == &mLha ? "lha/level2.lzh" : "zip/nested.zip";
        HARC archive = library->OpenArchive(
            nullptr, testing::Fixture("archives/" + std::string(file)).c_str(), 0x800000);
        ASSERT_NE(archive, nullptr);
        for (const auto* list : {&found, &notFound}) {
            for (const std::string wildcards : *list) {
                INDIVIDUALINFO info{};
                const int r = library->FindFirst(archive, wildcards.c_str(), &info);
                EXPECT_EQ(r == 0, list == &found) << file << " with \"" << wildcards << "\"";
                if (r == 0 && !wildcards.empty() && wildcards.find('*') == std::string::npos) {
                    EXPECT_STREQ(info.szFileName, "doc/guide.txt");
                }
            }
        }
        EXPECT_EQ(library->FindFirst(archive, nullptr, nullptr), 0);
        library->CloseArchive(archive);
    }
}

TEST_F(PluginApiTest, FindNextContinuesAfterTheLastMatch) {
    for (const auto& [library, file] :
         {std::pair{&mLha, "lha/manual_doc.lzh"}, std::pair{&mZip, "zip/manual_doc.zip"},
          std::pair{&mCab, "cab/manual_doc.cab"}}) {
        SCOPED_TRACE(file);
        HARC archive = library->OpenArchive(
            nullptr, testing::Fixture("archives/" + std::string(file)).c_str(), 0x800000);
        ASSERT_NE(archive, nullptr);
        INDIVIDUALINFO info{};
        EXPECT_NE(library->FindNext(archive, &info), 0) << "no FindFirst yet";
        ASSERT_EQ(library->FindFirst(archive, "*.DOC *.EXE", &info), 0);
        EXPECT_STREQ(info.szFileName, "PROG.EXE");
        ASSERT_EQ(library->FindNext(archive, &info), 0);
        EXPECT_STREQ(info.szFileName, "MANUAL.DOC");
        EXPECT_NE(library->FindNext(archive, &info), 0);
        EXPECT_NE(library->FindNext(archive, &info), 0);
        // A new FindFirst starts from the first entry again, as CAB look-ups
        // with one wildcard per call on one handle need.
        EXPECT_NE(library->FindFirst(archive, "*.TXT", &info), 0);
        ASSERT_EQ(library->FindFirst(archive, "*.DOC", &info), 0);
        EXPECT_STREQ(info.szFileName, "MANUAL.DOC");
        ASSERT_EQ(library->FindFirst(archive, "*.EXE", &info), 0);
        EXPECT_STREQ(info.szFileName, "PROG.EXE");
        library->CloseArchive(archive);
    }
}

TEST_F(PluginApiTest, OddArgumentsAreRefusedQuietly) {
    TempFolder temp;
    const std::string fifo = temp.File("pipe.lzh");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string device = temp.File("zero.zip");
    ASSERT_EQ(symlink("/dev/zero", device.c_str()), 0);
    // Opening the FIFO would release a writer waiting on it: it must not
    // even be opened.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
    for (PluginLibrary* library : {&mLha, &mZip, &mCab}) {
        SCOPED_TRACE(library->Prefix());
        for (const std::string& path :
             {fifo, device, temp.Path(), temp.File("missing.zip"), std::string()}) {
            EXPECT_EQ(library->CheckArchive(path.c_str(), 0), 0) << path;
            EXPECT_EQ(library->OpenArchive(nullptr, path.c_str(), 0x800000), nullptr) << path;
        }
        EXPECT_EQ(library->CheckArchive(nullptr, 0), 0);
        EXPECT_EQ(library->OpenArchive(nullptr, nullptr, 0x800000), nullptr);
        INDIVIDUALINFO info{};
        EXPECT_NE(library->FindFirst(nullptr, "*.TXT", &info), 0);
        EXPECT_NE(library->FindNext(nullptr, &info), 0);
        EXPECT_EQ(library->CloseArchive(nullptr), 0);
    }
    char event[sizeof(inotify_event) + 256];
    EXPECT_LT(read(watch, event, sizeof event), 0) << "the FIFO was opened";
    close(watch);
}

TEST_F(PluginApiTest, HandlesOnTwoThreadsAnswerIndependently) {
    // Two threads, each with its own handles, look up different archives of
    // the same and of other formats at the same time.
    using Job = std::tuple<PluginLibrary*, std::string, const char*, int>;
    const std::vector<Job> jobs[2] = {
        {{&mLha, testing::Fixture("archives/lha/sjis_level1.lzh"), "*.TXT", 0},
         {&mZip, testing::Fixture("archives/zip/nodoc.zip"), "*.TXT", -1},
         {&mCab, testing::Fixture("archives/cab/manual_doc.cab"), "*.DOC", 0}},
        {{&mLha, testing::Fixture("archives/lha/nodoc.lzh"), "*.TXT", -1},
         {&mZip, testing::Fixture("archives/sfx/zip_8k.exe"), "*.TXT", 0},
         {&mCab, testing::Fixture("archives/cab/nodoc.cab"), "*.TXT", -1}},
    };
    std::atomic<int> wrong{0};
    auto run = [&](const std::vector<Job>& list) {
        for (int round = 0; round < 150; ++round) {
            for (const auto& [library, file, wildcards, expected] : list) {
                HARC archive = library->OpenArchive(nullptr, file.c_str(), 0x800000);
                INDIVIDUALINFO info{};
                wrong +=
                    archive == nullptr || library->FindFirst(archive, wildcards, &info) != expected;
                library->CloseArchive(archive);
            }
        }
    };
    std::thread first(run, std::cref(jobs[0]));
    std::thread second(run, std::cref(jobs[1]));
    first.join();
    second.join();
    EXPECT_EQ(wrong.load(), 0);

    // Two handles on one archive, interleaved, keep their own positions.
    HARC a = mLha.OpenArchive(nullptr, testing::Fixture("archives/lha/manual_doc.lzh").c_str(),
                              0x800000);
    HARC b = mLha.OpenArchive(nullptr, testing::Fixture("archives/lha/manual_doc.lzh").c_str(),
                              0x800000);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    INDIVIDUALINFO info{};
    ASSERT_EQ(mLha.FindFirst(a, "*", &info), 0);
    ASSERT_EQ(mLha.FindFirst(b, "*.DOC", &info), 0);
    ASSERT_EQ(mLha.FindNext(a, &info), 0);
    EXPECT_STREQ(info.szFileName, "MANUAL.DOC");
    EXPECT_NE(mLha.FindNext(b, &info), 0);
    mLha.CloseArchive(a);
    mLha.CloseArchive(b);
}

int OpenFiles() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
}

TEST_F(PluginApiTest, CheckThenOpenOpensTheFileOnceAndNeverAStaleOne) {
    TempFolder temp;
    for (const auto& [library, name] :
         {std::pair{&mLha, "lha/manual_doc.lzh"}, std::pair{&mZip, "sfx/zip_8k.exe"},
          std::pair{&mCab, "cab/manual_doc.cab"}}) {
        SCOPED_TRACE(name);
        const std::string ext = std::filesystem::path(name).extension().string();
        const std::string path = temp.File("a" + ext);
        testing::WriteBytes(path,
                            testing::ReadBytes(testing::Fixture("archives/" + std::string(name))));
        const int before = OpenFiles();
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, path.c_str(), IN_OPEN), 0);

        // The pair opens the file once; the handle then holds it alone.
        // (Identical events waiting unread are merged: read each time.)
        const auto opens = [watch] {
            char events[4 * sizeof(inotify_event)];
            const ssize_t got = read(watch, events, sizeof events);
            return got < 0 ? 0 : static_cast<int>(got / sizeof(inotify_event));
        };
        ASSERT_NE(library->CheckArchive(path.c_str(), 0), 0);
        EXPECT_EQ(opens(), 1);
        HARC archive = library->OpenArchive(nullptr, path.c_str(), 0x800000);
        ASSERT_NE(archive, nullptr);
        INDIVIDUALINFO info{};
        EXPECT_EQ(library->FindFirst(archive, "*.TXT *.DOC", &info), 0);
        EXPECT_EQ(opens(), 0) << "opened again";
        library->CloseArchive(archive);
        close(watch);
        EXPECT_EQ(OpenFiles(), before);

        // A file put in its place after the check is read afresh.
        ASSERT_NE(library->CheckArchive(path.c_str(), 0), 0);
        const std::string other = temp.File("b" + ext);
        testing::WriteBytes(other, "not an archive at all");
        ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
        EXPECT_EQ(library->OpenArchive(nullptr, path.c_str(), 0x800000), nullptr);

        // A yes that no open follows lets the file go with the next call on
        // the thread, or with the thread.
        testing::WriteBytes(path,
                            testing::ReadBytes(testing::Fixture("archives/" + std::string(name))));
        ASSERT_NE(library->CheckArchive(path.c_str(), 0), 0);
        EXPECT_EQ(library->CheckArchive(temp.File("missing").c_str(), 0), 0);
        EXPECT_EQ(OpenFiles(), before);
        std::thread([&] { EXPECT_NE(library->CheckArchive(path.c_str(), 0), 0); }).join();
        EXPECT_EQ(OpenFiles(), before);
    }
}

}  // namespace
}  // namespace mervok::test
