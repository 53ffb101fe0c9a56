#pragma once

#include <vector>

namespace mervok {

// Characters that Windows' CP932 table and the JIS tables (EUC-JP,
// ISO-2022-JP) decode to different code points from the same bytes: a text
// shows one character of a pair or the other depending on the table that
// read or wrote it.
struct JisVariantPair {
    char32_t jis;
    char32_t windows;
};
inline constexpr JisVariantPair kJisVariantPairs[] = {
    {U'\u301C', U'\uFF5E'},  // WAVE DASH, FULLWIDTH TILDE
    {U'\u2212', U'\uFF0D'},  // MINUS SIGN, FULLWIDTH HYPHEN-MINUS
    {U'\u2016', U'\u2225'},  // DOUBLE VERTICAL LINE, PARALLEL TO
    {U'\u00A2', U'\uFFE0'},  // CENT SIGN, FULLWIDTH CENT SIGN
    {U'\u00A3', U'\uFFE1'},  // POUND SIGN, FULLWIDTH POUND SIGN
    {U'\u00AC', U'\uFFE2'},  // NOT SIGN, FULLWIDTH NOT SIGN
};

// The other character of c's pair, or c when it belongs to none.
char32_t JisVariant(char32_t c);

// The form a find compares characters in: both characters of a pair as the
// Windows one, and with ignoreCase the capitals A-Z and Ａ-Ｚ (full width) as
// their small letters. Every character keeps its length in UTF-16, so a
// folded text lines up with the original.
char32_t FoldForFind(char32_t c, bool ignoreCase);

// Every character a find treats as c, c itself first: its pair's other
// character and, with ignoreCase, the other case of an ASCII or full-width
// Latin letter.
std::vector<char32_t> FindAlternatives(char32_t c, bool ignoreCase);

}  // namespace mervok
