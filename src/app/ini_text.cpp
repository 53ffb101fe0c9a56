#include "app/ini_text.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "app/text_util.h"

namespace mervok::ini {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kNone = std::string_view::npos;

#ifdef _WIN32
constexpr std::string_view kNativeLineBreak = "\r\n";
#else
constexpr std::string_view kNativeLineBreak = "\n";
#endif

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view CutAtNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

// How a name or value is seen: cut at a NUL, as a C string would be, and
// without the blanks around it.
std::string_view Clean(std::string_view text) {
    return Trim(CutAtNul(text));
}

// A Shift-JIS lead byte: the byte after it is the second half of the same
// character, even where it looks like an ASCII letter.
bool IsLeadByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(a[i])) {
            if (a[i] != b[i] || (i + 1 < a.size() && a[i + 1] != b[i + 1])) {
                return false;
            }
            ++i;
        } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != kNone;
}

enum class LineKind { Blank, Comment, Section, Entry, Bare };

struct Line {
    std::size_t begin = 0;  // first byte of the line
    std::size_t end = 0;    // end of its text, where the line break starts
    std::size_t next = 0;   // first byte after the line break
    LineKind kind = LineKind::Blank;
    std::string_view name;       // section name or key
    std::string_view value;      // Entry: the value as read
    std::size_t valueBegin = 0;  // Entry: start of the part a new value replaces

    bool IsKey() const { return kind == LineKind::Entry || kind == LineKind::Bare; }
    bool Terminated() const { return next > end; }
};

class LineReader {
  public:
    explicit LineReader(std::string_view text)
        : mText(text), mPos(text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0) {}

    bool Next(Line& line) {
        if (mPos >= mText.size()) {
            return false;
        }
        line = Line{};
        line.begin = mPos;
        const std::size_t lineBreak = mText.find_first_of("\r\n", mPos);
        if (lineBreak == kNone) {
            line.end = line.next = mText.size();
        } else {
            line.end = lineBreak;
            line.next = lineBreak + 1;
            if (mText[lineBreak] == '\r' && line.next < mText.size() && mText[line.next] == '\n') {
                ++line.next;
            }
        }
        mPos = line.next;
        Classify(line);
        return true;
    }

  private:
    void Classify(Line& line) const {
        const std::string_view content = mText.substr(line.begin, line.end - line.begin);
        const std::string_view trimmed = Trim(content);
        if (trimmed.empty()) {
            line.kind = LineKind::Blank;
            return;
        }
        if (trimmed.front() == ';') {
            line.kind = LineKind::Comment;
            return;
        }
        if (trimmed.front() == '[') {
            const std::size_t close = trimmed.rfind(']');
            if (close != kNone) {
                line.kind = LineKind::Section;
                line.name = Clean(trimmed.substr(1, close - 1));
                return;
            }
        }
        const std::size_t equals = content.find('=');
        if (equals == kNone) {
            line.kind = LineKind::Bare;
            line.name = Clean(content);
            return;
        }
        line.kind = LineKind::Entry;
        line.name = Clean(content.substr(0, equals));
        line.value = Clean(content.substr(equals + 1));
        // A new value keeps the blanks that set '=' apart from a non-empty
        // old value, so "Key = 1" becomes "Key = 2"; blanks that only pad the
        // value ("Key=  1  ") go with it.
        std::size_t valueStart = equals + 1;
        if (!line.value.empty() && equals > 0 && IsBlank(content[equals - 1])) {
            while (IsBlank(content[valueStart])) {
                ++valueStart;
            }
        }
        line.valueBegin = line.begin + valueStart;
    }

    std::string_view mText;
    std::size_t mPos;
};

std::string_view LineBreakOf(std::string_view text) {
    const std::size_t at = text.find_first_of("\r\n");
    if (at == kNone) {
        return kNativeLineBreak;
    }
    if (text[at] == '\n') {
        return "\n";
    }
    return (at + 1 < text.size() && text[at + 1] == '\n') ? "\r\n" : "\r";
}

// Caller-side names: blanks around them do not count, a NUL ends them.
std::optional<std::string_view> SectionName(std::string_view section) {
    section = Clean(section);
    if (section.empty() || HasLineBreak(section)) {
        return std::nullopt;
    }
    return section;
}

std::optional<std::string_view> KeyName(std::string_view key) {
    key = Clean(key);
    // '=' would split the key, a leading ';' or '[' would make a comment or a
    // section header of the line.
    if (key.empty() || HasLineBreak(key) || key.find('=') != kNone || key.front() == ';' ||
        key.front() == '[') {
        return std::nullopt;
    }
    return key;
}

