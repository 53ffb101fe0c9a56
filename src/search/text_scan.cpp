#include "search/text_scan.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "app/jis_variants.h"
#include "app/text_encoding.h"
#include "app/text_util.h"

namespace mervok {

namespace {

// The bytes a document's encoding is detected on: 16 KiB tell Japanese text
// apart (and the detector costs the most of a scan), 64 KiB, the viewer's
// sample, when the first 16 KiB are plain ASCII and tell nothing.
constexpr std::size_t kDetectBytes = 16 * 1024;
constexpr std::size_t kPlainDetectBytes = 64 * 1024;

// No byte that would tell an encoding: none above 0x7F, no NUL, no escape.
bool PlainAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x80 && b != 0 && b != 0x1B;
    });
}
// Bytes kept after the place scanned, so that a match's line can be shown
// past it.
constexpr std::size_t kLookAhead = 2048;
// The most bytes of a line decoded after a match.
constexpr std::size_t kAfterBytes = 1024;
// The bytes scanned before the kept ones are dropped: a move per this many.
constexpr std::size_t kDropStep = 32 * 1024;

std::size_t PatternIndex(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf16Le:
            return 1;
        case TextEncoding::Utf16Be:
            return 2;
        case TextEncoding::ShiftJis:
            return 3;
        case TextEncoding::EucJp:
            return 4;
        case TextEncoding::Utf8:
        case TextEncoding::Iso2022Jp:
            break;
    }
    return 0;
}

constexpr TextEncoding kScannedEncodings[] = {TextEncoding::Utf8, TextEncoding::Utf16Le,
                                              TextEncoding::Utf16Be, TextEncoding::ShiftJis,
                                              TextEncoding::EucJp};

std::size_t CountChars(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The byte offset of the last count characters of utf8.
std::size_t LastChars(std::string_view utf8, std::size_t count) {
    std::size_t at = utf8.size();
    for (std::size_t seen = 0; at > 0 && seen < count;) {
        --at;
        seen += (static_cast<unsigned char>(utf8[at]) & 0xC0) != 0x80;
    }
    return at;
}

// The byte offset just past the first count characters of utf8.
std::size_t FirstChars(std::string_view utf8, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t seen = 0; at < utf8.size(); ++at) {
        if ((static_cast<unsigned char>(utf8[at]) & 0xC0) != 0x80 && seen++ == count) {
            break;
        }
    }
    return at;
}

// Every character a find treats as c, c first: its pair's other character
// and, with ignoreCase, the other case of an ASCII or full-width Latin letter.
std::vector<char32_t> Alternatives(char32_t c, bool ignoreCase) {
    std::vector<char32_t> alternatives{c};
    const auto add = [&](char32_t other) {
        if (std::find(alternatives.begin(), alternatives.end(), other) == alternatives.end()) {
            alternatives.push_back(other);
        }
    };
    add(JisVariantPartner(c));
    if (ignoreCase) {
        if ((c >= U'A' && c <= U'Z') || (c >= U'\uFF21' && c <= U'\uFF3A')) {
            add(c + 0x20);
        } else if ((c >= U'a' && c <= U'z') || (c >= U'\uFF41' && c <= U'\uFF5A')) {
            add(c - 0x20);
        }
    }
    return alternatives;
}

}  // namespace

