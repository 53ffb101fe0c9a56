// The text condition of a search, through the program's own libraries and
// readers, over archives real tools made (tests/data/text/make_text_archives.sh):
// one document per encoding in each container, a stub, encryption, a bomb.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "search/archive_text.h"
#include "support/real_search.h"

namespace mervok {
namespace {

using namespace mervok::testing;

const std::string kFixtures = std::string(MERVOK_TEST_DATA_DIR) + "/text/";

class TextSearchTest : public RealSearchTest {
  protected:
    TextSearchTest() {
        for (const char* name : {"mixed.zip", "mixed.lzh", "mixed.cab", "mixed_sfx.exe",
                                 "encrypted.zip", "bomb.zip"}) {
            WriteBytes(top.Folder() + name, ReadBytes(kFixtures + name));
        }
    }

    SearchResult Search(const std::string& text, bool ignoreCase = false, int threads = 8) {
        SearchOptions options;
        options.text = text;
        options.ignoreCase = ignoreCase;
        options.textLimits = limits;
        return RunSearch(options, threads);
    }

    TextSearchLimits limits;
};

// Every encoding in every container, on its line and column, from one or
// eight threads alike; the entry that is no document is never read.
TEST_F(TextSearchTest, FindsTheWordsInEveryEncodingAndContainerAndNowhereElse) {
    const std::map<std::string, std::string> encodings = {
        {"u8.txt", "UTF-8"},       {"sjis.txt", "Shift_JIS"}, {"euc.doc", "EUC-JP"},
        {"u16le.txt", "UTF-16LE"}, {"u16be.htm", "UTF-16BE"}, {"jis.txt", "ISO-2022-JP"}};
    std::vector<std::vector<std::string>> orders;
    for (const int threads : {1, 8}) {
        const SearchResult result = Search("設定ファイル", false, threads);
        std::vector<std::string>& names = orders.emplace_back();
        for (const FoundArchive& hit : result.archives) {
            names.push_back(hit.fileName + " " + std::string(KindLabel(hit)));
            SCOPED_TRACE(hit.fileName);
            std::map<std::string, std::string> seen;
            for (const DocumentMatch& match : hit.text.matches) {
                seen[match.entry] = match.encoding;
                EXPECT_EQ(match.line, 5U);
                EXPECT_EQ(match.column, 4U);
                EXPECT_EQ(match.snippet, "第一の設定ファイルを開く。");
                EXPECT_EQ(match.snippet.substr(match.snippetMatchOffset, match.snippetMatchLength),
                          "設定ファイル");
            }
            EXPECT_EQ(seen, encodings);
            EXPECT_EQ(hit.text.documents, 6U);
            EXPECT_FALSE(hit.text.cut || hit.text.bomb);
        }
    }
    // In candidate order (the listing's), whatever thread finished first.
    EXPECT_EQ(orders[0], orders[1]);
    std::sort(orders[0].begin(), orders[0].end());
    EXPECT_EQ(orders[0], (std::vector<std::string>{"mixed.cab CAB", "mixed.lzh LHA",
                                                   "mixed.zip ZIP", "mixed_sfx.exe ZIP-SFX"}));

    // Case only when asked; a wave dash of either table; the second byte of
    // 表 and 能 in Shift-JIS is no backslash.
    EXPECT_TRUE(Search("mervokword").archives.empty());
    const SearchResult folded = Search("mervokword", true);
    ASSERT_EQ(folded.archives.size(), 4U);
    EXPECT_EQ(folded.archives[0].text.matches.size(), 6U);
    EXPECT_EQ(folded.archives[0].text.matches[0].line, 3U);
    EXPECT_EQ(Search("～").archives.size(), 4U);
    EXPECT_TRUE(Search("\\").archives.empty());
    EXPECT_TRUE(Search("見つからない").archives.empty());
}

// Hostile and awkward archives are bounded and reported, never fatal: the
// bomb stops at the cap before its word, the encrypted document is counted,
// and the run's cap cuts the matches in candidate order.
TEST_F(TextSearchTest, BombsEncryptionAndCapsAreReportedAndAbortStopsTheReading) {
    const auto query = TextQuery::Make("MERVOKWORD", false);
    const CancelToken running;
    const TextFindings bomb = FindTextInArchive(top.Folder() + "bomb.zip", ArchiveKind::Zip,
                                                "*.TXT", *query, limits, false, running);
    EXPECT_TRUE(bomb.bomb);
    EXPECT_TRUE(bomb.matches.empty());
    TextSearchLimits roomy = limits;
    roomy.inflatedRatio = 2000;
    const TextFindings read = FindTextInArchive(top.Folder() + "bomb.zip", ArchiveKind::Zip,
                                                "*.TXT", *query, roomy, false, running);
    EXPECT_FALSE(read.bomb);
    ASSERT_EQ(read.matches.size(), 1U);
    EXPECT_EQ(read.matches[0].line, 350001U);
    EXPECT_EQ(read.matches[0].column, 0U);  // the line began too far back

    const TextFindings encrypted = FindTextInArchive(
        top.Folder() + "encrypted.zip", ArchiveKind::Zip, "*.TXT", *query, limits, false, running);
    EXPECT_EQ(encrypted.encrypted, 1U);
    EXPECT_EQ(encrypted.documents, 0U);

    CancelToken aborted;
    aborted.Cancel();
    const TextFindings stopped = FindTextInArchive(top.Folder() + "mixed.zip", ArchiveKind::Zip,
                                                   "*.TXT", *query, limits, false, aborted);
    EXPECT_EQ(stopped.documents, 0U);
    const TextFindings first = FindTextInArchive(top.Folder() + "mixed.zip", ArchiveKind::Zip,
                                                 "*.TXT", *query, limits, true, running);
    EXPECT_EQ(first.matches.size(), 1U);

    limits.matchesPerRun = 8;
    const SearchResult cut = Search("MERVOKWORD");
    ASSERT_EQ(cut.archives.size(), 4U);
    std::vector<std::string> kept;
    for (const FoundArchive& hit : cut.archives) {
        kept.push_back(std::to_string(hit.text.matches.size()) + (hit.text.cut ? "+" : ""));
    }
    EXPECT_EQ(kept, (std::vector<std::string>{"6", "2+", "0+", "0+"}));
    EXPECT_EQ(cut.unread.bombs, std::vector<std::string>{top.Folder() + "bomb.zip"});
    EXPECT_EQ(cut.unread.encrypted, 1U);
}

}  // namespace
}  // namespace mervok
