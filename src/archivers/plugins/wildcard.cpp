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

bool EqualFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!SameByte(a[i], b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string_view LastComponent(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) {
            return path.substr(i);
        }
    }
    return path;
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
        Pattern pattern;
        pattern.text = std::string(word);
        pattern.wholePath = word.find_first_of("/\\") != word.npos;
        std::string_view rest = word.substr(word[0] == '*' ? 1 : 0);
        if (rest.find_first_of("*?") == std::string_view::npos) {
            pattern.shape = word[0] == '*' ? Shape::Suffix : Shape::Exact;
            pattern.literal = std::string(rest);
        }
        mPatterns.push_back(std::move(pattern));
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
        std::string_view name = pattern.wholePath ? entryName : leaf;
        switch (pattern.shape) {
            case Shape::Suffix:
                if (name.size() >= pattern.literal.size() &&
                    EqualFolded(name.substr(name.size() - pattern.literal.size()),
                                pattern.literal)) {
                    return true;
                }
                break;
            case Shape::Exact:
                if (EqualFolded(name, pattern.literal)) {
                    return true;
                }
                break;
            case Shape::General:
                if (WildcardMatch(pattern.text, name)) {
                    return true;
                }
                break;
        }
    }
    return false;
}

}  // namespace mervok::plugin
