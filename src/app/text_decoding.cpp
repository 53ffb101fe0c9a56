#include "app/text_decoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "app/text_util.h"

namespace mervok {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::size_t kSampleSize = 64 * 1024;

unsigned Byte(std::string_view bytes, std::size_t i) {
    return static_cast<unsigned char>(bytes[i]);
}

// What the viewer knows of each encoding, in the order of TextEncoding. iconv's
// names: CP932 reads the characters Windows adds (circled numbers, the NEC
// and IBM rows); EUC-JP is read with the standard JIS table, as ISO-2022-JP
// is, so that both give the same character for the same JIS code (〜, not
// the ～ of the Microsoft table), and only what that table refuses (the NEC
// and IBM rows) is read by the Microsoft variant; ISO-2022-JP-3 reads
// half-width kana after ESC ( I too.
struct EncodingFacts {
    std::string_view name;
    const char* iconvName;
    const char* fallbackName;  // for a sequence the first table refuses
    std::string_view bom;
};
constexpr EncodingFacts kFacts[] = {
    {"UTF-8", "UTF-8", nullptr, "\xEF\xBB\xBF"},   {"UTF-16LE", "UTF-16LE", nullptr, "\xFF\xFE"},
    {"UTF-16BE", "UTF-16BE", nullptr, "\xFE\xFF"}, {"Shift_JIS", "CP932", nullptr, {}},
    {"EUC-JP", "EUC-JP", "EUC-JP-MS", {}},         {"ISO-2022-JP", "ISO-2022-JP-3", nullptr, {}},
};
static_assert(std::size(kFacts) == std::size(kAllEncodings));

const EncodingFacts& Facts(TextEncoding encoding) {
    return kFacts[static_cast<std::size_t>(encoding)];
}

std::string_view Bom(TextEncoding encoding) {
    return Facts(encoding).bom;
}

// Valid UTF-8 throughout, a sequence cut by the end of the sample excepted.
bool IsUtf8Sample(std::string_view sample, bool cut) {
    for (std::size_t i = 0; i < sample.size();) {
        const auto character = DecodeUtf8(sample.substr(i));
        if (!character) {
            return cut && sample.size() - i < 4;
        }
        i += character->length;
    }
    return true;
}

// Invalid sequences and typical characters (kana and punctuation) of one
// reading of double-byte text.
struct Reading {
    std::size_t invalid = 0;
    std::size_t typical = 0;
};

Reading ReadAsShiftJis(std::string_view s) {
    Reading r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned b = Byte(s, i);
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) {
            continue;
        }
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        const unsigned t = i + 1 < s.size() ? Byte(s, i + 1) : 0;
        if (!lead || t < 0x40 || t == 0x7F || t > 0xFC) {
            ++r.invalid;
            continue;
        }
        // Punctuation, hiragana and katakana rows.
        r.typical += b == 0x81 || (b == 0x82 && t >= 0x9F) || (b == 0x83 && t <= 0x96);
        ++i;
    }
    return r;
}

Reading ReadAsEucJp(std::string_view s) {
    Reading r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned b = Byte(s, i);
        if (b < 0x80) {
            continue;
        }
        const unsigned t = i + 1 < s.size() ? Byte(s, i + 1) : 0;
        if (b == 0x8E && t >= 0xA1 && t <= 0xDF) {
            ++i;
        } else if (b == 0x8F && t >= 0xA1 && t <= 0xFE && i + 2 < s.size() &&
                   Byte(s, i + 2) >= 0xA1 && Byte(s, i + 2) <= 0xFE) {
            i += 2;
        } else if (b >= 0xA1 && b <= 0xFE && t >= 0xA1 && t <= 0xFE) {
            r.typical += b == 0xA1 || b == 0xA4 || b == 0xA5;
            ++i;
        } else {
            ++r.invalid;
        }
    }
    return r;
}

// UTF-16 by the NULs of ASCII characters: nearly all in one parity.
std::optional<TextEncoding> Utf16ByNuls(std::string_view s) {
    std::size_t even = 0;
    std::size_t odd = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\0') {
            ++(i % 2 == 0 ? even : odd);
        }
    }
    if (odd > 0 && even * 16 <= odd) {
        return TextEncoding::Utf16Le;
    }
    if (even > 0 && odd * 16 <= even) {
        return TextEncoding::Utf16Be;
    }
    return std::nullopt;
}

