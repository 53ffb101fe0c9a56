#include "app/settings_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/text_util.h"
#include "settings_files.h"

namespace mervok {
namespace {

using testing::ReadBytes;
using testing::RunUnprivileged;
using testing::TempFolder;
using testing::WriteBytes;

using namespace std::string_literals;

// "テスト" in Shift-JIS: the trail byte 0x65 is a lower-case 'e' to anything
// that reads it as ASCII.
const std::string kShiftJisText = "\x83\x65\x83\x58\x83\x67";

class SettingsStoreTest : public ::testing::Test {
  protected:
    std::string Ini(std::string_view bytes) {
        const std::string path = mFolder.File("Mervok.ini");
        WriteBytes(path, bytes);
        return path;
    }
    std::string Path() const { return mFolder.File("Mervok.ini"); }

    TempFolder mFolder;
};

TEST_F(SettingsStoreTest, IntegersReadAsTheLeadingDecimalNumber) {
    SettingsStore store(
        Ini("[Mervok]\r\n"
            "Left=-300\r\n"
            "  Top  =  +12abc  \r\n"
            "Width=abc\r\n"
            "Height=\r\n"
            "View=\"2\"\r\n"
            "Big=4294967297\r\n"
            "Hex=0x1F\r\n"));
    EXPECT_EQ(store.GetInt("Mervok", "Left", 5), -300);
    EXPECT_EQ(store.GetInt("Mervok", "Top", 5), 12);
    EXPECT_EQ(store.GetInt("Mervok", "Width", 5), 0);
    EXPECT_EQ(store.GetInt("Mervok", "Height", 5), 0);
    EXPECT_EQ(store.GetInt("Mervok", "View", 5), 2);  // quotes go as for texts
    EXPECT_EQ(store.GetInt("Mervok", "Big", 5), 1);   // wraps at 32 bits
    EXPECT_EQ(store.GetInt("Mervok", "Hex", 5), 0);
    // Missing key, section and file give the default.
    EXPECT_EQ(store.GetInt("Mervok", "Window", 9), 9);
    EXPECT_EQ(store.GetInt("Other", "Left", 9), 9);
    EXPECT_EQ(SettingsStore(mFolder.File("none.ini")).GetInt("Mervok", "Left", -7), -7);
}

TEST_F(SettingsStoreTest, NamesIgnoreCaseAndBlanksAndTheFirstOccurrenceWins) {
    SettingsStore store(
        Ini("; Left=1 in a comment is no key\n"
            "[ mervok ]\n"
            "; Left=2\n"
            "LEFT = 10\n"
            "Left=20\n"
            "\n"
            "[Other]\n"
            "Top=3\n"
            "[MERVOK]\n"
            "Left=30\n"
            "Top=40\n"));
    EXPECT_EQ(store.GetInt("Mervok", " left ", 0), 10);
    // Only the first section of a name is looked at.
    EXPECT_EQ(store.GetInt("Mervok", "Top", -1), -1);
    EXPECT_EQ(store.GetInt("other", "TOP", -1), 3);
}

TEST_F(SettingsStoreTest, StringsAreTrimmedUnquotedCutAndKeepTheirBytes) {
    const std::string longValue(600, 'x');
    SettingsStore store(
        Ini("[Mervok]\n"
            "SearchDir =   /data/old files   \n"
            "Quoted=\"  spaced  \"\n"
            "Single='a'\n"
            "Lone=\"\n"
            "Long=" +
            longValue +
            "\n"
            "Name=" +
            kShiftJisText +
            "\n"
            "Bare\n"));
    EXPECT_EQ(store.GetString("Mervok", "SearchDir", "d"), "/data/old files");
    EXPECT_EQ(store.GetString("Mervok", "Quoted", "d"), "  spaced  ");
    EXPECT_EQ(store.GetString("Mervok", "Single", "d"), "a");
    EXPECT_EQ(store.GetString("Mervok", "Lone", "d"), "\"");
    EXPECT_EQ(store.GetString("Mervok", "Long", "d"), longValue.substr(0, 511));
    EXPECT_EQ(store.GetString("Mervok", "Name", "d"), kShiftJisText);
    // A line without '=' names no value, and the default's trailing blanks go.
    EXPECT_EQ(store.GetString("Mervok", "Bare", "def  "), "def");
    EXPECT_EQ(store.GetString("Mervok", "Missing", "HLP DOC"), "HLP DOC");
}

TEST_F(SettingsStoreTest, SectionReadFillsTheBufferFrontOnly) {
    SettingsStore store(
        Ini("[QvCtrler]\r\n"
            "; old settings\r\n"
            "SubDir = 1\r\n"
            "\r\n"
            "View=0\r\n"
            "[Mervok]\r\n"
            "Left=1\r\n"));
    std::string buffer(200, ' ');
    EXPECT_EQ(store.ReadSection("qvctrler", buffer), 16u);
    EXPECT_EQ(buffer, "SubDir=1\0View=0\0\0"s + std::string(200 - 17, ' '));

    std::string missing(10, ' ');
    EXPECT_EQ(store.ReadSection("Nothing", missing), 0u);
    EXPECT_EQ(missing, "\0\0"s + std::string(8, ' '));

    std::string none;
    EXPECT_EQ(store.ReadSection("QvCtrler", none), 0u);
    std::string one(1, ' ');
    EXPECT_EQ(store.ReadSection("QvCtrler", one), 0u);
    EXPECT_EQ(one, "\0"s);
}

TEST_F(SettingsStoreTest, SectionReadThatDoesNotFitKeepsWholeEntriesOnly) {
    // "Key00=value00" and so on: 14 bytes with the NUL each.
    std::string text = "[QvCtrler]\n";
    for (int i = 0; i < 20; ++i) {
        const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
        text += "Key" + n + "=value" + n + "\n";
    }
    SettingsStore store(Ini(text));
    std::string buffer(200, ' ');
    // 14 entries take 196 bytes, the closing NUL the 197th; a 15th would not fit.
    EXPECT_EQ(store.ReadSection("QvCtrler", buffer), 196u);
    EXPECT_EQ(buffer.substr(182, 15), "Key13=value13\0\0"s);
    EXPECT_EQ(buffer.substr(197), "   ");

    // Exactly full: 14 entries and the closing NUL in 197 bytes.
    std::string exact(197, ' ');
    EXPECT_EQ(store.ReadSection("QvCtrler", exact), 196u);
    EXPECT_EQ(exact.back(), '\0');
    std::string shorter(196, ' ');
    EXPECT_EQ(store.ReadSection("QvCtrler", shorter), 182u);
}

TEST_F(SettingsStoreTest, LegacySectionMovesIntoTheNewOneAndNothingElseChanges) {
    const std::string before =
        "; settings\r\n"
        "[QvCtrler]\r\n"
        "SubDir=1\r\n"
        "View=0\r\n"
        "\r\n"
        "[Mervok]\r\n"
        "; kept comment\r\n"
        "Left=100\r\n"
        "SearchDir=" +
        kShiftJisText +
        "\r\n"
        "\r\n"
        "[Unknown]\r\n"
        "Keep=this\r\n";
    SettingsStore store(Ini(before));

    // The start-up sequence: read into 200 spaces, take the list over when
    // its first entry is not blank, then drop the old section.
    std::string buffer(200, ' ');
    store.ReadSection("QvCtrler", buffer);
    ASSERT_FALSE(TrimAtNull(buffer).empty());
    EXPECT_TRUE(store.WriteSection("Mervok", TrimBlanks(buffer)));
    EXPECT_TRUE(store.WriteSection("QvCtrler", std::nullopt));

    EXPECT_EQ(ReadBytes(Path()),
              "; settings\r\n"
              "\r\n"
              "[Mervok]\r\n"
              "; kept comment\r\n"
              "SubDir=1\r\n"
              "View=0\r\n"
              "\r\n"
              "[Unknown]\r\n"
              "Keep=this\r\n");
    std::string after(200, ' ');
    EXPECT_EQ(store.ReadSection("Mervok", after), 16u);
    EXPECT_EQ(after.substr(0, 17), "SubDir=1\0View=0\0\0"s);
    EXPECT_EQ(store.GetInt("Mervok", "Left", 77), 77);
}

TEST_F(SettingsStoreTest, WritesChangeOnlyTheirLinesAndUseTheFilesLineBreak) {
    const std::string head =
        "; Mervok settings\r\n"
        "[Other]\r\n"
        "Name=" +
        kShiftJisText +
        "\r\n"
        "\r\n"
        "[Mervok]\r\n"
        "Left = 100\r\n"
        "; between\r\n"
        "Top=5\r\n";
    const std::string tail =
        "\r\n"
        "; trailing comment\r\n"
        "[Zeta]\r\n"
        "z=1";  // no final line break
    SettingsStore store(Ini(head + tail));

    EXPECT_TRUE(store.WriteString("mervok", "LEFT", "200"));
    EXPECT_TRUE(store.WriteString("Mervok", "SearchDir", kShiftJisText));
    EXPECT_EQ(ReadBytes(Path()),
              "; Mervok settings\r\n"
              "[Other]\r\n"
              "Name=" +
                  kShiftJisText +
                  "\r\n"
                  "\r\n"
                  "[Mervok]\r\n"
                  "Left = 200\r\n"
                  "; between\r\n"
                  "Top=5\r\n"
                  "SearchDir=" +
                  kShiftJisText + "\r\n" + tail);

    // A new section goes at the end, after a break for the unterminated line.
    EXPECT_TRUE(store.WriteString("New", "Key", "v"));
    EXPECT_TRUE(ReadBytes(Path()).ends_with("[Zeta]\r\nz=1\r\n[New]\r\nKey=v\r\n"));
    EXPECT_EQ(store.GetString("Zeta", "z", ""), "1");
}

TEST_F(SettingsStoreTest, LoneCarriageReturnsBreakLinesAndAreKept) {
    SettingsStore store(Ini("[Option]\rPrevInstance=1\rDocType=TXT\r"));
    EXPECT_EQ(store.GetInt("Option", "PrevInstance", 0), 1);
    EXPECT_EQ(store.GetString("Option", "DocType", ""), "TXT");
    EXPECT_TRUE(store.WriteString("Option", "DroppedArcFile", "1"));
    EXPECT_EQ(ReadBytes(Path()), "[Option]\rPrevInstance=1\rDocType=TXT\rDroppedArcFile=1\r");
}

TEST_F(SettingsStoreTest, DeletingKeysAndSectionsRemovesOnlyTheirLines) {
    SettingsStore store(
        Ini("[Mervok]\n"
            "CheckClick=1\n"
            "; note\n"
            "ClickMode=0\n"
            "checkclick=2\n"
            "[QvCtrler]\n"
            "SubDir=1\n"
            "; old\n"
            "[Mid]\n"
            "a=1\n"
            "[qvctrler]\n"
            "View=0\n"));
    EXPECT_TRUE(store.WriteString("Mervok", "CheckClick", std::nullopt));
    // Every copy of the section goes, or the next start would find the second.
    EXPECT_TRUE(store.WriteSection("QvCtrler", std::nullopt));
    EXPECT_EQ(ReadBytes(Path()),
              "[Mervok]\n"
              "; note\n"
              "ClickMode=0\n"
              "; old\n"
              "[Mid]\n"
              "a=1\n");
    EXPECT_EQ(store.GetInt("Mervok", "CheckClick", 9), 9);

    // Deleting what is not there writes nothing, and creates no file.
    const std::string missing = mFolder.File("missing.ini");
    EXPECT_TRUE(SettingsStore(missing).WriteString("Mervok", "Key", std::nullopt));
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(SettingsStoreTest, NewFileAndBadNamesOrValues) {
    SettingsStore store(Path());
    EXPECT_TRUE(store.WriteString("Mervok", "Window", "0"));
    EXPECT_TRUE(store.WriteString("Mervok", "Left", "-300"));
    EXPECT_EQ(ReadBytes(Path()), "[Mervok]\nWindow=0\nLeft=-300\n");

    // Texts that would not stay one line, or would make a comment or a header.
    EXPECT_FALSE(store.WriteString("Mervok", "Left", "1\r\n[Evil]"));
    EXPECT_FALSE(store.WriteString("Mervok", "A=B", "1"));
    EXPECT_FALSE(store.WriteString("Mervok", ";Left", "1"));
    EXPECT_FALSE(store.WriteString("Mer\nvok", "Left", "1"));
    EXPECT_FALSE(store.WriteString("", "Left", "1"));
    EXPECT_FALSE(store.WriteSection("Mervok", "a=1\0[Evil]\0\0"s));
    EXPECT_EQ(ReadBytes(Path()), "[Mervok]\nWindow=0\nLeft=-300\n");
}

TEST_F(SettingsStoreTest, FileModeAndSymbolicLinkSurviveAWrite) {
    const std::string real = mFolder.File("real.ini");
    WriteBytes(real, "[Mervok]\nLeft=1\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(real.c_str(), Path().c_str()), 0);

    SettingsStore store(Path());
    EXPECT_TRUE(store.WriteString("Mervok", "Left", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(Path()));
    EXPECT_EQ(ReadBytes(real), "[Mervok]\nLeft=2\n");
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mFolder.Path()),
                            std::filesystem::directory_iterator()),
              2);
}

// --- failures leave the old file -------------------------------------------

class InterruptedWriteTest : public SettingsStoreTest {
  protected:
    void TearDown() override { SettingsStore::SetBeforeReplaceHookForTesting({}); }
};

TEST_F(InterruptedWriteTest, StopBeforeTheRenameLeavesTheOldFile) {
    const std::string before = "[Option]\r\nPrevInstance=0\r\n";
    SettingsStore store(Ini(before));
    std::string seenTemp;
    std::string seenTarget;
    SettingsStore::SetBeforeReplaceHookForTesting([&](const std::string& temp) {
        seenTemp = ReadBytes(temp);
        seenTarget = ReadBytes(store.Path());
        return false;
    });
    EXPECT_FALSE(store.WriteString("Option", "DroppedArcFile", "1"));

    // At that point the new text was complete beside the untouched file.
    EXPECT_EQ(seenTemp, before + "DroppedArcFile=1\r\n");
    EXPECT_EQ(seenTarget, before);
    EXPECT_EQ(ReadBytes(store.Path()), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mFolder.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(InterruptedWriteTest, ProcessDyingBeforeTheRenameLeavesTheOldFile) {
    const std::string before = "[Mervok]\nLeft=1\nTop=2\n";
    SettingsStore store(Ini(before));
    const pid_t child = ::fork();
    if (child == 0) {
        SettingsStore::SetBeforeReplaceHookForTesting(
            [](const std::string&) -> bool { ::_exit(0); });
        store.WriteSection("Mervok", "Left=5\0\0"s);
        ::_exit(1);  // the hook was not reached
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(store.Path()), before);
    EXPECT_EQ(store.GetInt("Mervok", "Top", 0), 2);
    // The next write succeeds beside the leftover temporary file.
    EXPECT_TRUE(store.WriteString("Mervok", "Left", "5"));
    EXPECT_EQ(store.GetInt("Mervok", "Left", 0), 5);
}

TEST_F(SettingsStoreTest, ReadOnlyFileStaysAsItWas) {
    const std::string before = "[Option]\nPrevInstance=0\n";
    SettingsStore store(Ini(before));
    ASSERT_EQ(::chmod(store.Path().c_str(), 0444), 0);
    // No write bit at all is read-only for everyone, root included.
    EXPECT_FALSE(store.WriteString("Option", "DroppedArcFile", "1"));
    EXPECT_FALSE(store.WriteSection("Option", std::nullopt));
    EXPECT_EQ(ReadBytes(store.Path()), before);
}

TEST_F(SettingsStoreTest, FileOfAnotherUserIsNotReplacedThroughItsFolder) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to make a file that belongs to someone else";
    }
    // The folder lets anyone create files, the file is root's own: renaming
    // over it would work, writing it must not.
    const std::string before = "[Mervok]\nLeft=1\n";
    SettingsStore store(Ini(before));
    ASSERT_EQ(::chmod(mFolder.Path().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(store.Path().c_str(), 0644), 0);
    const int result = RunUnprivileged([&] { return store.WriteString("Mervok", "Left", "2"); });
    ASSERT_NE(result, -1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(store.Path()), before);
}

TEST_F(SettingsStoreTest, ReadOnlyFolderStaysAsItWas) {
    const std::string before = "[Mervok]\nLeft=1\n";
    SettingsStore store(Ini(before));
    ASSERT_EQ(::chmod(store.Path().c_str(), 0666), 0);
    ASSERT_EQ(::chmod(mFolder.Path().c_str(), 0555), 0);
    const int result = RunUnprivileged([&] {
        // Reads still work; the write cannot place its temporary file.
        return store.GetInt("Mervok", "Left", 0) == 1 && store.WriteString("Mervok", "Left", "2");
    });
    ASSERT_NE(result, -1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(store.Path()), before);
}

TEST_F(SettingsStoreTest, PathsThatAreNoFileFailQuietly) {
    WriteBytes(mFolder.File("plain"), "x");
    // A folder that is really a file, a missing folder, and a folder itself.
    SettingsStore underFile(mFolder.File("plain/Mervok.ini"));
    EXPECT_FALSE(underFile.WriteString("Mervok", "Left", "1"));
    EXPECT_EQ(underFile.GetInt("Mervok", "Left", 4), 4);
    EXPECT_FALSE(SettingsStore(mFolder.File("no/Mervok.ini")).WriteString("Mervok", "Left", "1"));
    SettingsStore folder(mFolder.Path());
    EXPECT_FALSE(folder.WriteString("Mervok", "Left", "1"));
    EXPECT_EQ(folder.GetString("Mervok", "Left", "d"), "d");
    EXPECT_EQ(ReadBytes(mFolder.File("plain")), "x");
}

// --- files that are not well formed ----------------------------------------

TEST_F(SettingsStoreTest, GarbageReadsAsWellAsItCanAndSurvivesAWrite) {
    // Every byte value but CR, so that LF stays the file's line break.
    std::string garbage;
    for (int i = 0; i < 4096; ++i) {
        const char c = static_cast<char>((i * 131 + 7) % 256);
        garbage += c == '\r' ? '\0' : c;
    }
    const std::string before = garbage + "\n[Mervok]\nLeft=\x01\x02\nTop=3";
    SettingsStore store(Ini(before));
    EXPECT_EQ(store.GetInt("Mervok", "Top", 0), 3);
    EXPECT_EQ(store.GetInt("Mervok", "Left", 9), 0);
    EXPECT_TRUE(store.WriteString("Mervok", "Width", "640"));
    EXPECT_EQ(ReadBytes(store.Path()), before + "\nWidth=640\n");
}

TEST_F(SettingsStoreTest, ByteOrderMarkBeforeTheFirstSectionStays) {
    const std::string before = "\xEF\xBB\xBF[Option]\r\nPrevInstance=1\r\n";
    SettingsStore store(Ini(before));
    EXPECT_EQ(store.GetInt("Option", "PrevInstance", 0), 1);
    EXPECT_TRUE(store.WriteString("Option", "PrevInstance", "0"));
    EXPECT_EQ(ReadBytes(store.Path()), "\xEF\xBB\xBF[Option]\r\nPrevInstance=0\r\n");
    EXPECT_TRUE(store.WriteSection("Option", std::nullopt));
    EXPECT_EQ(ReadBytes(store.Path()), "\xEF\xBB\xBF");
}

TEST_F(SettingsStoreTest, HugeLineIsReadCutAndKeptWhole) {
    const std::string huge(10 << 20, 'h');
    const std::string before = "[Mervok]\nSearchDir=" + huge + "\nLeft=4\n";
    SettingsStore store(Ini(before));
    EXPECT_EQ(store.GetString("Mervok", "SearchDir", ""), huge.substr(0, 511));
    EXPECT_EQ(store.GetInt("Mervok", "Left", 0), 4);
    EXPECT_TRUE(store.WriteString("Mervok", "Left", "5"));
    EXPECT_TRUE(ReadBytes(store.Path()) == "[Mervok]\nSearchDir=" + huge + "\nLeft=5\n");
}

TEST_F(SettingsStoreTest, OversizedFileIsNeitherLoadedNorReplaced) {
    SettingsStore store(Ini("[Mervok]\nLeft=1\n"));
    // A sparse tail takes the file beyond what any settings file needs.
    ASSERT_EQ(::truncate(store.Path().c_str(), 65 << 20), 0);
    EXPECT_EQ(store.GetInt("Mervok", "Left", 7), 7);
    EXPECT_FALSE(store.WriteString("Mervok", "Left", "2"));
    EXPECT_EQ(std::filesystem::file_size(store.Path()), 65u << 20);
}

}  // namespace
}  // namespace mervok