// Builds the edited text in one pass; edits come in text order and do not
// overlap, so memory stays at the size of the result.
class Rewriter {
  public:
    explicit Rewriter(const std::string& text) : mText(text) { mResult.reserve(text.size() + 64); }

    void Replace(std::size_t begin, std::size_t end, std::string_view replacement) {
        mResult.append(mText, mCopied, begin - mCopied);
        mResult += replacement;
        mCopied = end;
    }
    void Insert(std::size_t at, std::string_view text) { Replace(at, at, text); }
    void Remove(const Line& line) { Replace(line.begin, line.next, {}); }

    EditResult Finish(std::string& text) {
        mResult.append(mText, mCopied, std::string::npos);
        if (mResult == mText) {
            return EditResult::Unchanged;
        }
        text = std::move(mResult);
        return EditResult::Changed;
    }

  private:
    const std::string& mText;
    std::string mResult;
    std::size_t mCopied = 0;
};

// Calls visit(line) for each line of the first section of the name, header
// excluded; returns the header when the section exists.
template <typename Visit>
std::optional<Line> VisitSection(std::string_view text, std::string_view section, Visit visit) {
    LineReader reader(text);
    Line line;
    std::optional<Line> header;
    while (reader.Next(line)) {
        if (line.kind == LineKind::Section) {
            if (header) {
                break;
            }
            if (SameName(line.name, section)) {
                header = line;
            }
        } else if (header) {
            visit(line);
        }
    }
    return header;
}

// What an edit of one section needs to know before it starts.
struct SectionScan {
    std::optional<Line> header;
    std::optional<Line> firstKey;    // first entry or bare key
    std::optional<Line> lastKey;     // last entry or bare key
    std::optional<Line> firstMatch;  // first line of the key looked for
};

SectionScan ScanSection(std::string_view text, std::string_view section,
                        std::string_view key = {}) {
    SectionScan scan;
    scan.header = VisitSection(text, section, [&](const Line& line) {
        if (!line.IsKey()) {
            return;
        }
        if (!scan.firstKey) {
            scan.firstKey = line;
        }
        scan.lastKey = line;
        if (!scan.firstMatch && !key.empty() && SameName(line.name, key)) {
            scan.firstMatch = line;
        }
    });
    return scan;
}

// Text for new lines at position `at`: a line break first when they would
// otherwise continue an unterminated last line.
std::string LeadingBreak(std::string_view text, std::size_t at, std::string_view lineBreak) {
    const bool afterUnterminated = at == text.size() && at > 0 && text.back() != '\n' &&
                                   text.back() != '\r' && text != kByteOrderMark;
    return afterUnterminated ? std::string(lineBreak) : std::string();
}

std::string NewSection(std::string_view text, std::string_view section, std::string_view lineBreak,
                       std::string_view body) {
    return LeadingBreak(text, text.size(), lineBreak) + "[" + std::string(section) + "]" +
           std::string(lineBreak) + std::string(body);
}

}  // namespace

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
    const auto sectionName = SectionName(section);
    const auto keyName = KeyName(key);
    if (!sectionName || !keyName) {
        return std::nullopt;
    }
    const SectionScan scan = ScanSection(text, *sectionName, *keyName);
    if (scan.firstMatch && scan.firstMatch->kind == LineKind::Entry) {
        return scan.firstMatch->value;
    }
    return std::nullopt;
}

std::vector<std::string> SectionEntries(std::string_view text, std::string_view section,
                                        std::size_t maxBytes) {
    std::vector<std::string> entries;
    const auto sectionName = SectionName(section);
    if (!sectionName) {
        return entries;
    }
    std::size_t used = 0;
    bool full = false;
    VisitSection(text, *sectionName, [&](const Line& line) {
        if (full || !line.IsKey()) {
            return;
        }
        std::string entry(line.name);
        if (line.kind == LineKind::Entry) {
            entry += '=';
            entry += line.value;
        }
        // An empty text would end a NUL-separated list early.
        if (entry.empty()) {
            return;
        }
        if (entry.size() + 1 > maxBytes - used) {
            full = true;
            return;
        }
        used += entry.size() + 1;
        entries.push_back(std::move(entry));
    });
    return entries;
}