std::optional<TextQuery> TextQuery::Make(std::string_view text, bool ignoreCase) {
    std::vector<char32_t> characters;
    for (std::string_view rest = text; !rest.empty();) {
        const auto character = DecodeUtf8(rest);
        if (!character) {
            return std::nullopt;
        }
        characters.push_back(character->codePoint);
        rest.remove_prefix(character->length);
    }
    if (characters.empty()) {
        return std::nullopt;
    }
    TextQuery query;
    query.mText = std::string(text);
    query.mIgnoreCase = ignoreCase;
    for (const TextEncoding encoding : kScannedEncodings) {
        Pattern& pattern = query.mPatterns[PatternIndex(encoding)];
        bool single = true;
        for (const char32_t c : characters) {
            Forms forms;
            for (const char32_t alternative : Alternatives(c, ignoreCase)) {
                std::string utf8;
                AppendUtf8(utf8, alternative);
                for (std::string& form : EncodeText(utf8, encoding)) {
                    if (!form.empty() &&
                        std::find(forms.begin(), forms.end(), form) == forms.end()) {
                        forms.push_back(std::move(form));
                    }
                }
            }
            if (forms.empty()) {
                pattern = Pattern{};  // the text cannot occur in this encoding
                break;
            }
            single = single && forms.size() == 1;
            std::size_t longest = 0;
            for (const std::string& form : forms) {
                longest = std::max(longest, form.size());
            }
            pattern.maxLength += longest;
            if (single) {
                pattern.literal += forms.front();
            }
            pattern.characters.push_back(std::move(forms));
        }
        if (!single) {
            pattern.literal.clear();
        }
        if (!pattern.literal.empty()) {
            if (std::find(query.mLiterals.begin(), query.mLiterals.end(), pattern.literal) ==
                query.mLiterals.end()) {
                query.mLiterals.push_back(pattern.literal);
            }
        } else if (!pattern.characters.empty()) {
            query.mAlternatives = true;
        }
    }
    // ISO-2022-JP writes what EUC-JP writes less its high bits, without the
    // single shifts' leads.
    for (const char c : query.For(TextEncoding::EucJp).literal) {
        const auto b = static_cast<unsigned char>(c);
        if (b != 0x8E && b != 0x8F) {
            query.mJisLiteral += static_cast<char>(b & 0x7F);
        }
    }
    return query;
}

bool TextQuery::MayOccurIn(std::string_view bytes) const {
    const auto holds = [](std::string_view in, const std::string& literal) {
        return ::memmem(in.data(), in.size(), literal.data(), literal.size()) != nullptr;
    };
    if (mAlternatives || std::any_of(mLiterals.begin(), mLiterals.end(),
                                     [&](const auto& literal) { return holds(bytes, literal); })) {
        return true;
    }
    const auto has = [&](char c) { return std::memchr(bytes.data(), c, bytes.size()) != nullptr; };
    const bool shifts = has('\x0E') || has('\x0F');
    if (!shifts && !has('\x1B')) {
        return false;
    }
    // ISO-2022-JP: an escape or a shift may stand anywhere, even inside the
    // text; without them, its characters' bytes follow each other.
    if (mJisLiteral.empty()) {
        return true;  // a character EUC-JP lacks may still come from JIS X 0213
    }
    std::string plain;
    plain.reserve(bytes.size());
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    while (at < end) {
        const char* next =
            shifts ? std::find_if(at, end,
                                  [](char c) { return c == '\x1B' || c == '\x0E' || c == '\x0F'; })
                   : static_cast<const char*>(std::memchr(at, '\x1B', end - at));
        next = next ? next : end;
        plain.append(at, next);
        at = next + 1;
        if (next < end && *next == '\x1B') {
            while (at < end && *at >= 0x20 && *at <= 0x2F) {
                ++at;  // intermediate bytes
            }
            ++at;  // the final byte
        }
    }
    return holds(plain, mJisLiteral);
}

const TextQuery::Pattern& TextQuery::For(TextEncoding encoding) const {
    return mPatterns[PatternIndex(encoding)];
}

// Scans the bytes of one encoding (ISO-2022-JP arrives decoded, as UTF-8).
// Offsets named "at" are from the document's start; the buffer holds the
// bytes from mBase on.
class TextScan::Scanner {
  public:
    Scanner(const TextQuery::Pattern& pattern, TextEncoding encoding, TextScan& owner)
        : mPattern(pattern), mEncoding(encoding), mOwner(owner) {
        if (!pattern.characters.empty()) {
            for (const std::string& form : pattern.characters.front()) {
                mFirstBytes[static_cast<unsigned char>(form.front())] = true;
            }
        }
    }

    void Feed(std::string_view piece, bool last) {
        if (mPattern.characters.empty() || mOwner.Done()) {
            return;
        }
        mBuffer.append(piece);
        const std::uint64_t end = mBase + mBuffer.size();
        const std::uint64_t ahead = std::max(mPattern.maxLength, kLookAhead);
        const std::uint64_t limit = last ? end : (end > ahead ? end - ahead : 0);
        if (limit > mScanned) {
            Scan(limit);
        }
        const std::uint64_t keepFrom =
            mScanned > kLookBehind ? (mScanned - kLookBehind) & ~1ULL : 0;
        if (!last && keepFrom >= mBase + kDropStep) {
            Drop(keepFrom);
        }
    }

