#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mervok::quorvix {

// Qt's rich-text engine lays out a table inside a table cell by recursion,
// each level at least twice, so its time doubles with every level of nesting
// and with what the innermost cells hold, and a few thousand levels overflow
// the stack; deep lists, blocks and inline elements cost the square of their
// depth, and a table's time grows faster than its number of cells. A page
// from an archive is therefore rebuilt before it reaches the engine: parsed
// once, linearly, into well-formed markup within the limits below. What
// passes a limit is flattened (its tags dropped, its text kept), never the
// text itself.
inline constexpr std::size_t kMaxPageDepth = 64;         // open elements of any kind
inline constexpr std::size_t kMaxTableDepth = 8;         // tables inside table cells
inline constexpr std::size_t kMaxSpan = 64;              // colspan and rowspan
inline constexpr std::size_t kMaxStyleBytes = 64 << 10;  // <style> text on a page
// Style rules: the engine tries each rule on each element, so what a page's
// rules (its <style> and the sheets it links or imports) may cost is their
// number times the page's tags; rules beyond the budget are left out. Linked
// and imported sheets are read up to a count and a size per page.
inline constexpr std::size_t kStyleBudget = 512 << 10;
inline constexpr std::size_t kMaxStyleSheets = 16;
inline constexpr std::size_t kMaxStyleSheetBytes = 256 << 10;
// Items of one list: the engine's time grows with their square, so a longer
// list goes on as a list of its own (an ordered one counts from 1 again).
inline constexpr std::size_t kMaxListItems = 256;
// Text of one paragraph: its layout too takes the square of its length, so a
// longer one goes on in a paragraph of its own.
inline constexpr std::size_t kMaxParagraphBytes = 8 << 10;
// What tables may cost: each byte of text inside tables counts 2^depth, each
// tag kCellWeight * 2^depth (a cell as many as its span covers). Beyond the
// budget, the deepest tables are flattened until the page fits.
inline constexpr std::size_t kTableBudget = 128 << 10;
inline constexpr std::size_t kCellWeight = 32;
// A page whose rebuilt markup is larger, or has more tags, is shown as text
// instead: Qt reads a page in one go (and lays out one paragraph in one go),
// about 0.2 s per MiB on a quiet machine and several times that on a busy
// one, all of it on the window's thread.
inline constexpr std::size_t kMaxPageBytes = 256 << 10;
inline constexpr std::size_t kMaxPageTags = 8 << 10;

struct BoundedPage {
    std::string html;            // well-formed markup within the limits
    bool simplified = false;     // something was flattened, clamped or left out
    bool tooLarge = false;       // beyond kMaxPageBytes or kMaxPageTags: show it as text
    std::size_t tableDepth = 0;  // the deepest nesting of tables kept
    std::size_t styleRules = 0;  // what linked style sheets may add within kStyleBudget
};

// The number of rules of a style sheet (each '}' ends one, near enough).
std::size_t StyleRuleCount(std::string_view sheet);
// The front of the sheet up to the end of its count-th rule.
std::string_view FirstStyleRules(std::string_view sheet, std::size_t count);

// The page (UTF-8) rebuilt within the limits: elements closed where HTML
// closes them implicitly, comments and declarations left out, attribute
// values quoted, and any '<' that does not start a tag written as "&lt;".
BoundedPage BoundPage(std::string_view page);

}  // namespace mervok::quorvix
