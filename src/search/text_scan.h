#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/text_decoding.h"
#include "app/text_encoding.h"

namespace mervok {

// One place in a document where the text was found.
struct TextMatch {
    std::uint64_t line = 0;  // from 1; a line ends at LF (CR LF counts once)
    // From 1, in characters; 0 when the line began more than
    // TextScan::kLookBehind bytes before the match.
    std::uint64_t column = 0;
    // The matching line decoded to UTF-8, cut to about kSnippetChars
    // characters around the match, line end left off.
    std::string snippet;
    std::size_t snippetMatchOffset = 0;  // where the match lies in snippet, in bytes
    std::size_t snippetMatchLength = 0;
};

inline constexpr std::size_t kSnippetChars = 200;

// The text a search looks for, in the forms of each encoding a document may
// be in: every character with the characters a find treats as it (its
// CP932/JIS pair's other one, and with ignoreCase the other case of an ASCII
// or full-width Latin letter), each encoded by every table of the encoding.
class TextQuery {
  public:
    // One character of the query in one encoding: its accepted forms.
    using Forms = std::vector<std::string>;
    struct Pattern {
        std::vector<Forms> characters;  // empty when a character has no form
        std::string literal;            // the whole form when each character has one
        std::size_t maxLength = 0;      // bytes of the longest form of the whole
    };

    // Nothing when text is empty or not valid UTF-8.
    static std::optional<TextQuery> Make(std::string_view text, bool ignoreCase);

    const std::string& Text() const { return mText; }
    bool IgnoreCase() const { return mIgnoreCase; }
    // The pattern of an encoding; ISO-2022-JP is scanned decoded, as UTF-8.
    const Pattern& For(TextEncoding encoding) const;

    // False only when bytes cannot hold the text in any encoding: none of
    // its whole forms is among them, nor, once escapes and shifts are taken
    // out, its seven-bit ISO-2022-JP form. Always true when a form has
    // alternatives (-i, a variant pair).
    bool MayOccurIn(std::string_view bytes) const;

  private:
    std::string mText;
    bool mIgnoreCase = false;
    std::vector<std::string> mLiterals;  // of every encoding the text can occur in
    bool mAlternatives = false;          // some encoding has no literal but can match
    std::string mJisLiteral;             // the EUC-JP literal's bytes less 0x80, leads left out
    std::array<Pattern, 5> mPatterns;    // UTF-8, UTF-16LE, UTF-16BE, Shift-JIS, EUC-JP
};

// Scans one document, handed in pieces of any size, for a query. The encoding
// is detected on the document's first 64 KiB; a match counts only where it
// starts on a character boundary of that encoding (never on the second byte
// of a Shift-JIS or EUC-JP pair, never on an odd byte of UTF-16).
// ISO-2022-JP is decoded as it comes and scanned as UTF-8. Only the lines
// that match are decoded. Memory stays at kWholeBytes and a piece whatever
// the document's size.
class TextScan {
  public:
    // A document that ends within this many bytes is checked for the text's
    // forms first: without any, neither its encoding is told nor is it
    // scanned (most documents do not say the text, and telling costs most).
    static constexpr std::size_t kWholeBytes = 256 * 1024;

    // Bytes kept before the place scanned, for the snippet and the column.
    static constexpr std::size_t kLookBehind = 8 * 1024;

    // Keeps at most keep matches; finding one more marks the scan cut and
    // ends it. With stopAtFirst the scan ends at its first match.
    TextScan(const TextQuery& query, std::size_t keep, bool stopAtFirst = false);
    ~TextScan();
    TextScan(const TextScan&) = delete;
    TextScan& operator=(const TextScan&) = delete;

    void Feed(std::string_view piece);
    // The document has ended.
    void Finish();
    // Nothing more is needed: the first match (stopAtFirst) or one past keep.
    bool Done() const;

    // The document's encoding; valid once it has matches.
    TextEncoding Encoding() const { return mEncoding; }
    const std::vector<TextMatch>& Matches() const { return mMatches; }
    std::vector<TextMatch> TakeMatches() { return std::move(mMatches); }
    // More matches than keep were found.
    bool Cut() const { return mCut; }

  private:
    class Scanner;
    void Start();

    const TextQuery& mQuery;
    std::size_t mKeep;
    bool mStopAtFirst;
    TextEncoding mEncoding = TextEncoding::Utf8;
    std::string mSample;  // the first bytes, until the encoding is known
    std::unique_ptr<Scanner> mScanner;
    std::unique_ptr<TextDecoder> mDecoder;  // ISO-2022-JP only
    std::string mDecoded;
    std::vector<TextMatch> mMatches;
    bool mCut = false;
};

}  // namespace mervok