// UTF-16 of Japanese text, which has few NULs: nearly every high byte falls
// in the kana, CJK or full-width blocks (or is 0 before ASCII). Those blocks'
// high bytes include ASCII's letters, so a sample read as pairs of printable
// ASCII bytes (a long run of letters, even in a Shift-JIS text) is not taken
// for it: in Japanese UTF-16 most low bytes fall outside that range.
std::optional<TextEncoding> Utf16ByBlocks(std::string_view s) {
    const std::size_t pairs = s.size() / 2;
    const auto printable = [](unsigned b) { return b >= 0x20 && b < 0x7F; };
    std::size_t asciiPairs = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        asciiPairs += printable(Byte(s, 2 * i)) && printable(Byte(s, 2 * i + 1));
    }
    if (pairs < 16 || asciiPairs * 10 >= pairs * 9) {
        return std::nullopt;
    }
    const auto plausible = [&](std::size_t highAt) {
        std::size_t count = 0;
        std::size_t japanese = 0;
        for (std::size_t i = 0; i < pairs; ++i) {
            const unsigned high = Byte(s, 2 * i + highAt);
            const bool kanaOrCjk = high == 0x30 || (high >= 0x4E && high <= 0x9F);
            japanese += kanaOrCjk;
            count += kanaOrCjk || high == 0x00 || high == 0xFF;
        }
        return japanese > 0 && count * 20 >= pairs * 19;  // 95 %
    };
    if (plausible(1)) {
        return TextEncoding::Utf16Le;
    }
    if (plausible(0)) {
        return TextEncoding::Utf16Be;
    }
    return std::nullopt;
}

