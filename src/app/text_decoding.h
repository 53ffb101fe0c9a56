#pragma once

#include <iconv.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace mervok {

// The encodings the viewer reads; the order is the one of its menu.
enum class TextEncoding { Utf8, Utf16Le, Utf16Be, ShiftJis, EucJp, Iso2022Jp };

inline constexpr TextEncoding kAllEncodings[] = {TextEncoding::Utf8,    TextEncoding::Utf16Le,
                                                 TextEncoding::Utf16Be, TextEncoding::ShiftJis,
                                                 TextEncoding::EucJp,   TextEncoding::Iso2022Jp};

// "UTF-8", "UTF-16LE", "UTF-16BE", "Shift_JIS", "EUC-JP", "ISO-2022-JP".
std::string_view EncodingName(TextEncoding encoding);

// The most a document is read to; the rest of a longer one is not shown.
inline constexpr std::size_t kMaxTextBytes = std::size_t{64} << 20;

// Which encoding the bytes are in. A byte-order mark decides; then NUL bytes
// in every other place mean UTF-16; then valid UTF-8; then JIS escapes in
// 7-bit text; then UTF-16 without NULs (Japanese text held in it); then
// Shift-JIS (Windows' CP932) or EUC-JP, whichever has fewer invalid sequences
// and, between two valid readings, more kana and punctuation. Shift-JIS when
// nothing tells them apart, as on the systems these archives come from.
TextEncoding DetectEncoding(std::string_view bytes);

// The encoding a name such as "Shift_JIS", "x-sjis", "euc-jp" or "utf-16le"
// stands for (case-blind); nothing for a name the viewer does not read.
std::optional<TextEncoding> EncodingFromName(std::string_view name);

// The charset a page declares in its first 4 KiB (<meta charset="..."> or
// <meta http-equiv="Content-Type" content="...; charset=...">).
std::optional<TextEncoding> DeclaredHtmlEncoding(std::string_view page);

// True when the bytes are valid UTF-8 throughout (ASCII included).
bool IsUtf8(std::string_view bytes);

struct DecodedText {
    std::string utf8;  // every line ended by LF alone
    TextEncoding encoding = TextEncoding::Utf8;
    std::size_t invalidSequences = 0;  // each shown as U+FFFD
};

// Decodes the bytes as encoding (the detected one when none is given). The
// encoding's byte-order mark is dropped; a byte that does not decode becomes
// U+FFFD and decoding goes on after it; CR LF and a lone CR become LF.
DecodedText DecodeText(std::string_view bytes, std::optional<TextEncoding> encoding = {});

// iconv_open(to, from), for every converter in the program. One handle of
// each conversion asked for stays open for the life of the process, so that
// glibc does not load and unload the converter module each time the last
// handle closes (converters opened and closed on many threads would do so over
// and over, and that races inside the dynamic loader).
iconv_t OpenIconv(const char* to, const char* from);

// Decodes a text handed over in pieces, cut anywhere, as DecodeText decodes
// the whole: a character, an escape's state or a CR LF cut by a piece's end
// carries over to the next piece. Lets a long text be prepared a bounded
// piece at a time.
class TextDecoder {
  public:
    explicit TextDecoder(TextEncoding encoding);
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    // Appends the UTF-8 of the next piece to out; last: no piece follows, so
    // a sequence cut by its end is invalid. Returns the invalid sequences.
    std::size_t Decode(std::string_view piece, bool last, std::string& out);

  private:
    class Converter;
    std::unique_ptr<Converter> mConverter;
    TextEncoding mEncoding;
    std::string mCarry;     // the start of a sequence cut by the last piece's end
    bool mStart = true;     // before the first byte (where a byte-order mark goes)
    bool mAfterCr = false;  // the output so far ends in a CR made LF
};

}  // namespace mervok
