// Fuzzes the text scan: any document and any query must scan without a
// crash, and the matches must not depend on how the document is cut into
// pieces.
//
// Input: flags (case, piece size) in the first byte, the query up to the
// first NUL, the document after it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "search/text_scan.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

struct Outcome {
    std::vector<mervok::TextMatch> matches;
    bool cut;
};

Outcome Scan(const mervok::TextQuery& query, std::string_view document, std::size_t piece) {
    mervok::TextScan scan(query, 20);
    for (std::size_t at = 0; at < document.size() && !scan.Done(); at += piece) {
        scan.Feed(document.substr(at, piece));
    }
    scan.Finish();
    return {scan.TakeMatches(), scan.Cut()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t nul = input.find('\0');
    if (nul == std::string_view::npos) {
        return 0;
    }
    const auto query = mervok::TextQuery::Make(input.substr(0, nul), data[0] & 1);
    if (!query) {
        return 0;
    }
    const std::string_view document = input.substr(nul + 1);
    const Outcome whole = Scan(*query, document, document.size() + 1);
    const Outcome pieces = Scan(*query, document, 1 + (data[0] >> 1) % 97);
    Check(whole.matches.size() == pieces.matches.size() && whole.cut == pieces.cut);
    for (std::size_t i = 0; i < whole.matches.size(); ++i) {
        const mervok::TextMatch& a = whole.matches[i];
        const mervok::TextMatch& b = pieces.matches[i];
        Check(a.line == b.line && a.line >= 1);
        Check(a.column == b.column || a.column == 0 || b.column == 0);
        Check(a.snippetMatchOffset + a.snippetMatchLength <= a.snippet.size());
        Check(a.snippetMatchLength > 0);
    }
    return 0;
}
