// Finding a text in a document's bytes: every encoding, character
// boundaries, pieces, the caps.

#include "search/text_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mervok {
namespace {

using namespace std::string_literals;

struct Scanned {
    TextEncoding encoding;
    std::vector<TextMatch> matches;
    bool cut;
};

// Scans bytes handed in pieces of piece bytes.
Scanned Scan(std::string_view bytes, std::string_view text, bool ignoreCase = false,
             std::size_t piece = 1 << 20, std::size_t keep = 100) {
    const auto query = TextQuery::Make(text, ignoreCase);
    EXPECT_TRUE(query);
    TextScan scan(*query, keep);
    for (std::size_t at = 0; at < bytes.size() && !scan.Done(); at += piece) {
        scan.Feed(bytes.substr(at, piece));
    }
    scan.Finish();
    return {scan.Encoding(), scan.TakeMatches(), scan.Cut()};
}

std::string Encoded(std::string_view utf8, TextEncoding encoding) {
    const auto forms = EncodeText(utf8, encoding);
    EXPECT_FALSE(forms.empty()) << EncodingName(encoding);
    return forms.empty() ? "" : forms.front();
}

// One document written in every encoding (the JIS table's wave dash where the
// table has it), found by one query, in pieces cut anywhere.
TEST(TextScanTest, FindsTheTextInEveryEncodingWithItsLineColumnAndSnippet) {
    const std::string document =
        "# 設定\r\n"
        "この設定ファイルはＲＥＡＤＭＥ 〜 readme を参照。\r\n"
        "次の行です。\r\n"s;
    const struct {
        TextEncoding encoding;
        std::string bytes;
    } cases[] = {
        {TextEncoding::Utf8, document},
        {TextEncoding::ShiftJis, Encoded(document, TextEncoding::ShiftJis)},
        {TextEncoding::EucJp, Encoded(document, TextEncoding::EucJp)},
        {TextEncoding::Utf16Le, "\xFF\xFE"s + Encoded(document, TextEncoding::Utf16Le)},
        {TextEncoding::Utf16Be, "\xFE\xFF"s + Encoded(document, TextEncoding::Utf16Be)},
        {TextEncoding::Iso2022Jp, Encoded(document, TextEncoding::Iso2022Jp)},
    };
    for (const auto& [encoding, bytes] : cases) {
        for (const std::size_t piece : {1, 3, 7, 1 << 20}) {
            SCOPED_TRACE(std::string(EncodingName(encoding)) + " in pieces of " +
                         std::to_string(piece));
            const Scanned found = Scan(bytes, "設定ファイル", false, piece);
            EXPECT_EQ(found.encoding, encoding);
            const std::string shown = DecodeText(bytes, encoding).utf8;  // the table's wave dash
            const std::size_t lineStart = shown.find('\n') + 1;
            ASSERT_EQ(found.matches.size(), 1U);
            const TextMatch& match = found.matches[0];
            EXPECT_EQ(match.line, 2U);
            EXPECT_EQ(match.column, 3U);
            EXPECT_EQ(match.snippet,
                      shown.substr(lineStart, shown.find('\n', lineStart) - lineStart));
            EXPECT_EQ(match.snippet.substr(match.snippetMatchOffset, match.snippetMatchLength),
                      "設定ファイル");

            // Both wave dashes find the one the table wrote; case is ignored
            // only when asked, for full-width letters too.
            EXPECT_EQ(Scan(bytes, "～", false, piece).matches.size(), 1U);
            EXPECT_EQ(Scan(bytes, "〜", false, piece).matches.size(), 1U);
            EXPECT_EQ(Scan(bytes, "ReadMe", false, piece).matches.size(), 0U);
            const Scanned folded = Scan(bytes, "ReadMe", true, piece);
            ASSERT_EQ(folded.matches.size(), 1U);
            EXPECT_EQ(folded.matches[0].column, 19U);
            EXPECT_EQ(Scan(bytes, "ｒｅａｄｍｅ", true, piece).matches.size(), 1U);
            EXPECT_EQ(Scan(bytes, "設定", false, piece).matches.size(), 2U);
        }
    }
    // ISO-2022-JP may put an escape inside the text; a quick look at the
    // bytes before telling the encoding must not pass it over.
    const std::string escaped = "\x1B$B@_\x1B$BDj\x1B(B ZEBRA\x1B(BQUILL\r\n";
    EXPECT_EQ(Scan(escaped, "設定").matches.size(), 1U);
    EXPECT_EQ(Scan(escaped, "ZEBRAQUILL").matches.size(), 1U);
    EXPECT_EQ(Scan(escaped, "設定 ZEBRAQ").matches.size(), 1U);
}

// A byte of the query that is also the second byte of a double-byte
// character, or a pair across two characters, or an odd offset in UTF-16,
// is no match.
TEST(TextScanTest, MatchesOnlyOnCharacterBoundaries) {
    // 表 ソ 能 end in 0x5C, and Shift-JIS 'T' 'A' '@' are trail bytes of 僕 and others.
    const std::string sjis =
        Encoded("表示ソフトの能力と僕の仕様を確認。\r\n", TextEncoding::ShiftJis);
    for (const char* text : {"\\", "T", "@", "A", "a"}) {
        EXPECT_EQ(Scan(sjis, text, true).matches.size(), 0U) << text;
    }
    EXPECT_EQ(Scan(sjis + "C:\\TEMP@A\r\n", "\\").matches.size(), 1U);
    EXPECT_EQ(Scan(sjis + "C:\\TEMP@A\r\n", "t", true).matches.size(), 1U);

    // EUC-JP: で (A4 C7) then 出 (BD D0) hold 能 (C7 BD) across them.
    const std::string euc =
        Encoded("ここで出力します。ひらがなとカタカナ。\n", TextEncoding::EucJp);
    ASSERT_NE(euc.find("\xC7\xBD"), std::string::npos);
    EXPECT_EQ(Scan(euc, "能").matches.size(), 0U);
    EXPECT_EQ(Scan(euc + Encoded("能力\n", TextEncoding::EucJp), "能").matches.size(), 1U);

    // UTF-16LE: U+4120 U+3000 hold 'A' (41 00) at an odd offset.
    const std::string utf16 =
        "\xFF\xFE"s + Encoded("\u4120\u3000\u4120\u3000", TextEncoding::Utf16Le);
    EXPECT_EQ(Scan(utf16, "A").matches.size(), 0U);
    EXPECT_EQ(Scan(utf16 + "A\0"s, "A").matches.size(), 1U);

    // A run of characters whose both bytes may lead (E0 E1), longer than the
    // bytes a scan keeps, ends in E2 E0: the pair E1 E2 across the last two
    // is told from the real one only by the run's start.
    const std::string pair = "\xE1\xE2";
    std::string document = Encoded("ひらがな!\r\n", TextEncoding::ShiftJis);  // odd length
    for (std::size_t i = 0; i < 100000; ++i) {
        document += "\xE0\xE1";
    }
    document += "\xE2\xE0\r\n" + pair + "\r\n";
    const std::string text = DecodeText(pair, TextEncoding::ShiftJis).utf8;
    for (const std::size_t piece : {4093, 65536, 1 << 20}) {
        const Scanned found = Scan(document, text, false, piece);
        ASSERT_EQ(found.matches.size(), 1U) << piece;
        EXPECT_EQ(found.matches[0].line, 3U);
        EXPECT_EQ(found.matches[0].column, 1U);
    }
}

// Lines are counted across pieces however far the match lies, a long line's
// snippet is cut around the match, and the caps end the scan.
TEST(TextScanTest, CountsLinesFarDownCutsSnippetsAndStopsAtTheCaps) {
    std::string document;
    for (int i = 0; i < 20000; ++i) {
        document += "filler line of the manual\n";
    }
    document += std::string(5000, '-') + "needle" + std::string(5000, '=') + "\n";
    for (int i = 0; i < 5; ++i) {
        document += "needle\n";
    }
    const Scanned found = Scan(document, "needle", false, 1000, 3);
    ASSERT_EQ(found.matches.size(), 3U);
    EXPECT_TRUE(found.cut);
    EXPECT_EQ(found.matches[0].line, 20001U);
    EXPECT_EQ(found.matches[0].column, 5001U);
    EXPECT_EQ(found.matches[0].snippet,
              std::string(kSnippetChars / 2, '-') + "needle" + std::string(kSnippetChars / 2, '='));
    EXPECT_EQ(found.matches[2].line, 20003U);

    const Scanned all = Scan(document, "needle", false, 1000, 6);
    EXPECT_EQ(all.matches.size(), 6U);
    EXPECT_FALSE(all.cut);

    const auto query = TextQuery::Make("needle", false);
    TextScan first(*query, 100, true);
    first.Feed(document);
    EXPECT_TRUE(first.Done());
    EXPECT_EQ(first.Matches().size(), 1U);

    EXPECT_FALSE(TextQuery::Make("", false));
    EXPECT_FALSE(TextQuery::Make("\xFF", false));
}

}  // namespace
}  // namespace mervok