  private:
    unsigned Byte(std::uint64_t at) const {
        return static_cast<unsigned char>(mBuffer[at - mBase]);
    }
    bool Wide() const { return IsUtf16(mEncoding); }

    // A byte that may be the first or the second of a double-byte character.
    bool Ambiguous(unsigned b) const {
        if (mEncoding == TextEncoding::ShiftJis) {
            return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        }
        return b >= 0xA1 && b <= 0xFE;
    }

    // Bytes of the Shift-JIS or EUC-JP character starting at at.
    std::size_t CharLength(std::uint64_t at) const {
        const unsigned b = Byte(at);
        if (mEncoding == TextEncoding::EucJp) {
            return b == 0x8F ? 3 : (b == 0x8E || Ambiguous(b)) ? 2 : 1;
        }
        return Ambiguous(b) ? 2 : 1;
    }

    // The last character boundary at or before at, for Shift-JIS and EUC-JP,
    // where a byte alone does not tell. From at back to the first byte that
    // can only end a character (or to the boundary known last), the bytes
    // pair up.
    std::uint64_t LastBoundary(std::uint64_t at) const {
        std::uint64_t i = at;
        while (i > mBoundary && Ambiguous(Byte(i - 1))) {
            --i;
        }
        std::uint64_t start = mBoundary;
        if (i > mBoundary) {
            const std::uint64_t x = i - 1;
            const unsigned b = Byte(x);
            const bool euc = mEncoding == TextEncoding::EucJp;
            start = x + 1 + (euc && b == 0x8E ? 1 : 0) + (euc && b == 0x8F ? 2 : 0);
            if (start > at) {
                return x;  // inside the single-shift character at x
            }
        }
        return start + (at - start) / 2 * 2;
    }

    bool AtBoundary(std::uint64_t at) {
        if (Wide()) {
            return at % 2 == 0;
        }
        if (mEncoding != TextEncoding::ShiftJis && mEncoding != TextEncoding::EucJp) {
            return true;  // a UTF-8 form never starts with a continuation byte
        }
        if (at < mBoundary) {
            return false;
        }
        mBoundary = LastBoundary(at);
        return mBoundary == at;
    }

    // The length of the match starting at at, 0 for none.
    std::size_t MatchAt(std::uint64_t at) const {
        const std::string_view data(mBuffer);
        std::size_t i = at - mBase;
        for (const TextQuery::Forms& forms : mPattern.characters) {
            const auto form = std::find_if(forms.begin(), forms.end(), [&](const std::string& f) {
                return data.substr(i).starts_with(f);
            });
            if (form == forms.end()) {
                return 0;
            }
            i += form->size();
        }
        return i - (at - mBase);
    }

    // Looks for matches starting before limit.
    void Scan(std::uint64_t limit) {
        const char* data = mBuffer.data();
        const std::size_t size = mBuffer.size();
        const std::size_t end = limit - mBase;
        std::size_t i = mScanned - mBase;
        const std::string& literal = mPattern.literal;
        while (i < end && !mOwner.Done()) {
            std::size_t at = 0;
            std::size_t length = 0;
            if (!literal.empty()) {
                const std::size_t span = std::min(size, end + literal.size() - 1) - i;
                const void* hit = ::memmem(data + i, span, literal.data(), literal.size());
                if (!hit) {
                    i = end;
                    break;
                }
                at = static_cast<const char*>(hit) - data;
                length = literal.size();
            } else {
                at = i;
                while (at < end && !mFirstBytes[static_cast<unsigned char>(data[at])]) {
                    ++at;
                }
                if (at == end) {
                    i = end;
                    break;
                }
                length = MatchAt(mBase + at);
                if (length == 0) {
                    i = at + 1;
                    continue;
                }
            }
            if (!AtBoundary(mBase + at)) {
                i = at + 1;
                continue;
            }
            Record(mBase + at, length);
            i = at + length;
        }
        mScanned = std::max(mScanned, mBase + i);
    }

