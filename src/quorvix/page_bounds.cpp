#include "quorvix/page_bounds.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace mervok::quorvix {

namespace {

constexpr std::size_t kMaxNameLength = 32;

enum class Kind { Inline, Block, Paragraph, Table, Row, Cell, List, Item, DefinitionList, Term };

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

Kind KindOf(std::string_view name) {
    constexpr std::pair<std::string_view, Kind> kStructural[] = {
        {"table", Kind::Table},       {"tr", Kind::Row},   {"td", Kind::Cell},
        {"th", Kind::Cell},           {"ul", Kind::List},  {"ol", Kind::List},
        {"menu", Kind::List},         {"dir", Kind::List}, {"li", Kind::Item},
        {"dl", Kind::DefinitionList}, {"dt", Kind::Term},  {"dd", Kind::Term},
        {"p", Kind::Paragraph}};
    for (const auto& [structural, kind] : kStructural) {
        if (name == structural) {
            return kind;
        }
    }
    return IsOneOf(name, {"html", "head", "body", "div", "blockquote", "center", "pre", "h1", "h2",
                          "h3", "h4", "h5", "h6", "address", "form", "hr", "title"})
               ? Kind::Block
               : Kind::Inline;
}

bool IsVoid(std::string_view name) {
    return IsOneOf(name,
                   {"area", "base", "basefont", "br", "col", "embed", "frame", "hr", "img", "input",
                    "isindex", "keygen", "link", "meta", "param", "source", "track", "wbr"});
}

// Table parts that the rebuilt page leaves out: their rows and cells are kept.
bool IsTableSection(std::string_view name) {
    return IsOneOf(name, {"thead", "tbody", "tfoot", "colgroup", "caption"});
}

// What a flattened table drops: its own tags and those of its parts.
bool IsTablePart(std::string_view name, Kind kind) {
    return kind == Kind::Table || kind == Kind::Row || kind == Kind::Cell || IsTableSection(name);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == ':' || c == '.';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

struct Attribute {
    std::string name;
    std::string_view value;
    bool hasValue = false;
};

struct Element {
    std::string name;
    Kind kind;
    std::string tag;        // as written, to open it again
    std::size_t items = 0;  // of a list
};

// What tables hold at each depth, for the budget.
struct TableLoad {
    std::array<std::size_t, kMaxTableDepth + 1> text{};
    std::array<std::size_t, kMaxTableDepth + 1> cells{};
};

std::size_t Saturating(std::size_t a, std::size_t b) {
    return a > SIZE_MAX - b ? SIZE_MAX : a + b;
}

std::size_t Scaled(std::size_t value, std::size_t depth) {
    return value > (SIZE_MAX >> depth) ? SIZE_MAX : value << depth;
}

// What the page costs when tables deeper than maxDepth are flattened.
std::size_t TableCost(const TableLoad& load, std::size_t maxDepth) {
    if (maxDepth == 0) {
        return 0;
    }
    std::size_t cost = 0;
    for (std::size_t depth = 1; depth <= kMaxTableDepth; ++depth) {
        // What deeper tables hold stays, at the deepest depth kept.
        const std::size_t weight = Saturating(load.text[depth], load.cells[depth] * kCellWeight);
        cost = Saturating(cost, Scaled(weight, std::min(depth, maxDepth)));
    }
    return cost;
}

class PageBuilder {
  public:
    explicit PageBuilder(std::size_t maxTableDepth) : mMaxTableDepth(maxTableDepth) {}

    BoundedPage Build(std::string_view page) {
        mPage = page;
        std::size_t at = 0;
        while (at < page.size()) {
            if (page[at] != '<') {
                const std::size_t end = std::min(page.find('<', at), page.size());
                Text(page.substr(at, end - at));
                at = end;
                continue;
            }
            at = Tag(at);
        }
        while (!mOpen.empty()) {
            Pop();
        }
        KeepStyleWithinBudget();
        mResult.tableDepth = mDeepestTable;
        mResult.tooLarge = mTags > kMaxPageTags;
        return std::move(mResult);
    }

    const TableLoad& Load() const { return mLoad; }

  private:
    // The page's own rules, as many as its tags allow, in the order written;
    // what is left for linked sheets.
    void KeepStyleWithinBudget() {
        std::size_t rules = kStyleBudget / std::max<std::size_t>(mTags, 1);
        std::string kept;
        std::size_t from = 0;
        for (const Style& style : mStyles) {
            const std::string_view sheet =
                std::string_view(mResult.html).substr(style.at, style.size);
            const std::string_view first = FirstStyleRules(sheet, rules);
            rules -= StyleRuleCount(first);
            mResult.simplified |= first.size() < sheet.size();
            kept.append(mResult.html, from, style.at + first.size() - from);
            from = style.at + style.size;
        }
        if (!mStyles.empty()) {
            kept.append(mResult.html, from);
            mResult.html = std::move(kept);
        }
        mResult.styleRules = rules;
    }

    void Text(std::string_view text) {
        if (mTableDepth > 0) {
            mLoad.text[mTableDepth] = Saturating(mLoad.text[mTableDepth], text.size());
        }
        // A long paragraph goes on in a block of its own, cut after a space
        // when there is one near, never inside a character or a reference.
        while (mRun + text.size() > kMaxParagraphBytes) {
            std::size_t cut = kMaxParagraphBytes - std::min(mRun, kMaxParagraphBytes);
            const std::size_t space = text.find_last_of(" \t\n", cut);
            if (space != std::string_view::npos && space + 256 > cut) {
                cut = std::min(space + 1, text.size());
            }
            while (cut > 0 && cut < text.size() &&
                   (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
                --cut;
            }
            if (const std::size_t amp = text.find_last_of('&', cut);
                amp != std::string_view::npos && amp + 32 > cut && text.find(';', amp) >= cut) {
                cut = amp;
            }
            mResult.html += text.substr(0, cut);
            mResult.html += "<div></div>";
            mResult.simplified = true;
            Count();
            mRun = 0;
            text.remove_prefix(cut);
        }
        mRun += std::max<std::size_t>(text.size(), 1);
        mResult.html += text;
    }

    std::size_t SkipSpace(std::size_t at) const {
        while (at < mPage.size() && IsSpace(mPage[at])) {
            ++at;
        }
        return at;
    }

    std::size_t After(std::string_view what, std::size_t from) const {
        const std::size_t found = mPage.find(what, from);
        return found == std::string_view::npos ? mPage.size() : found + what.size();
    }

    // One tag from the '<' at `at`; where the page goes on after it.
    std::size_t Tag(std::size_t at) {
        std::size_t pos = SkipSpace(at + 1);
        if (pos < mPage.size() && mPage[pos] == '!') {
            return mPage.substr(pos).starts_with("!--") ? After("-->", pos + 3) : After(">", pos);
        }
        if (pos < mPage.size() && mPage[pos] == '?') {
            return After(">", pos);
        }
        const bool closing = pos < mPage.size() && mPage[pos] == '/';
        if (closing) {
            pos = SkipSpace(pos + 1);
        }
        std::string name;
        while (pos < mPage.size() && IsNameChar(mPage[pos])) {
            name += Lower(mPage[pos++]);
        }
        if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) {
            if (closing) {
                return After(">", pos);
            }
            mResult.html += "&lt;";
            return at + 1;
        }
        std::vector<Attribute> attributes;
        bool selfClosing = false;
        pos = Attributes(pos, attributes, selfClosing);
        if (name.size() > kMaxNameLength) {
            mResult.simplified = true;
            return pos;
        }
        if (closing) {
            Close(name);
        } else {
            Open(name, attributes, selfClosing);
            if (name == "style" || name == "script") {
                pos = RawText(name, pos);
            }
        }
        return pos;
    }

    // Reads attributes up to and past the tag's '>', values quoted or not.
    std::size_t Attributes(std::size_t pos, std::vector<Attribute>& attributes, bool& selfClosing) {
        while (true) {
            pos = SkipSpace(pos);
            if (pos >= mPage.size()) {
                return pos;
            }
            if (mPage[pos] == '>') {
                return pos + 1;
            }
            if (mPage[pos] == '/') {
                selfClosing = true;
                ++pos;
                continue;
            }
            selfClosing = false;
            Attribute attribute;
            while (pos < mPage.size() && !IsSpace(mPage[pos]) && mPage[pos] != '=' &&
                   mPage[pos] != '>' && mPage[pos] != '/') {
                attribute.name += Lower(mPage[pos++]);
            }
            if (attribute.name.empty()) {
                ++pos;  // a stray '=' or quote
                continue;
            }
            pos = SkipSpace(pos);
            if (pos < mPage.size() && mPage[pos] == '=') {
                pos = SkipSpace(pos + 1);
                attribute.hasValue = true;
                if (pos < mPage.size() && (mPage[pos] == '"' || mPage[pos] == '\'')) {
                    const std::size_t end = std::min(mPage.find(mPage[pos], pos + 1), mPage.size());
                    attribute.value = mPage.substr(pos + 1, end - pos - 1);
                    pos = std::min(end + 1, mPage.size());
                } else {
                    const std::size_t start = pos;
                    while (pos < mPage.size() && !IsSpace(mPage[pos]) && mPage[pos] != '>') {
                        ++pos;
                    }
                    attribute.value = mPage.substr(start, pos - start);
                }
            }
            if (std::isalpha(static_cast<unsigned char>(attribute.name[0])) &&
                std::all_of(attribute.name.begin(), attribute.name.end(), IsNameChar)) {
                attributes.push_back(std::move(attribute));
            }
        }
    }

    // The text of a style sheet or script, up to its end tag.
    std::size_t RawText(const std::string& name, std::size_t pos) {
        std::size_t end = pos;
        while (end < mPage.size()) {
            end = std::min(mPage.find("</", end), mPage.size());
            std::size_t n = 0;
            while (end + 2 + n < mPage.size() && n < name.size() &&
                   Lower(mPage[end + 2 + n]) == name[n]) {
                ++n;
            }
            if (n == name.size()) {
                break;
            }
            end += end < mPage.size() ? 1 : 0;
        }
        if (name == "style" && !mOpen.empty() && mOpen.back().name == name) {
            const std::string_view sheet = mPage.substr(pos, end - pos);
            if (mStyleBytes + sheet.size() <= kMaxStyleBytes) {
                mStyleBytes += sheet.size();
                const std::size_t at = mResult.html.size();
                for (char c : sheet) {
                    if (c != '<') {
                        mResult.html += c;
                    }
                }
                mStyles.push_back({at, mResult.html.size() - at});
            } else {
                mResult.simplified = true;
            }
        }
        if (end < mPage.size()) {
            end = After(">", end);
        }
        Close(name);
        return end;
    }

    // Each tag is a line or a box for the layout, which costs more than a
    // character: inside tables it counts kCellWeight, like a cell.
    void Count() {
        ++mTags;
        if (mTableDepth > 0) {
            mLoad.cells[mTableDepth] = Saturating(mLoad.cells[mTableDepth], 1);
        }
    }

    // What stands for a row or block that is left out.
    void Break() {
        mResult.html += "<br />";
        Count();
        Text("");  // a line of the paragraph too
    }

    // What stands for an element whose tag is left out: a blank for a cell,
    // a line break for a row or block, nothing for inline markup.
    void Flatten(Kind kind) {
        if (kind == Kind::Cell) {
            Text(" ");
        } else if (kind != Kind::Inline) {
            Break();
        }
    }

    void Emit(const std::string& name, const std::vector<Attribute>& attributes, bool isVoid) {
        Count();
        mRun = KindOf(name) == Kind::Inline ? mRun : 0;
        std::string& out = mResult.html;
        out += '<';
        out += name;
        for (const Attribute& attribute : attributes) {
            out += ' ';
            out += attribute.name;
            if (!attribute.hasValue) {
                continue;
            }
            out += "=\"";
            std::string_view value = attribute.value;
            std::string clamped;
            if (attribute.name == "colspan" || attribute.name == "rowspan") {
                clamped = std::to_string(Span(value));
                value = clamped;
            }
            for (char c : value) {
                switch (c) {
                    case '"':
                        out += "&quot;";
                        break;
                    case '<':
                        out += "&lt;";
                        break;
                    case '>':
                        out += "&gt;";
                        break;
                    default:
                        out += c;
                }
            }
            out += '"';
        }
        out += isVoid ? " />" : ">";
    }

    std::size_t Span(std::string_view value) {
        std::size_t span = 1;
        value.remove_prefix(std::min(value.find_first_not_of(" \t\r\n"), value.size()));
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), span);
        if (error == std::errc::result_out_of_range || (error == std::errc() && span > kMaxSpan)) {
            mResult.simplified = true;
            return kMaxSpan;
        }
        return error == std::errc() && span > 0 ? span : 1;
    }