EditResult SetValue(std::string& text, std::string_view section, std::string_view key,
                    std::optional<std::string_view> value) {
    const auto sectionName = SectionName(section);
    const auto keyName = KeyName(key);
    if (!sectionName || !keyName) {
        return EditResult::Invalid;
    }
    Rewriter rewriter(text);
    if (!value) {
        VisitSection(text, *sectionName, [&](const Line& line) {
            if (line.IsKey() && SameName(line.name, *keyName)) {
                rewriter.Remove(line);
            }
        });
        return rewriter.Finish(text);
    }

    const std::string_view newValue = Clean(*value);
    if (HasLineBreak(newValue)) {
        return EditResult::Invalid;
    }
    const std::string_view lineBreak = LineBreakOf(text);
    const SectionScan scan = ScanSection(text, *sectionName, *keyName);
    if (scan.firstMatch) {
        const Line& line = *scan.firstMatch;
        if (line.kind == LineKind::Entry) {
            const std::string_view stored =
                std::string_view(text).substr(line.valueBegin, line.end - line.valueBegin);
            if (stored == newValue) {
                return EditResult::Unchanged;
            }
            rewriter.Replace(line.valueBegin, line.end, newValue);
        } else {
            rewriter.Insert(line.end, "=" + std::string(newValue));
        }
        return rewriter.Finish(text);
    }

    const std::string newLine =
        std::string(*keyName) + "=" + std::string(newValue) + std::string(lineBreak);
    if (scan.header) {
        const std::size_t at = scan.lastKey ? scan.lastKey->next : scan.header->next;
        rewriter.Insert(at, LeadingBreak(text, at, lineBreak) + newLine);
    } else {
        rewriter.Insert(text.size(), NewSection(text, *sectionName, lineBreak, newLine));
    }
    return rewriter.Finish(text);
}

EditResult ReplaceSection(std::string& text, std::string_view section,
                          const std::optional<std::vector<std::string_view>>& entries) {
    const auto sectionName = SectionName(section);
    if (!sectionName) {
        return EditResult::Invalid;
    }
    Rewriter rewriter(text);

    if (!entries) {
        // Every section of the name goes, so that no older copy surfaces
        // once the first is gone. Comments and blank lines stay.
        LineReader reader(text);
        Line line;
        bool inside = false;
        while (reader.Next(line)) {
            if (line.kind == LineKind::Section) {
                inside = SameName(line.name, *sectionName);
            }
            if (inside && (line.kind == LineKind::Section || line.IsKey())) {
                rewriter.Remove(line);
            }
        }
        return rewriter.Finish(text);
    }

    const std::string_view lineBreak = LineBreakOf(text);
    std::string block;
    for (std::string_view entry : *entries) {
        if (HasLineBreak(entry)) {
            return EditResult::Invalid;
        }
        const std::size_t equals = entry.find('=');
        std::string entryLine;
        if (equals == kNone) {
            entryLine = Trim(entry);
        } else {
            entryLine = std::string(Trim(entry.substr(0, equals))) + "=" +
                        std::string(Trim(entry.substr(equals + 1)));
        }
        if (entryLine.empty()) {
            continue;
        }
        if (entryLine.front() == '[' && entryLine.find(']') != kNone) {
            return EditResult::Invalid;  // would open a section of its own
        }
        block += entryLine;
        block += lineBreak;
    }

    const SectionScan scan = ScanSection(text, *sectionName);
    if (!scan.header) {
        rewriter.Insert(text.size(), NewSection(text, *sectionName, lineBreak, block));
        return rewriter.Finish(text);
    }
    if (!scan.firstKey) {
        const std::size_t at = scan.header->next;
        rewriter.Insert(at, LeadingBreak(text, at, lineBreak) + block);
        return rewriter.Finish(text);
    }
    // The new entries take the place of the first old one; the other old
    // entries go, comments and blank lines between them stay.
    VisitSection(text, *sectionName, [&](const Line& line) {
        if (!line.IsKey()) {
            return;
        }
        rewriter.Replace(line.begin, line.next, line.begin == scan.firstKey->begin ? block : "");
    });
    return rewriter.Finish(text);
}

std::vector<std::string_view> SplitEntryList(std::string_view list) {
    std::vector<std::string_view> entries;
    std::size_t pos = 0;
    while (pos < list.size()) {
        const std::size_t nul = list.find('\0', pos);
        const std::string_view entry =
            list.substr(pos, nul == kNone ? std::string_view::npos : nul - pos);
        if (entry.empty()) {
            break;
        }
        entries.push_back(entry);
        if (nul == kNone) {
            break;
        }
        pos = nul + 1;
    }
    return entries;
}

}  // namespace mervok::ini