    // Counts the line ends before at.
    void CountLines(std::uint64_t at) {
        const char* data = mBuffer.data();
        const std::uint64_t start = std::max(mLinesAt, mBase);
        if (!Wide() && start < at) {
            const char* from = data + (start - mBase);
            const std::size_t size = at - start;
            const auto count = static_cast<std::uint64_t>(std::count(from, from + size, '\n'));
            if (count > 0) {
                mLine += count;
                mLineStart =
                    mBase + (static_cast<const char*>(::memrchr(from, '\n', size)) - data) + 1;
            }
            mLinesAt = at;
            return;
        }
        for (std::uint64_t from = start; from < at;) {
            const void* hit = std::memchr(data + (from - mBase), '\n', at - from);
            if (!hit) {
                break;
            }
            const std::uint64_t lf = mBase + (static_cast<const char*>(hit) - data);
            from = lf + 1;
            bool lineEnd = true;
            if (mEncoding == TextEncoding::Utf16Le) {
                lineEnd = lf % 2 == 0 && lf + 1 < at && Byte(lf + 1) == 0;
            } else if (mEncoding == TextEncoding::Utf16Be) {
                lineEnd = lf % 2 == 1 && Byte(lf - 1) == 0;
            }
            if (lineEnd) {
                ++mLine;
                mLineStart = lf + (mEncoding == TextEncoding::Utf16Le ? 2 : 1);
            }
        }
        mLinesAt = std::max(mLinesAt, at);
    }

    // Where the line that goes on at from ends (its LF), limit at the most.
    std::uint64_t LineEnd(std::uint64_t from, std::uint64_t limit) const {
        for (std::uint64_t at = from; at < limit; ++at) {
            if (Byte(at) != '\n') {
                continue;
            }
            if (mEncoding == TextEncoding::Utf16Le &&
                (at % 2 != 0 || at + 1 >= limit || Byte(at + 1) != 0)) {
                continue;
            }
            if (mEncoding == TextEncoding::Utf16Be) {
                if (at % 2 != 1 || Byte(at - 1) != 0) {
                    continue;
                }
                return at - 1;
            }
            return at;
        }
        return limit;
    }

    // The first character boundary at or after from, at most at (a boundary).
    std::uint64_t FirstBoundary(std::uint64_t from, std::uint64_t at) const {
        if (Wide()) {
            return from + from % 2;
        }
        if (mEncoding != TextEncoding::ShiftJis && mEncoding != TextEncoding::EucJp) {
            while (from < at && (Byte(from) & 0xC0) == 0x80) {
                ++from;
            }
            return from;
        }
        for (std::uint64_t i = from; i < at; ++i) {
            if (!Ambiguous(Byte(i))) {
                const unsigned b = Byte(i);
                const bool euc = mEncoding == TextEncoding::EucJp;
                return std::min(at,
                                i + 1 + (euc && b == 0x8E ? 1 : 0) + (euc && b == 0x8F ? 2 : 0));
            }
        }
        return at - (at - from) / 2 * 2;
    }

    // The last character boundary at or before limit, going on from from (a
    // boundary).
    std::uint64_t LastBoundaryFrom(std::uint64_t from, std::uint64_t limit) const {
        if (Wide()) {
            return limit - (limit - from) % 2;
        }
        if (mEncoding != TextEncoding::ShiftJis && mEncoding != TextEncoding::EucJp) {
            const std::uint64_t end = mBase + mBuffer.size();
            while (limit > from && limit < end && (Byte(limit) & 0xC0) == 0x80) {
                --limit;
            }
            return limit;
        }
        std::uint64_t at = from;
        while (at < limit && at + CharLength(at) <= limit) {
            at += CharLength(at);
        }
        return at;
    }

    std::string Decode(std::uint64_t from, std::uint64_t to) const {
        std::string text =
            DecodeText(std::string_view(mBuffer).substr(from - mBase, to - from), mEncoding).utf8;
        std::replace(text.begin(), text.end(), '\n', ' ');
        return text;
    }

