#include "app/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/text_util.h"
#include "support/files.h"

namespace mervok {
namespace {

using namespace std::string_literals;
using testing::ReadBytes;
using testing::RunUnprivileged;
using testing::TempFolder;
using testing::WriteBytes;

// "テスト" in Shift-JIS: the trail byte 0x65 is an 'e' to whatever reads ASCII.
const std::string kShiftJis = "\x83\x65\x83\x58\x83\x67";
// Names that differ only in the case of what would be ASCII letters: "ア" and
// "ヂ", "ソフト" and "ソサエ".
const std::string kKeyA = "\x83\x41", kKeyDi = "\x83\x61";
const std::string kSoft = "\x83\x5c\x83\x74\x83\x67", kSosae = "\x83\x5c\x83\x54\x83\x47";

class SettingsStoreTest : public ::testing::Test {
  protected:
    SettingsStore Ini(std::string_view bytes) {
        WriteBytes(Path(), bytes);
        return SettingsStore(Path());
    }
    std::string Path() const { return mFolder.File("Mervok.ini"); }
    std::string Bytes() const { return ReadBytes(Path()); }
    // Besides the lock file, which stays.
    long FilesInFolder() const {
        const std::filesystem::directory_iterator entries(mFolder.Path());
        return std::count_if(begin(entries), end(entries), [](const auto& entry) {
            return !entry.path().filename().string().ends_with(".lock");
        });
    }

