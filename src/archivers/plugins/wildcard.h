#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mervok::plugin {

// The blank-separated wildcards given to FindFirst. '*' matches any run of
// bytes, '?' one byte; only ASCII letters fold case, so the trail bytes of
// Shift-JIS characters are never changed. A wildcard without a path separator
// is compared with the last path component of an entry name; one with a
// separator with the whole name, '/' and '\' counting as one.
class WildcardList {
  public:
    // nullptr, "" and "*.*" match every name.
    explicit WildcardList(const char* text);
    bool Matches(std::string_view entryName) const;

  private:
    // Most wildcards are "*.EXT"; those and plain names are compared
    // directly instead of by the general matcher.
    enum class Shape { General, Suffix, Exact };
    struct Pattern {
        std::string text;
        bool wholePath = false;
        Shape shape = Shape::General;
        std::string literal;  // the text after '*' (Suffix) or all of it (Exact)
    };
    std::vector<Pattern> mPatterns;
    bool mMatchAll = false;
};

// Wildcard comparison of one pattern with one name, as described above.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// The part of a path after its last '/' or '\'.
std::string_view LastComponent(std::string_view path);

}  // namespace mervok::plugin
