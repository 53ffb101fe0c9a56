#include "wildcard.h"

namespace mervok::plugin {

namespace {

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

bool SameByte(char p, char n) {
    if (IsSeparator(p)) {
        return IsSeparator(n);
    }
    return FoldAscii(p) == FoldAscii(n);
}

}  // namespace

std::string_view LastComponent(std::string_view path) {
    std::size_t cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    // Greedy matching with one back-track point: linear in practice and at
    // worst pattern length times name length, never exponential.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || SameByte(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

WildcardList::WildcardList(const char* text) {
    std::string_view all = text != nullptr ? std::string_view(text) : std::string_view();
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t end = all.find(' ', pos);
        if (end == std::string_view::npos) {
            end = all.size();
        }
        std::string_view word = all.substr(pos, end - pos);
        pos = end + 1;
        if (word.empty()) {
            continue;
        }
        if (word == "*.*" || word == "*") {
            mMatchAll = true;
        }
        mPatterns.push_back({std::string(word), word.find_first_of("/\\") != word.npos});
    }
    if (mPatterns.empty()) {
        mMatchAll = true;
    }
}

bool WildcardList::Matches(std::string_view entryName) const {
    if (mMatchAll) {
        return true;
    }
    std::string_view leaf = LastComponent(entryName);
    for (const Pattern& pattern : mPatterns) {
        if (WildcardMatch(pattern.text, pattern.wholePath ? entryName : leaf)) {
            return true;
        }
    }
    return false;
}

}  // namespace mervok::plugin
