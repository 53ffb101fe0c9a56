#pragma once

#include <cstddef>
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

// Where the bytes may be cut so that the two parts decode apart as the whole
// decodes: just after the first line end at or past `at` (in ISO-2022-JP only
// where the escapes have returned to ASCII, as they do at line ends);
// bytes.size() when there is none. Lets a long text be decoded a screenful
// first and the rest later.
std::size_t LineCut(std::string_view bytes, std::size_t at, TextEncoding encoding);

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

}  // namespace mervok
