// mervok-search as a user meets it: the real program, the real archiver
// libraries beside it and real archives in a temporary folder.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/product_info.h"
#include "app/version_text.h"
#include "cli/cli_output.h"
#include "support/files.h"

namespace fs = std::filesystem;

namespace mervok {
namespace {

using testing::ReadBytes;
using testing::WaitUntil;

const fs::path kDist = MERVOK_DIST_DIR;

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program to its end; whileRunning (if any) gets its pid meanwhile.
ProcessResult RunProcess(const std::vector<std::string>& args, const fs::path& scratch,
                         const std::function<void(pid_t)>& whileRunning = {}) {
    const fs::path outPath = scratch / "stdout";
    const fs::path errPath = scratch / "stderr";
    ProcessResult result;
    const pid_t pid = testing::Spawn(args, {}, outPath, errPath);
    if (pid == 0) {
        return result;
    }
    if (whileRunning) {
        whileRunning(pid);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadBytes(outPath);
    result.err = ReadBytes(errPath);
    return result;
}

// Each hit's fields as the JSON text the tool wrote, one object a line.
std::vector<std::map<std::string, std::string>> JsonRows(const std::string& text) {
    static const std::regex kField(R"re("(\w+)": ("(?:[^"\\]|\\.)*"|\d+))re");
    std::vector<std::map<std::string, std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find('{') != std::string::npos) {
            auto& row = rows.emplace_back();
            for (std::sregex_iterator it(line.begin(), line.end(), kField), end; it != end; ++it) {
                row[(*it)[1]] = (*it)[2];
            }
        }
    }
    return rows;
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(mTree); }

    void Copy(const std::string& fixture, const fs::path& to) {
        testing::CopyFixture(fixture, mTree / to);
    }
    ProcessResult Search(std::vector<std::string> args,
                         const fs::path& program = kDist / "mervok-search") {
        args.insert(args.begin(), program.string());
        return RunProcess(args, mScratch);
    }