bool HasJisEscapes(std::string_view s) {
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    for (const std::string_view escape : {"\x1B$B", "\x1B$@", "\x1B(J", "\x1B(I", "\x1B$(D"}) {
        if (s.find(escape) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

// CR LF and a lone CR become LF, from `from` on; afterCr carries a CR at the
// end over to the next piece, whose LF then belongs to it.
void NormalizeLineEnds(std::string& text, std::size_t from, bool& afterCr) {
    std::size_t out = from;
    for (std::size_t i = from; i < text.size(); ++i) {
        const bool lfOfCr = afterCr && text[i] == '\n';
        afterCr = false;
        if (lfOfCr) {
            continue;
        }
        if (text[i] == '\r') {
            text[out++] = '\n';
            afterCr = i + 1 == text.size();
            i += i + 1 < text.size() && text[i + 1] == '\n';
        } else {
            text[out++] = text[i];
        }
    }
    text.resize(out);
}

iconv_t OpenDecoder(const char* from) {
    return from == nullptr ? reinterpret_cast<iconv_t>(-1) : OpenIconv("UTF-8", from);
}

bool IsOpen(iconv_t handle) {
    return handle != reinterpret_cast<iconv_t>(-1);
}

}  // namespace

std::string_view EncodingName(TextEncoding encoding) {
    return Facts(encoding).name;
}

std::optional<TextEncoding> EncodingFromName(std::string_view name) {
    std::string folded;
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    const struct {
        std::string_view name;
        TextEncoding encoding;
    } known[] = {{"utf8", TextEncoding::Utf8},           {"utf16le", TextEncoding::Utf16Le},
                 {"utf16", TextEncoding::Utf16Le},       {"utf16be", TextEncoding::Utf16Be},
                 {"shiftjis", TextEncoding::ShiftJis},   {"sjis", TextEncoding::ShiftJis},
                 {"xsjis", TextEncoding::ShiftJis},      {"windows31j", TextEncoding::ShiftJis},
                 {"cp932", TextEncoding::ShiftJis},      {"ms932", TextEncoding::ShiftJis},
                 {"eucjp", TextEncoding::EucJp},         {"xeucjp", TextEncoding::EucJp},
                 {"iso2022jp", TextEncoding::Iso2022Jp}, {"jis", TextEncoding::Iso2022Jp}};
    for (const auto& entry : known) {
        if (folded == entry.name) {
            return entry.encoding;
        }
    }
    return std::nullopt;
}

std::optional<TextEncoding> DeclaredHtmlEncoding(std::string_view page) {
    std::string head(page.substr(0, 4096));
    for (char& c : head) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (std::size_t at = head.find("<meta"); at != std::string::npos;
         at = head.find("<meta", at + 1)) {
        const std::size_t end = head.find('>', at);
        const std::string_view tag = std::string_view(head).substr(at, end - at);
        const std::size_t charset = tag.find("charset=");
        if (charset == std::string_view::npos) {
            continue;
        }
        std::string_view value = tag.substr(charset + 8);
        value.remove_prefix(std::min(value.find_first_not_of("\"' "), value.size()));
        return EncodingFromName(value.substr(0, value.find_first_of("\"' ;/>")));
    }
    return std::nullopt;
}

bool IsUtf8(std::string_view bytes) {
    return IsUtf8Sample(bytes, false);
}

TextEncoding DetectEncoding(std::string_view bytes) {
    for (const TextEncoding encoding :
         {TextEncoding::Utf8, TextEncoding::Utf16Le, TextEncoding::Utf16Be}) {
        if (bytes.starts_with(Bom(encoding))) {
            return encoding;
        }
    }
    const std::string_view sample = bytes.substr(0, kSampleSize);
    if (const auto utf16 = Utf16ByNuls(sample)) {
        return *utf16;
    }
    if (const auto utf16 = Utf16ByBlocks(sample)) {
        return *utf16;
    }
    if (IsUtf8Sample(sample, sample.size() < bytes.size())) {
        return HasJisEscapes(sample) ? TextEncoding::Iso2022Jp : TextEncoding::Utf8;
    }
    const Reading sjis = ReadAsShiftJis(sample);
    const Reading euc = ReadAsEucJp(sample);
    if (sjis.invalid != euc.invalid) {
        return sjis.invalid < euc.invalid ? TextEncoding::ShiftJis : TextEncoding::EucJp;
    }
    return euc.typical > sjis.typical ? TextEncoding::EucJp : TextEncoding::ShiftJis;
}

class TextDecoder::Converter {
  public:
    // UTF-8 is checked by ourselves: iconv passes the five- and six-byte
    // forms that UTF-8 no longer has.
    explicit Converter(TextEncoding from)
        : mUtf8(from == TextEncoding::Utf8),
          mHandle(mUtf8 ? OpenDecoder(nullptr) : OpenDecoder(Facts(from).iconvName)),
          mFallback(OpenDecoder(Facts(from).fallbackName)) {}
    ~Converter() {
        for (const iconv_t handle : {mHandle, mFallback}) {
            if (IsOpen(handle)) {
                ::iconv_close(handle);
            }
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Appends the UTF-8 of bytes to out; returns the number of invalid
    // sequences, each replaced by U+FFFD. unit is the step over a bad one.
    // A sequence cut by the end goes to carry unless last.
    std::size_t Convert(std::string_view bytes, std::size_t unit, bool last, std::string& out,
                        std::string& carry) {
        if (mUtf8) {
            return ConvertUtf8(bytes, last, out, carry);
        }
        if (!IsOpen(mHandle)) {
            out.append(bytes);
            return 0;
        }
        std::size_t invalid = 0;
        char* in = const_cast<char*>(bytes.data());
        std::size_t inLeft = bytes.size();
        while (inLeft > 0) {
            // Written straight into out, in steps of at most 64 KiB, so that
            // a small piece costs little.
            const std::size_t room = std::min<std::size_t>(3 * inLeft + 16, 64 * 1024);
            const std::size_t start = out.size();
            out.resize(start + room);
            char* to = out.data() + start;
            std::size_t toLeft = room;
            const std::size_t result = ::iconv(mHandle, &in, &inLeft, &to, &toLeft);
            const int error = errno;
            out.resize(out.size() - toLeft);
            if (result != static_cast<std::size_t>(-1) || error == E2BIG) {
                continue;
            }
            if (error == EINVAL && !last) {
                carry.assign(in, inLeft);
                return invalid;
            }
            // The fallback's sequences are two bytes, or three after 0x8F.
            if (error == EILSEQ && IsOpen(mFallback) && !last &&
                inLeft < (*in == '\x8F' ? 3u : 2u)) {
                carry.assign(in, inLeft);
                return invalid;
            }
            if (error == EILSEQ && ConvertOne(in, inLeft, out)) {
                continue;
            }
            // EILSEQ, or EINVAL for a sequence cut by the end.
            ++invalid;
            out += kReplacement;
            const std::size_t skip = error == EINVAL ? inLeft : std::min(unit, inLeft);
            in += skip;
            inLeft -= skip;
            ::iconv(mHandle, nullptr, nullptr, nullptr, nullptr);
        }
        return invalid;
    }

  private:
    std::size_t ConvertUtf8(std::string_view bytes, bool last, std::string& out,
                            std::string& carry) {
        std::size_t invalid = 0;
        std::size_t valid = 0;  // start of the valid run not yet appended
        for (std::size_t i = 0; i < bytes.size();) {
            if (static_cast<unsigned char>(bytes[i]) < 0x80) {
                ++i;
                continue;
            }
            if (const auto character = DecodeUtf8(bytes.substr(i))) {
                i += character->length;
                continue;
            }
            out.append(bytes.substr(valid, i - valid));
            // A sequence the end cuts: wait for the rest, or one replacement.
            const std::string_view rest = bytes.substr(i);
            const unsigned lead = static_cast<unsigned char>(rest[0]);
            const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            const bool cut = lead >= 0xC2 && lead <= 0xF4 && rest.size() < length &&
                             std::all_of(rest.begin() + 1, rest.end(), [](char c) {
                                 return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
                             });
            if (cut && !last) {
                carry.assign(rest);
                return invalid;
            }
            ++invalid;
            out += kReplacement;
            i += cut ? rest.size() : 1;
            valid = i;
        }
        out.append(bytes.substr(valid));
        return invalid;
    }

    // One character the first table refuses, read by the fallback table.
    bool ConvertOne(char*& in, std::size_t& inLeft, std::string& out) {
        if (!IsOpen(mFallback)) {
            return false;
        }
        char* from = in;
        std::size_t fromLeft = std::min<std::size_t>(*from == '\x8F' ? 3 : 2, inLeft);
        std::array<char, 16> buffer;
        char* to = buffer.data();
        std::size_t toLeft = buffer.size();
        const bool converted =
            ::iconv(mFallback, &from, &fromLeft, &to, &toLeft) != static_cast<std::size_t>(-1) &&
            to != buffer.data();
        ::iconv(mFallback, nullptr, nullptr, nullptr, nullptr);
        if (!converted) {
            return false;
        }
        out.append(buffer.data(), buffer.size() - toLeft);
        inLeft -= static_cast<std::size_t>(from - in);
        in = from;
        return true;
    }

    bool mUtf8;
    iconv_t mHandle;
    iconv_t mFallback;
};

TextDecoder::TextDecoder(TextEncoding encoding)
    : mConverter(std::make_unique<Converter>(encoding)), mEncoding(encoding) {}

TextDecoder::~TextDecoder() = default;

std::size_t TextDecoder::Decode(std::string_view piece, bool last, std::string& out) {
    std::string joined;
    if (!mCarry.empty()) {
        joined = std::move(mCarry);
        joined += piece;
        mCarry.clear();
        piece = joined;
    }
    const std::string_view bom = Bom(mEncoding);
    if (mStart && !last && piece.size() < bom.size() && bom.starts_with(piece)) {
        mCarry = piece;  // too short yet to tell a byte-order mark
        return 0;
    }
    if (mStart && !bom.empty() && piece.starts_with(bom)) {
        piece.remove_prefix(bom.size());
    }
    mStart = false;
    const bool wide = mEncoding == TextEncoding::Utf16Le || mEncoding == TextEncoding::Utf16Be;
    const std::size_t from = out.size();
    const std::size_t invalid = mConverter->Convert(piece, wide ? 2 : 1, last, out, mCarry);
    NormalizeLineEnds(out, from, mAfterCr);
    return invalid;
}

iconv_t OpenIconv(const char* to, const char* from) {
    // Never destroyed: the handles must outlive every thread still converting
    // at exit, and stay reachable for the leak checker.
    static std::mutex& mutex = *new std::mutex;
    static auto& kept = *new std::map<std::pair<std::string, std::string>, iconv_t>;
    {
        std::lock_guard lock(mutex);
        auto conversion = std::make_pair(std::string(to), std::string(from));
        if (kept.find(conversion) == kept.end()) {
            kept.emplace(std::move(conversion), ::iconv_open(to, from));
        }
    }
    return ::iconv_open(to, from);
}

DecodedText DecodeText(std::string_view bytes, std::optional<TextEncoding> encoding) {
    DecodedText text;
    text.encoding = encoding ? *encoding : DetectEncoding(bytes);
    text.utf8.reserve(bytes.size() + bytes.size() / 2);
    text.invalidSequences = TextDecoder(text.encoding).Decode(bytes, true, text.utf8);
    return text;
}

}  // namespace mervok
