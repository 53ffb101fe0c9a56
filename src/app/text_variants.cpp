#include "app/text_variants.h"

#include <algorithm>

namespace mervok {

namespace {

// The small letter of an ASCII or full-width Latin capital, else c.
char32_t LowerLatin(char32_t c) {
    if ((c >= U'A' && c <= U'Z') || (c >= U'\uFF21' && c <= U'\uFF3A')) {
        return c + 0x20;
    }
    return c;
}

// The capital of an ASCII or full-width Latin small letter, else c.
char32_t UpperLatin(char32_t c) {
    if ((c >= U'a' && c <= U'z') || (c >= U'\uFF41' && c <= U'\uFF5A')) {
        return c - 0x20;
    }
    return c;
}

}  // namespace

char32_t JisVariant(char32_t c) {
    for (const JisVariantPair& pair : kJisVariantPairs) {
        if (c == pair.jis) {
            return pair.windows;
        }
        if (c == pair.windows) {
            return pair.jis;
        }
    }
    return c;
}

char32_t FoldForFind(char32_t c, bool ignoreCase) {
    for (const JisVariantPair& pair : kJisVariantPairs) {
        if (c == pair.jis) {
            return pair.windows;
        }
    }
    return ignoreCase ? LowerLatin(c) : c;
}

std::vector<char32_t> FindAlternatives(char32_t c, bool ignoreCase) {
    std::vector<char32_t> alternatives{c};
    const auto add = [&](char32_t other) {
        if (std::find(alternatives.begin(), alternatives.end(), other) == alternatives.end()) {
            alternatives.push_back(other);
        }
    };
    add(JisVariant(c));
    if (ignoreCase) {
        add(LowerLatin(c));
        add(UpperLatin(c));
    }
    return alternatives;
}

}  // namespace mervok
