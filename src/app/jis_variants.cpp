#include "app/jis_variants.h"

namespace mervok {

namespace {

struct VariantPair {
    char32_t jis;
    char32_t cp932;
};
constexpr VariantPair kPairs[] = {
    {U'\u301C', U'\uFF5E'},  // wave dash, full-width tilde
    {U'\u2212', U'\uFF0D'},  // minus sign, full-width hyphen-minus
    {U'\u2016', U'\u2225'},  // double vertical line, parallel to
    {U'\u00A2', U'\uFFE0'},  // cent sign
    {U'\u00A3', U'\uFFE1'},  // pound sign
    {U'\u00AC', U'\uFFE2'},  // not sign
};

}  // namespace

char32_t JisVariantFold(char32_t c) {
    for (const VariantPair& pair : kPairs) {
        if (c == pair.cp932) {
            return pair.jis;
        }
    }
    return c;
}

char32_t JisVariantPartner(char32_t c) {
    for (const VariantPair& pair : kPairs) {
        if (c == pair.cp932 || c == pair.jis) {
            return c == pair.jis ? pair.cp932 : pair.jis;
        }
    }
    return c;
}

}  // namespace mervok
