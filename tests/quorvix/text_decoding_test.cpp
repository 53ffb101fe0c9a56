#include "app/text_decoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "quorvix/archive_contents.h"
#include "quorvix/document_rule.h"
#include "support/files.h"

namespace mervok::quorvix {
namespace {

using testing::ReadBytes;

std::string Text(const std::string& name) {
    return ReadBytes(testing::Fixture("quorvix/texts/" + name));
}

constexpr std::string_view kManual =
    "日本語の説明書です。\n\t第１章　はじめに\nこのソフトウェアは、書庫の中の文書を表示します。\n";

TEST(TextDecodingTest, EveryEncodingAndLineEndIsFoundAndRead) {
    const struct {
        const char* file;
        TextEncoding encoding;
        std::string_view text;
    } cases[] = {
        {"sjis_crlf.txt", TextEncoding::ShiftJis, kManual},
        {"eucjp_lf.txt", TextEncoding::EucJp, kManual},
        {"iso2022jp_crlf.txt", TextEncoding::Iso2022Jp, kManual},
        {"utf8_lf.txt", TextEncoding::Utf8, kManual},
        {"utf8_bom_cr.txt", TextEncoding::Utf8, kManual},
        {"utf16le_bom_crlf.txt", TextEncoding::Utf16Le, kManual},
        {"utf16be_bom_crlf.txt", TextEncoding::Utf16Be, kManual},
        {"utf16le_crlf.txt", TextEncoding::Utf16Le, kManual},
        {"utf16be_lf.txt", TextEncoding::Utf16Be, kManual},
        {"halfwidth_kana_sjis.txt", TextEncoding::ShiftJis, "ｶﾀｶﾅﾉﾃｷｽﾄ\n"},
        {"hiragana_eucjp.txt", TextEncoding::EucJp, "あいうえお、かきくけこ。\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string bytes = Text(c.file);
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(DetectEncoding(bytes), c.encoding);
        const DecodedText text = DecodeText(bytes);
        EXPECT_EQ(text.encoding, c.encoding);
        EXPECT_EQ(text.utf8, c.text);
        EXPECT_EQ(text.invalidSequences, 0u);
        // The menu's choice wins over what the bytes look like.
        EXPECT_EQ(DecodeText(bytes, c.encoding).utf8, c.text);
        const TextEncoding other =
            c.encoding == TextEncoding::EucJp ? TextEncoding::ShiftJis : TextEncoding::EucJp;
        EXPECT_EQ(DecodeText(bytes, other).encoding, other);
        EXPECT_NE(DecodeText(bytes, other).utf8, c.text);
        // Handed over in pieces cut anywhere (in a character, an escape, a
        // CR LF, the byte-order mark), the text reads as the whole.
        for (const std::size_t step : {1, 2, 3, 7}) {
            TextDecoder decoder(c.encoding);
            std::string pieces;
            std::size_t invalid = 0;
            for (std::size_t at = 0; at < bytes.size(); at += step) {
                invalid += decoder.Decode(std::string_view(bytes).substr(at, step),
                                          at + step >= bytes.size(), pieces);
            }
            EXPECT_EQ(pieces, c.text) << step;
            EXPECT_EQ(invalid, 0u);
        }
        // These files name themselves after their encoding.
        EXPECT_TRUE(KindOf(c.file, bytes) == EntryKind::Text);
    }
    // The same JIS codes give the same characters from EUC-JP as from
    // ISO-2022-JP (〜−‖¢£¬), and the NEC and IBM rows stay readable in EUC-JP.
    const std::string jis = "〜−‖¢£¬\n";
    EXPECT_EQ(DecodeText("\x1B$B!A!]!B!q!r\"L\x1B(B\n", TextEncoding::Iso2022Jp).utf8, jis);
    EXPECT_EQ(
        DecodeText("\xA1\xC1\xA1\xDD\xA1\xC2\xA1\xF1\xA1\xF2\xA2\xCC\n", TextEncoding::EucJp).utf8,
        jis);
    const DecodedText nec = DecodeText("\xAD\xA1\xAD\xE2\x8F\xF3\xF3\xFF", TextEncoding::EucJp);
    EXPECT_EQ(nec.utf8, "①№ⅰ\xEF\xBF\xBD");
    EXPECT_EQ(nec.invalidSequences, 1u);
    TextDecoder byByte(TextEncoding::EucJp);
    std::string pieces;
    for (const char c : std::string_view("\xAD\xA1\xAD\xE2\x8F\xF3\xF3\xFF")) {
        byByte.Decode(std::string_view(&c, 1), c == '\xFF', pieces);
    }
    EXPECT_EQ(pieces, nec.utf8);
    // A byte that no reading knows becomes one replacement and no more.
    const DecodedText broken = DecodeText(Text("broken_sjis.txt"), TextEncoding::ShiftJis);
    EXPECT_EQ(broken.utf8, "説明\xEF\xBF\xBD書");
    EXPECT_EQ(broken.invalidSequences, 1u);
    // A UTF-8 sequence cut where the read stopped; an empty text.
    EXPECT_EQ(DecodeText("ab\xE6\x97", TextEncoding::Utf8).utf8, "ab\xEF\xBF\xBD");
    // The five-byte form UTF-8 no longer has is five bad bytes, not passed on.
    const DecodedText five = DecodeText("a\xFA\xBA\xBA\xBA\xBA", TextEncoding::Utf8);
    EXPECT_TRUE(IsUtf8(five.utf8));
    EXPECT_EQ(five.invalidSequences, 5u);
    EXPECT_EQ(DecodeText("").utf8, "");
    // Plain ASCII is never taken for UTF-16, however many of its bytes fall
    // where the kanji of UTF-16 have their high bytes.
    EXPECT_EQ(DetectEncoding("readme_for_the_configuration_of_everything_in_lowercase\n"),
              TextEncoding::Utf8);
}

TEST(TextDecodingTest, DeclaredCharsets) {
    const struct {
        std::string_view page;
        std::optional<TextEncoding> declared;
    } pages[] = {
        {"<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=x-sjis\">",
         TextEncoding::ShiftJis},
        {"<head><meta charset='EUC-JP'>", TextEncoding::EucJp},
        {"<meta name=x><meta charset=utf-8>", TextEncoding::Utf8},
        {"<meta charset=\"koi8-r\">", std::nullopt},
        {"<p>charset=utf-8</p>", std::nullopt},
    };
    for (const auto& p : pages) {
        EXPECT_EQ(DeclaredHtmlEncoding(p.page), p.declared) << p.page;
    }
    EXPECT_EQ(EncodingFromName("Windows-31J"), TextEncoding::ShiftJis);
    EXPECT_EQ(EncodingFromName("ISO-2022-JP"), TextEncoding::Iso2022Jp);
}

// A page naming thousands of files the archive lacks: each look-up folds
// the name asked for, never the archive's names again.
TEST(EntryRuleTest, PagesFindEntriesByNameThroughAnIndexBuiltOncePerArchive) {
    testing::TempFolder folder;
    constexpr std::size_t kEntries = 400, kMissing = 1000;
    for (std::size_t i = 0; i < kEntries; ++i) {
        folder.Write("tree/Img/Pic" + std::to_string(i) + ".png");
    }
    const std::string archive = folder.File("pages.zip");
    ASSERT_EQ(
        std::system(("cd '" + folder.File("tree") + "' && zip -qr '" + archive + "' .").c_str()),
        0);
    OpenError error;
    const auto contents = ArchiveContents::Open(archive, "*.TXT", error);
    ASSERT_TRUE(contents);
    ASSERT_EQ(contents->Items().size(), kEntries);
    const auto found = contents->Find("./IMG\\pic7.PNG");
    ASSERT_TRUE(found);
    EXPECT_EQ(contents->Items()[*found].displayName, "Img/Pic7.png");
    EXPECT_EQ(contents->Find("/img/pic399.png"), contents->Find("img/PIC399.png"));
    for (std::size_t i = 0; i < kMissing; ++i) {
        EXPECT_FALSE(contents->Find("img/missing" + std::to_string(i) + ".png"));
    }
    EXPECT_EQ(contents->NamesFolded(), kEntries + kMissing + 3);
}

TEST(EntryRuleTest, NamesKindsAndWhatNeverRuns) {
    // Names as stored: UTF-8 kept, anything else read as Shift-JIS.
    EXPECT_EQ(DisplayName("doc/\xE8\xAA\xAC\xE6\x98\x8E.txt"), "doc/説明.txt");
    EXPECT_EQ(DisplayName("\x90\xE0\x96\xBE\x8F\x91.TXT"), "説明書.TXT");
    EXPECT_EQ(DisplayName("a\nb\x01.txt"), "a?b?.txt");
    const struct {
        std::string_view stored, written;
    } exports[] = {
        {"doc/説明書.TXT", "説明書.TXT"},
        {"../../outside.doc", "outside.doc"},
        {"/absolute/rooted.doc", "rooted.doc"},
        {"a\\b\\c:d.doc", "cd.doc"},
        {"doc/..", "entry"},
        {"doc/", "entry"},
        {std::string_view("x\0y.txt", 7), "xy.txt"},
        // What would hide the real extension or reorder the name goes.
        {"launcher.desktop. \xC2\xA0. ", "launcher.desktop"},
        {"spoof\u202Egnp.exe", "spoofgnp.exe"},
        {"a\x7F\xC2\x9B\u2067\u200Fb\u2069.txt", "ab.txt"},
        {"...", "entry"},
    };
    for (const auto& e : exports) {
        EXPECT_EQ(ExportFileName(e.stored), e.written) << e.stored;
    }
    const std::string longName = std::string(300, 'a') + "あ.pdf";
    EXPECT_EQ(ExportFileName(longName), std::string(196, 'a') + ".pdf");

    const std::string utf16 = Text("utf16le_crlf.txt");
    const struct {
        std::string_view name, head;
        EntryKind kind;
        bool executable;
    } cases[] = {
        {"README.TXT", "Plain text\r\n", EntryKind::Text, false},
        {"OLD.DOC", "\x93\xFA\x96{\x8C\xEA\r\n", EntryKind::Text, false},
        {"utf16.txt", utf16, EntryKind::Text, false},
        {"page.HTM", "<html>", EntryKind::Html, false},
        {"doc/page.html", "<html>", EntryKind::Html, false},
        {"MANUAL.DOC", std::string_view("\xD0\xCF\x11\xE0\0\0\0\0", 8), EntryKind::Binary, false},
        {"manual.pdf", "%PDF-1.4\n", EntryKind::Binary, false},
        {"zeros.txt", std::string_view("\0\0\0\0\0\0\0\0", 8), EntryKind::Binary, false},
        {"controls.txt", "\x01\x02\x03\x04text", EntryKind::Binary, false},
        {"SETUP.EXE", "MZ\x90", EntryKind::Binary, true},
        {"setup.dat", "MZ\x90", EntryKind::Binary, true},
        {"tool", "\177ELF\x02\x01", EntryKind::Binary, true},
        {"install.sh", "#!/bin/sh\necho\n", EntryKind::Text, true},
        {"run.BAT", "@echo off\r\n", EntryKind::Text, true},
        {"launch.desktop", "[Desktop Entry]\n", EntryKind::Text, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KindOf(c.name, c.head), c.kind) << c.name;
        EXPECT_EQ(IsExecutable(c.name, c.head), c.executable) << c.name;
    }
    EXPECT_EQ(DocumentWildcardsFor("HLP  DOC"), "*.TXT *.HLP *.DOC");
    EXPECT_EQ(DocumentWildcardsFor("   "), "*.TXT");
}

}  // namespace
}  // namespace mervok::quorvix