    testing::TempFolder mTemp;
    const fs::path mScratch = mTemp.Path();
    const fs::path mTree = mScratch / "tree";
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST_F(CliTest, OneRealTreeAsJsonAsATableNarrowedAndUnchecked) {
    Copy("zip/plain.zip", "plain.zip");
    Copy("zip/nodoc.zip", "nodoc.zip");
    Copy("zip/manual_doc.zip", "manual_doc.zip");  // its only document is a .DOC
    Copy("lha/lh5.lzh", "sub/README.LZH");
    Copy("cab/mszip.cab", "sub/deeper/mszip.cab");
    Copy("sfx/lha_8k.exe", "sfx/setup.exe");
    // Names that are not UTF-8: Shift-JIS "書庫/テスト.lzh" (holding a Shift-JIS
    // name too) and a stray byte.
    const std::string sjis = "\x8f\x91\x8c\xc9/\x83\x65\x83\x58\x83\x67.lzh";
    Copy("lha/sjis_level2.lzh", sjis);
    Copy("zip/plain.zip", "B-plain\xff.zip");
    { std::ofstream big(mTree / "big.zip", std::ios::binary); }
    fs::resize_file(mTree / "big.zip", 3221225472ULL);
    const std::string top = mTree.string() + "/";

    // JSON: every hit once, with its exact bytes, size and kind.
    auto result = Search({"-r", "--json", "--doc-types", "DOC", mTree.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::pair<std::string, const char*> hits[] = {
        {"plain.zip", "ZIP"},         {"manual_doc.zip", "ZIP"},       {"sub/README.LZH", "LHA"},
        {"sfx/setup.exe", "LHA-SFX"}, {"sub/deeper/mszip.cab", "CAB"}, {sjis, "LHA"},
        {"B-plain\xff.zip", "ZIP"}};
    std::map<std::string, std::string> expected, listed;
    for (const auto& [relative, kind] : hits) {
        expected[JsonString(top + relative)] =
            JsonString(kind) + " " + std::to_string(fs::file_size(mTree / relative));
    }
    for (auto& row : JsonRows(result.out)) {
        EXPECT_TRUE(listed.emplace(row["path"], row["kind"] + " " + row["size"]).second)
            << "listed twice: " << row["path"];
        EXPECT_EQ(row["path"], row["folder"].substr(0, row["folder"].size() - 1) + "/" +
                                   row["fileName"].substr(1));
    }
    EXPECT_EQ(listed, expected);

    // The table: the window's name order (letter case does not count, the
    // Shift-JIS name as its kana), columns aligned, bytes that are not UTF-8
    // escaped; "*.TXT" alone without the document types.
    result = Search({"-r", "--doc-types", " ", mTree.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const auto lines = Lines(result.out);
    const std::vector<std::string> names = {"B-plain\\xff.zip ", "mszip.cab ",
                                            "plain.zip ",        "README.LZH ",
                                            "setup.exe ",        "\\x83e\\x83X\\x83g.lzh "};
    ASSERT_EQ(lines.size(), names.size()) << result.out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind(names[i], 0), 0u) << lines[i];
        EXPECT_EQ(lines[i].find(mTree.string()), lines[0].find(mTree.string())) << lines[i];
        EXPECT_EQ(lines[i].find(" 20"), lines[0].find(" 20")) << lines[i];
    }
    EXPECT_NE(lines[5].find(top + "\\x8f\\x91\\x8c\\xc9  "), std::string::npos) << lines[5];
    EXPECT_NE(lines[3].find("  LHA  "), std::string::npos) << lines[3];

    // Narrowed to one format.
    auto lha = JsonRows(Search({"-r", "--json", "--formats", "LZH", mTree.string()}).out);
    ASSERT_EQ(lha.size(), 2u);
    EXPECT_EQ(lha[0]["kind"] + lha[1]["kind"], "\"LHA\"\"LHA\"");

    // Without the check every candidate by its name, with its 64-bit size.
    result = Search({"--no-check", mTree.string()});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("3,221,225,472  ZIP?"), std::string::npos) << result.out;
    EXPECT_EQ(Lines(result.out).size(), 5u) << result.out;  // also nodoc.zip
}

// The text search's three outputs over archives real tools made, one
// document per encoding in each; a bomb and an encrypted document are told on
// stderr; usage errors and "no hit" keep their exit codes.
TEST_F(CliTest, TextSearchAsCountsAsMatchLinesAndAsJson) {
    // Half the documents count only through the viewer's "DocType" list,
    // which the search applies when the built viewer lies beside it (a build
    // without Qt has none).
    if (!fs::exists(kDist / "Quorvix.exe")) {
        GTEST_SKIP() << "the viewer is not built here";
    }
    const fs::path data = fs::path(MERVOK_TEST_DATA_DIR) / "text";
    for (const char* name : {"mixed.zip", "mixed.lzh", "bomb.zip", "encrypted.zip"}) {
        fs::copy_file(data / name, mTree / name);
    }
    auto result = Search({"--text", "mervokword", "-i", mTree.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 2u) << result.out;
    EXPECT_EQ(lines[0].rfind("mixed.lzh ", 0), 0u);
    EXPECT_TRUE(lines[0].ends_with("  6")) << lines[0];
    EXPECT_NE(result.err.find("bomb.zip: read only to the cap"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("1 encrypted, 0 damaged"), std::string::npos) << result.err;

    // One line per match; the output is no terminal, so nothing marks it.
    result = Search({"--matches", "--text=設定ファイル", "--formats", "zip", mTree.string()});
    lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 6u) << result.out;
    EXPECT_EQ(lines[1], (mTree / "mixed.zip").string() + ":sjis.txt:5: 第一の設定ファイルを開く。");

    result = Search({"--json", "--text", "～ 波", mTree.string()});
    const auto rows = JsonRows(result.out);
    ASSERT_EQ(rows.size(), 14u) << result.out;  // two archives, six matches each
    EXPECT_EQ(rows[1].at("entry"), "\"u8.txt\"");
    EXPECT_EQ(rows[2].at("encoding"), "\"Shift_JIS\"");
    EXPECT_EQ(rows[3].at("line") + "," + rows[3].at("column"), "4,1");
    EXPECT_NE(result.out.find("\"matchesCut\": false"), std::string::npos);

    EXPECT_EQ(Search({"--text", "見つからない", mTree.string()}).exitCode, 1);
    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"--matches", mTree.string()},
          {"--text", "", mTree.string()},
          {"--text", "\xff", mTree.string()}}) {
        result = Search(wrong);
        EXPECT_EQ(result.exitCode, 2) << wrong[1];
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(CliTest, ExitStatusAndMessagesTellWhatHappened) {
    Copy("zip/nodoc.zip", "nodoc.zip");
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string err;
    } runs[] = {{{mTree.string()}, 1, ""},  // no hits
                {{"   "}, 2, "検索フォルダが入力されていません。\n"},
                {{(mTree / "missing").string()}, 2, "検索フォルダが見つかりません。\n"},
                {{(mTree / "nodoc.zip").string()}, 2, "検索フォルダが見つかりません。\n"},
                {{"--formats", "rar", mTree.string()}, 2, "rar"},
                {{"--frobnicate", mTree.string()}, 2, "unknown option '--frobnicate'"}};
    for (const auto& run : runs) {
        const auto result = Search(run.arguments);
        EXPECT_EQ(result.exitCode, run.exitCode) << run.arguments[0];
        EXPECT_EQ(result.out, "") << run.arguments[0];
        EXPECT_NE(result.err.find(run.err), std::string::npos) << result.err;
    }
    auto result = Search({"--version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out,
              "mervok-search " + ProgramVersionText() + "\n" + std::string(kLegalCopyright) + "\n");

    // Without its libraries the tool can search nothing, and says so; a
    // folder others may write to holds no settings of its.
    const fs::path lonely = mScratch / "lonely";
    fs::create_directory(lonely);
    fs::permissions(lonely, fs::perms::all);
    fs::copy_file(kDist / "mervok-search", lonely / "mervok-search");
    result = Search({mTree.string()}, lonely / "mervok-search");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("libunzip32.so"), std::string::npos) << result.err;
    EXPECT_TRUE(result.err.starts_with("mervok-search: 設定フォルダ " + lonely.string() +
                                       "/ には他のユーザーも書き込めます。"))
        << result.err;
}

TEST_F(CliTest, InterruptDuringTheCheckPrintsTheHitsFoundSoFar) {
    // A program folder of its own, with an LHA library that holds look-ups
    // in "block" archives until the test lets them go. It does not promise
    // independent handles, so it gets one look-up at a time, in order.
    const fs::path program = mScratch / "program";
    fs::create_directory(program);
    fs::copy_file(kDist / "mervok-search", program / "mervok-search");
    fs::copy_file(MERVOK_TEST_BLOCKING_UNLHA, program / "libunlha32.so");
    // The walk is depth first, pre-order: a, then the two blocking ones in
    // the order the folder lists them, then d.
    std::ofstream(mTree / "a.lzh") << "a";
    fs::create_directories(mTree / "s" / "t");
    std::ofstream(mTree / "s" / "b-block.lzh") << "b";
    std::ofstream(mTree / "s" / "c-block.lzh") << "c";
    std::ofstream(mTree / "s" / "t" / "d.lzh") << "d";

    const fs::path s = mTree / "s";
    const auto waiting = [&](const char* name) {
        return fs::exists(s / ("waiting-" + std::string(name)));
    };
    const auto result = RunProcess(
        {(program / "mervok-search").string(), "-r", "--json", mTree.string()}, mScratch,
        [&](pid_t pid) {
            EXPECT_TRUE(
                WaitUntil([&] { return waiting("b-block.lzh") || waiting("c-block.lzh"); }));
            kill(pid, SIGINT);
            // Its handler resets itself: once taken, SIGINT is no longer caught.
            EXPECT_TRUE(WaitUntil([&] { return !testing::CatchesSignal(pid, SIGINT); }));
            std::ofstream(s / "release") << "go";
        });
    EXPECT_EQ(result.exitCode, 130) << result.err;
    std::vector<std::string> names;
    for (auto& row : JsonRows(result.out)) {
        names.push_back(row["fileName"]);
    }
    // What was under way when Ctrl-C came is finished; nothing later is even
    // started. The list ends where the hits were taken up to, in order.
    const bool bFirst = waiting("b-block.lzh");
    EXPECT_NE(bFirst, waiting("c-block.lzh"));
    const std::vector<std::string> inOrder{"\"a.lzh\"",
                                           bFirst ? "\"b-block.lzh\"" : "\"c-block.lzh\""};
    EXPECT_LE(names.size(), inOrder.size());
    EXPECT_TRUE(std::equal(names.begin(), names.end(), inOrder.begin()));
}

}  // namespace
}  // namespace mervok