    // The innermost open element of one of the kinds, looking no further out
    // than the innermost of `stops`; nothing when there is none.
    std::optional<std::size_t> Innermost(std::initializer_list<Kind> kinds,
                                         std::initializer_list<Kind> stops) const {
        for (std::size_t i = mOpen.size(); i-- > 0;) {
            const Kind kind = mOpen[i].kind;
            if (std::find(kinds.begin(), kinds.end(), kind) != kinds.end()) {
                return i;
            }
            if (std::find(stops.begin(), stops.end(), kind) != stops.end()) {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    void Pop() {
        mRun = mOpen.back().kind == Kind::Inline ? mRun : 0;
        mResult.html += "</";
        mResult.html += mOpen.back().name;
        mResult.html += '>';
        if (mOpen.back().kind == Kind::Table) {
            --mTableDepth;
        }
        mOpen.pop_back();
    }

    void PopTo(std::size_t depth) {
        while (mOpen.size() > depth) {
            Pop();
        }
    }

    void Open(const std::string& name, const std::vector<Attribute>& attributes, bool selfClosing) {
        const Kind kind = KindOf(name);
        const bool isVoid = IsVoid(name);
        if (mDroppedTables > 0 && IsTablePart(name, kind)) {
            mDroppedTables += kind == Kind::Table ? 1 : 0;
            if (kind == Kind::Cell) {
                Text(" ");
            } else if (kind == Kind::Row) {
                Break();
            }
            return;
        }
        if (IsTableSection(name)) {
            return;
        }
        if (kind != Kind::Inline && kind != Kind::Cell && kind != Kind::Row && kind != Kind::Item &&
            kind != Kind::Term) {
            // A block ends an open paragraph, as in HTML.
            if (const auto p = Innermost({Kind::Paragraph}, {Kind::Table, Kind::Cell})) {
                PopTo(*p);
            }
        }
        bool lonelyCell = false;  // a cell without a row: one is opened for it
        switch (kind) {
            case Kind::Row:
            case Kind::Cell: {
                const auto table = Innermost({Kind::Table}, {});
                if (!table) {
                    Flatten(kind);
                    return;
                }
                const auto row = Innermost({Kind::Row}, {Kind::Table});
                if (kind == Kind::Row || !row) {
                    PopTo(*table + 1);
                } else {
                    PopTo(*row + 1);
                }
                lonelyCell = kind == Kind::Cell && !row;
                break;
            }
            case Kind::Item:
                if (const auto item = Innermost({Kind::Item}, {Kind::List, Kind::Table})) {
                    PopTo(*item);
                }
                // A long list goes on as a list of its own, like the first.
                if (const auto list = Innermost({Kind::List}, {Kind::Table, Kind::Cell});
                    list && ++mOpen[*list].items > kMaxListItems) {
                    Element again = mOpen[*list];
                    PopTo(*list);
                    mResult.simplified = true;
                    mResult.html += again.tag;
                    Count();
                    again.items = 1;
                    mOpen.push_back(std::move(again));
                }
                break;
            case Kind::Term:
                if (const auto term =
                        Innermost({Kind::Term}, {Kind::DefinitionList, Kind::Table})) {
                    PopTo(*term);
                }
                break;
            default:
                break;
        }
        if (isVoid) {
            Emit(name, attributes, true);
            return;
        }
        const bool tooDeepTable = kind == Kind::Table && mTableDepth >= mMaxTableDepth;
        if (mOpen.size() + (lonelyCell ? 1 : 0) >= kMaxPageDepth || tooDeepTable) {
            mResult.simplified = true;
            if (kind == Kind::Table) {
                ++mDroppedTables;
            }
            Flatten(kind);
            return;
        }
        if (kind == Kind::Cell) {
            std::size_t cells = 1;
            for (const Attribute& attribute : attributes) {
                if (attribute.name == "colspan" || attribute.name == "rowspan") {
                    cells *= Span(attribute.value);
                }
            }
            mLoad.cells[mTableDepth] = Saturating(mLoad.cells[mTableDepth], cells);
            if (lonelyCell) {
                Push("tr", Kind::Row, {});
            }
        }
        Push(name, kind, attributes);
        if (selfClosing) {
            Pop();
        }
    }

    void Push(const std::string& name, Kind kind, const std::vector<Attribute>& attributes) {
        const std::size_t start = mResult.html.size();
        Emit(name, attributes, false);
        mOpen.push_back({name, kind, mResult.html.substr(start)});
        if (kind == Kind::Table) {
            ++mTableDepth;
            mDeepestTable = std::max(mDeepestTable, mTableDepth);
        }
    }

    void Close(const std::string& name) {
        const Kind kind = KindOf(name);
        if (mDroppedTables > 0 && IsTablePart(name, kind)) {
            mDroppedTables -= kind == Kind::Table ? 1 : 0;
            return;
        }
        // An end tag closes its element and what is open inside it, but
        // never reaches out of the table cell it stands in.
        for (std::size_t i = mOpen.size(); i-- > 0;) {
            if (mOpen[i].name == name) {
                PopTo(i);
                return;
            }
            const Kind open = mOpen[i].kind;
            if (open == Kind::Table ||
                (open == Kind::Cell && kind != Kind::Row && kind != Kind::Table)) {
                return;
            }
        }
    }

    std::size_t mMaxTableDepth;
    std::string_view mPage;
    BoundedPage mResult;
    std::vector<Element> mOpen;
    std::size_t mTableDepth = 0;
    std::size_t mDeepestTable = 0;
    std::size_t mDroppedTables = 0;
    std::size_t mStyleBytes = 0;
    struct Style {
        std::size_t at, size;  // of a <style>'s text in the result
    };
    std::vector<Style> mStyles;
    std::size_t mTags = 0;
    std::size_t mRun = 0;  // bytes of text in the paragraph being written
    TableLoad mLoad;
};

}  // namespace

std::size_t StyleRuleCount(std::string_view sheet) {
    return static_cast<std::size_t>(std::count(sheet.begin(), sheet.end(), '}'));
}

std::string_view FirstStyleRules(std::string_view sheet, std::size_t count) {
    std::size_t end = 0;
    for (; count > 0; --count) {
        const std::size_t close = sheet.find('}', end);
        if (close == std::string_view::npos) {
            return sheet;
        }
        end = close + 1;
    }
    return sheet.substr(0, end);
}

BoundedPage BoundPage(std::string_view page) {
    PageBuilder first(kMaxTableDepth);
    BoundedPage bounded = first.Build(page);
    std::size_t depth = bounded.tableDepth;
    while (depth > 0 && TableCost(first.Load(), depth) > kTableBudget) {
        --depth;
    }
    if (depth < bounded.tableDepth) {
        bounded = PageBuilder(depth).Build(page);
        bounded.simplified = true;
    }
    if (bounded.tooLarge || bounded.html.size() > kMaxPageBytes) {
        bounded.html.clear();
        bounded.tooLarge = true;
    }
    return bounded;
}

}  // namespace mervok::quorvix