    TempFolder mFolder;
};

TEST_F(SettingsStoreTest, ValuesReadAsTheClassicFunctionsReadThem) {
    const std::string longValue(600, 'x');
    const SettingsStore store =
        Ini("; Left=1 in a comment is no key\n[ mervok ]\nLEFT = -300\nLeft=20\n"
            "  Top  =  +12abc  \nWidth=abc\nHeight=\nView=\"2\"\nBig=4294967297\nHex=0x1F\n"
            "SearchDir =   /data/old files   \nQuoted=\"  spaced  \"\nSingle='a'\nLone=\"\n"
            "Long=" +
            longValue + "\nName=" + kShiftJis + "\nBare\n" + kKeyA + "=5\n[Other]\nZ=3\n[" + kSoft +
            "]\nK=6\n[MERVOK]\nLater=4\n");
    // Big wraps at 32 bits; only the first section of a name counts.
    const std::pair<const char*, int> ints[] = {{" left ", -300}, {"Top", 12}, {"Width", 0},
                                                {"Height", 0},    {"View", 2}, {"Big", 1},
                                                {"Hex", 0},       {"None", 9}, {"Later", 9}};
    for (const auto& [key, value] : ints) {
        EXPECT_EQ(store.GetInt("Mervok", key, 9), value) << key;
    }
    EXPECT_EQ(store.GetInt("other", "z", 9), 3);
    // Double-byte characters are never case-folded.
    EXPECT_EQ(store.GetInt("Mervok", kKeyA, 9), 5);
    EXPECT_EQ(store.GetInt("Mervok", kKeyDi, 9), 9);
    EXPECT_EQ(store.GetInt(kSoft, "k", 9), 6);
    EXPECT_EQ(store.GetInt(kSosae, "K", 9), 9);
    EXPECT_EQ(SettingsStore(mFolder.File("none.ini")).GetInt("Mervok", "Left", -7), -7);
    // A line without '=' names no value; the default loses its trailing blanks.
    const std::pair<const char*, std::string> texts[] = {{"SearchDir", "/data/old files"},
                                                         {"Quoted", "  spaced  "},
                                                         {"Single", "a"},
                                                         {"Lone", "\""},
                                                         {"Long", longValue.substr(0, 511)},
                                                         {"Name", kShiftJis},
                                                         {"Bare", "def"},
                                                         {"None", "def"}};
    for (const auto& [key, value] : texts) {
        EXPECT_EQ(store.GetString("Mervok", key, "def  "), value) << key;
    }
}

TEST_F(SettingsStoreTest, SectionReadFillsTheBufferFrontWithWholeEntriesOnly) {
    const SettingsStore store =
        Ini("[QvCtrler]\r\n; old\r\nSubDir = 1\r\n\r\nView=0\r\n[Mervok]\r\nLeft=1\r\n");
    // One byte short of the whole list: it ends after the last entry that fits.
    const std::tuple<const char*, std::size_t, std::size_t, std::string> reads[] = {
        {"qvctrler", 20, 16, "SubDir=1\0View=0\0\0   "s},
        {"QvCtrler", 17, 16, "SubDir=1\0View=0\0\0"s},
        {"QvCtrler", 16, 9, "SubDir=1\0\0      "s},
        {"Nothing", 4, 0, "\0\0  "s},
        {"QvCtrler", 1, 0, "\0"s},
        {"QvCtrler", 0, 0, ""s}};
    for (const auto& [section, size, used, after] : reads) {
        std::string buffer(size, ' ');
        EXPECT_EQ(store.ReadSection(section, buffer), used) << size;
        EXPECT_EQ(buffer, after) << size;
    }
}

TEST_F(SettingsStoreTest, WritesChangeOnlyTheirLines) {
    const std::string head = "; Mervok settings\r\n[Other]\r\nName=" + kShiftJis +
                             "\r\n\r\n[Mervok]\r\nLeft = 100\r\n; between\r\nTop=  5 \r\n";
    const std::string tail = "\r\n; trailing comment\r\n[Zeta]\r\nz=1";
    SettingsStore store = Ini(head + tail);
    EXPECT_TRUE(store.WriteString("mervok", "LEFT", "200"));
    EXPECT_TRUE(store.WriteString("Mervok", "SearchDir", kShiftJis));
    // The same value read from a padded line is written back without the pad.
    EXPECT_TRUE(store.WriteString("Mervok", "Top", "5"));
    std::string expected = head + "SearchDir=" + kShiftJis + "\r\n" + tail;
    expected.replace(expected.find("100"), 3, "200");
    expected.replace(expected.find("  5 "), 4, "5");
    EXPECT_EQ(Bytes(), expected);
    // A new section goes at the end, after a break for the unterminated line;
    // a name that differs only in a Shift-JIS character's second byte is new.
    EXPECT_TRUE(store.WriteString(kSosae, "Key", "v"));
    EXPECT_TRUE(store.WriteString(kSosae, kKeyA, "1"));
    EXPECT_TRUE(store.WriteString(kSoft, kKeyDi, "2"));
    EXPECT_EQ(Bytes(), expected + "\r\n[" + kSosae + "]\r\nKey=v\r\n" + kKeyA + "=1\r\n[" + kSoft +
                           "]\r\n" + kKeyDi + "=2\r\n");
}

TEST_F(SettingsStoreTest, AddedLinesUseTheFilesLineBreakAndKeepItsByteOrderMark) {
    const std::pair<std::string, std::string> files[] = {
        {"[Option]\rPrevInstance=1\r", "\r"},
        {"\xEF\xBB\xBF[Option]\r\nPrevInstance=1\r\n", "\r\n"},
        {"[Option]\nPrevInstance=1", "\n"},
    };
    for (const auto& [before, lineBreak] : files) {
        SettingsStore store = Ini(before);
        EXPECT_EQ(store.GetInt("Option", "PrevInstance", 0), 1) << before;
        EXPECT_TRUE(store.WriteString("Option", "DroppedArcFile", "1"));
        const std::string added =
            (before.ends_with(lineBreak) ? "" : lineBreak) + "DroppedArcFile=1" + lineBreak;
        EXPECT_EQ(Bytes(), before + added);
    }
    Ini("\xEF\xBB\xBF[Option]\r\nPrevInstance=1\r\n").WriteSection("Option", std::nullopt);
    EXPECT_EQ(Bytes(), "\xEF\xBB\xBF");
}

TEST_F(SettingsStoreTest, DeletesRemoveOnlyTheirLines) {
    SettingsStore store = Ini(
        "[Mervok]\nCheckClick=1\n; note\nClickMode=0\ncheckclick=2\n[QvCtrler]\nSubDir=1\n; old\n"
        "[Mid]\na=1\n[qvctrler]\nView=0\n");
    EXPECT_TRUE(store.WriteString("Mervok", "CheckClick", std::nullopt));
    // Every copy of the section goes, or the next start would find the second.
    EXPECT_TRUE(store.WriteSection("QvCtrler", std::nullopt));
    EXPECT_EQ(Bytes(), "[Mervok]\n; note\nClickMode=0\n; old\n[Mid]\na=1\n");
    // Deleting what is not there creates no file.
    const std::string missing = mFolder.File("missing.ini");
    EXPECT_TRUE(SettingsStore(missing).WriteString("Mervok", "Key", std::nullopt));
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(SettingsStoreTest, NewFileAndNamesOrValuesThatWouldNotStayOneLine) {
    SettingsStore store(Path());
    EXPECT_TRUE(store.WriteString("Mervok", "Window", "0"));
    EXPECT_TRUE(store.WriteString("Mervok", "Left", "-300"));
    EXPECT_EQ(Bytes(), "[Mervok]\nWindow=0\nLeft=-300\n");
    const char* bad[][3] = {{"Mervok", "Left", "1\r\n[Evil]"},
                            {"Mervok", "A=B", "1"},
                            {"Mervok", ";Left", "1"},
                            {"Mer\nvok", "Left", "1"},
                            {"", "Left", "1"}};
    for (const auto& [section, key, value] : bad) {
        EXPECT_FALSE(store.WriteString(section, key, value)) << section << key << value;
    }
    EXPECT_FALSE(store.WriteSection("Mervok", "a=1\0[Evil]\0\0"s));
    EXPECT_EQ(Bytes(), "[Mervok]\nWindow=0\nLeft=-300\n");
}

TEST_F(SettingsStoreTest, SeveralValuesAreOneReplaceThatKeepsTheModeAndIsAllOrNothing) {
    const std::string before = "[Mervok]\nLeft=1\n";
    SettingsStore store = Ini(before);
    ASSERT_EQ(::chmod(Path().c_str(), 0640), 0);
    int replaces = 0;
    SettingsStore::SetBeforeReplaceHookForTesting([&](const std::string&) {
        ++replaces;
        return true;
    });
    EXPECT_FALSE(store.WriteStrings({{"Mervok", "Left", "2"}, {"Mervok", "Top", "1\n[Evil]"}}));
    EXPECT_TRUE(store.WriteStrings({{"Mervok", "Left", "2"},
                                    {"Mervok", "Top", "3"},
                                    {"Other", "Key", "v"},
                                    {"Mervok", "Left", std::nullopt}}));
    EXPECT_TRUE(store.CreateIfMissing("[Seed]\n"));
    SettingsStore::SetBeforeReplaceHookForTesting({});
    EXPECT_EQ(replaces, 1);
    EXPECT_EQ(Bytes(), "[Mervok]\nTop=3\n[Other]\nKey=v\n");
    struct stat info {};
    ASSERT_EQ(::stat(Path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(FilesInFolder(), 1);  // no temporary file left
}

// What another user controls: their folder, a folder they may write to, their
// file, a link they made. The program then reads nothing from there and
// writes nothing anywhere, the file a link names least of all.
TEST_F(SettingsStoreTest, OnlyTheUsersOwnFolderAndFileAreUsedNeverALink) {
    const uid_t nobody = 65534;
    const std::string before = "[Mervok]\nLeft=1\n";
    const auto Untouched = [&](const std::string& file) {
        // The file as it was, and nothing made beside it.
        const std::filesystem::path path(file);
        const std::filesystem::directory_iterator entries(path.parent_path());
        return ReadBytes(file) == before && std::distance(begin(entries), end(entries)) == 1;
    };
    const auto Refused = [&](const std::string& file, SettingsTrust expected) {
        SettingsStore store(file);
        const bool refused = store.Trust() == expected && store.GetInt("Mervok", "Left", 7) == 7 &&
                             !store.WriteString("Mervok", "Left", "2") &&
                             !store.WriteStrings({{"Mervok", "Top", "2"}}) &&
                             !store.WriteSection("Mervok", std::nullopt);
        if (!refused) {
            fprintf(stderr, "not refused: %s\n", file.c_str());
        }
        return refused;
    };
    if (::geteuid() == 0) {
        // Root, with a folder of nobody's (sudo keeping XDG_CONFIG_HOME).
        const std::string theirs = mFolder.Write("theirs/Mervok.ini", before);
        const std::string folder = mFolder.File("theirs");
        ASSERT_EQ(::chown(theirs.c_str(), nobody, nobody), 0);
        ASSERT_EQ(::chown(folder.c_str(), nobody, nobody), 0);
        EXPECT_TRUE(Refused(theirs, SettingsTrust::FolderNotOwned));
        EXPECT_TRUE(Refused(mFolder.File("theirs/Quorvix.ini"), SettingsTrust::FolderNotOwned));
        EXPECT_FALSE(std::filesystem::exists(mFolder.File("theirs/Quorvix.ini")));
        ASSERT_EQ(::chown(folder.c_str(), 0, 0), 0);
        ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
        EXPECT_TRUE(Refused(theirs, SettingsTrust::FolderOpenToOthers));
        ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
        EXPECT_TRUE(Refused(theirs, SettingsTrust::FileNotOwned));
        EXPECT_TRUE(Untouched(theirs));
        // A link to root's own folder counts as its maker's.
        const std::string mine = mFolder.Write("mine/Mervok.ini", before);
        const std::string link = mFolder.File("link");
        ASSERT_EQ(::symlink(mFolder.File("mine").c_str(), link.c_str()), 0);
        ASSERT_EQ(::lchown(link.c_str(), nobody, nobody), 0);
        EXPECT_TRUE(Refused(link + "/Mervok.ini", SettingsTrust::FolderNotOwned));
        EXPECT_TRUE(Untouched(mine));
        ASSERT_EQ(::lchown(link.c_str(), 0, 0), 0);
        EXPECT_EQ(SettingsStore(link + "/Mervok.ini").GetInt("Mervok", "Left", 7), 1);
    }
    // nobody's own folder holding a link to another of their files, as
    // another user would plant it: neither file is read or written.
    const std::string target = mFolder.Write("elsewhere/profile", before);
    const std::string link = mFolder.Folder("own") + "Quorvix.ini";
    ASSERT_EQ(::chmod(mFolder.File("own").c_str(), 0700), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(mFolder.Path().c_str(), 0755), 0);
        for (const char* path : {"own", "elsewhere", "elsewhere/profile"}) {
            ASSERT_EQ(::chown(mFolder.File(path).c_str(), nobody, nobody), 0);
        }
    }
    EXPECT_EQ(RunUnprivileged([&] {
                  return ::symlink(target.c_str(), link.c_str()) == 0 &&
                         Refused(link, SettingsTrust::FileNotOwned) && Untouched(target) &&
                         Untouched(link);
              }),
              1);
}

TEST_F(SettingsStoreTest, TwoProcessesWritingAtOnceLoseNoKey) {
    SettingsStore store = Ini("[Option]\r\nPrevInstance=1\r\n");
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    constexpr int kKeys = 200;
    std::vector<pid_t> writers;
    for (const char* prefix : {"Window", "Viewer"}) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(gate[1]);
            char go = 0;
            bool ok = ::read(gate[0], &go, 1) == 0;  // both start when the gate closes
            for (int key = 0; ok && key < kKeys; ++key) {
                ok = store.WriteString("Option", prefix + std::to_string(key), std::to_string(key));
            }
            ::_exit(ok ? 0 : 1);
        }
        writers.push_back(child);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (const pid_t writer : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(writer, &status, 0), writer);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    int lost = 0;
    for (const char* prefix : {"Window", "Viewer"}) {
        for (int key = 0; key < kKeys; ++key) {
            lost += store.GetInt("Option", prefix + std::to_string(key), -1) != key;
        }
    }
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(store.GetInt("Option", "PrevInstance", 0), 1);
}

TEST_F(SettingsStoreTest, AnInterruptedWriteLeavesTheOldFile) {
    const std::string before = "[Option]\r\nPrevInstance=0\r\n";
    SettingsStore store = Ini(before);
    std::string seenTemp, seenTarget;
    SettingsStore::SetBeforeReplaceHookForTesting([&](const std::string& temp) {
        seenTemp = ReadBytes(temp);
        seenTarget = Bytes();
        return false;
    });
    EXPECT_FALSE(store.WriteString("Option", "DroppedArcFile", "1"));
    SettingsStore::SetBeforeReplaceHookForTesting({});
    // The new text was complete beside the untouched file.
    EXPECT_EQ(seenTemp, before + "DroppedArcFile=1\r\n");
    EXPECT_EQ(seenTarget, before);
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(FilesInFolder(), 1);

    // The process dies there; the next write works beside its leftover.
    const pid_t child = ::fork();
    if (child == 0) {
        SettingsStore::SetBeforeReplaceHookForTesting([](const std::string&) -> bool { _exit(0); });
        store.WriteSection("Option", "Left=5\0\0"s);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Bytes(), before);
    EXPECT_TRUE(store.WriteString("Option", "PrevInstance", "1"));
    EXPECT_EQ(store.GetInt("Option", "PrevInstance", 0), 1);
}

TEST_F(SettingsStoreTest, AWriteThatCannotBeDoneLeavesEverythingAsItWas) {
    WriteBytes(mFolder.File("plain"), "x");
    for (const std::string& path :
         {mFolder.File("plain/Mervok.ini"), mFolder.File("no/Mervok.ini"), mFolder.Path()}) {
        SettingsStore odd(path);
        EXPECT_FALSE(odd.WriteString("Mervok", "Left", "1")) << path;
        EXPECT_EQ(odd.GetInt("Mervok", "Left", 4), 4) << path;
    }
    EXPECT_EQ(ReadBytes(mFolder.File("plain")), "x");

    const std::string before = "[Mervok]\nLeft=1\n";
    SettingsStore store = Ini(before);
    // No write bit at all is read-only for everyone, root included.
    ASSERT_EQ(::chmod(Path().c_str(), 0444), 0);
    EXPECT_FALSE(store.WriteString("Mervok", "Left", "2"));
    EXPECT_FALSE(store.WriteSection("Mervok", std::nullopt));
    // A read-only folder has no room for the temporary file; reads still work.
    ASSERT_EQ(::chmod(Path().c_str(), 0644), 0);
    ASSERT_EQ(::chmod(mFolder.Path().c_str(), 0555), 0);
    for (const std::string& path : {Path(), mFolder.Path()}) {
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        }
    }
    EXPECT_EQ(RunUnprivileged([&] {
                  return store.GetInt("Mervok", "Left", 0) == 1 &&
                         !store.WriteString("Mervok", "Left", "2");
              }),
              1);
    EXPECT_EQ(Bytes(), before);
}

TEST_F(SettingsStoreTest, MalformedFilesAreReadAsFarAsTheyCanAndSurviveWrites) {
    std::string garbage;  // every byte value but CR, so that LF stays the line break
    for (int i = 0; i < 4096; ++i) {
        const char c = static_cast<char>((i * 131 + 7) % 256);
        garbage += c == '\r' ? '\0' : c;
    }
    const std::string huge(10 << 20, 'h');
    for (const std::string& before : {garbage + "\n[Mervok]\nLeft=\x01\x02\nTop=3",
                                      "[Mervok]\nSearchDir=" + huge + "\nLeft=\nTop=3"}) {
        SettingsStore store = Ini(before);
        EXPECT_EQ(store.GetInt("Mervok", "Top", 0), 3);
        EXPECT_EQ(store.GetInt("Mervok", "Left", 9), 0);
        EXPECT_TRUE(store.WriteString("Mervok", "Width", "640"));
        EXPECT_TRUE(Bytes() == before + "\nWidth=640\n");
    }
    EXPECT_EQ(SettingsStore(Path()).GetString("Mervok", "SearchDir", ""), huge.substr(0, 511));
    // A file beyond any settings file's size is neither loaded nor replaced.
    SettingsStore store = Ini("[Mervok]\nLeft=1\n");
    ASSERT_EQ(::truncate(Path().c_str(), 65 << 20), 0);
    EXPECT_EQ(store.GetInt("Mervok", "Left", 7), 7);
    EXPECT_FALSE(store.WriteString("Mervok", "Left", "2"));
    EXPECT_EQ(std::filesystem::file_size(Path()), 65u << 20);
}

}  // namespace
}  // namespace mervok