    void Record(std::uint64_t at, std::size_t length) {
        if (mOwner.mMatches.size() >= mOwner.mKeep) {
            mOwner.mCut = true;
            return;
        }
        CountLines(at);
        TextMatch match;
        match.line = mLine;
        const bool wholeLine = mLineStart >= mBase;
        const std::uint64_t from = wholeLine ? mLineStart : FirstBoundary(mBase, at);
        std::string before = Decode(from, at);
        if (wholeLine) {
            match.column = CountChars(before) + 1;
        }
        const std::uint64_t limit = std::min(mBase + mBuffer.size(), at + length + kAfterBytes);
        std::uint64_t afterEnd = LineEnd(at + length, limit);
        const std::uint64_t unit = Wide() ? 2 : 1;
        if (afterEnd < limit && afterEnd >= at + length + unit &&
            Byte(afterEnd - (mEncoding == TextEncoding::Utf16Le ? 2 : 1)) == '\r') {
            afterEnd -= unit;  // the CR of CR LF
        }
        std::string after = Decode(at + length, LastBoundaryFrom(at + length, afterEnd));
        before.erase(0, LastChars(before, kSnippetChars / 2));
        after.resize(FirstChars(after, kSnippetChars / 2));
        const std::string matched = Decode(at, at + length);
        match.snippet = before + matched + after;
        match.snippetMatchOffset = before.size();
        match.snippetMatchLength = matched.size();
        mOwner.mMatches.push_back(std::move(match));
    }

    // Forgets the bytes before at (counting their lines first).
    void Drop(std::uint64_t at) {
        CountLines(at);
        if ((mEncoding == TextEncoding::ShiftJis || mEncoding == TextEncoding::EucJp) &&
            mBoundary < at) {
            const std::uint64_t last = LastBoundary(at);
            mBoundary = last == at ? at : last + CharLength(last);
        }
        mBuffer.erase(0, at - mBase);
        mBase = at;
    }

    const TextQuery::Pattern& mPattern;
    TextEncoding mEncoding;
    TextScan& mOwner;
    std::array<bool, 256> mFirstBytes{};
    std::string mBuffer;
    std::uint64_t mBase = 0;      // the offset of the buffer's first byte
    std::uint64_t mScanned = 0;   // matches starting before this were looked for
    std::uint64_t mBoundary = 0;  // a character boundary known, at or after mBase
    std::uint64_t mLinesAt = 0;   // line ends before this were counted
    std::uint64_t mLine = 1;
    std::uint64_t mLineStart = 0;
};

TextScan::TextScan(const TextQuery& query, std::size_t keep, bool stopAtFirst)
    : mQuery(query), mKeep(keep), mStopAtFirst(stopAtFirst) {}

TextScan::~TextScan() = default;

bool TextScan::Done() const {
    return mCut || (mStopAtFirst && !mMatches.empty());
}

void TextScan::Start() {
    // The short sample ends at a line end, so that no character is cut.
    std::string_view head = std::string_view(mSample).substr(0, kDetectBytes);
    if (const std::size_t lf = head.rfind('\n'); lf != std::string_view::npos && lf > 0) {
        head = std::string_view(mSample).substr(
            0, lf + (lf + 1 < mSample.size() && mSample[lf + 1] == 0 ? 2 : 1));
    }
    mEncoding = DetectEncoding(PlainAscii(head) || head.size() < kDetectBytes / 2
                                   ? std::string_view(mSample).substr(0, kPlainDetectBytes)
                                   : head);
    const bool decoded = mEncoding == TextEncoding::Iso2022Jp;
    if (decoded) {
        mDecoder = std::make_unique<TextDecoder>(mEncoding);
    }
    const TextEncoding scanned = decoded ? TextEncoding::Utf8 : mEncoding;
    mScanner = std::make_unique<Scanner>(mQuery.For(scanned), scanned, *this);
    const std::string sample = std::move(mSample);
    mSample.clear();
    Feed(sample);
}

void TextScan::Feed(std::string_view piece) {
    if (Done()) {
        return;
    }
    if (!mScanner) {
        mSample.append(piece);
        if (mSample.size() >= kWholeBytes) {
            Start();
        }
        return;
    }
    if (mDecoder) {
        mDecoded.clear();
        mDecoder->Decode(piece, false, mDecoded);
        piece = mDecoded;
    }
    mScanner->Feed(piece, false);
}

void TextScan::Finish() {
    if (!mScanner) {
        if (!mQuery.MayOccurIn(mSample)) {
            mSample.clear();
            return;
        }
        Start();
    }
    if (mDecoder) {
        mDecoded.clear();
        mDecoder->Decode({}, true, mDecoded);
    }
    mScanner->Feed(mDecoded, true);
}

}  // namespace mervok
