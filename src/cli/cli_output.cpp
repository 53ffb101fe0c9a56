#include "cli/cli_output.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "app/text_util.h"
#include "results/row_text.h"

namespace mervok {

namespace {

bool IsWide(char32_t c) {
    // The East Asian wide and full-width blocks that occur in file names.
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

// Characters a terminal acts on instead of showing: C0 and C1 controls, and
// the line separators and direction overrides that move text where it does
// not stand.
bool ActsOnTerminal(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void AppendHexBytes(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char b : bytes) {
        const auto byte = static_cast<unsigned char>(b);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
}

void AppendPadded(std::string& out, std::string_view text, std::size_t width) {
    out += text;
    const std::size_t used = DisplayWidth(text);
    if (used < width) {
        out.append(width - used, ' ');
    }
}

}  // namespace

std::size_t DisplayWidth(std::string_view text) {
    std::size_t width = 0;
    while (!text.empty()) {
        const auto decoded = DecodeUtf8(text);
        if (!decoded) {
            ++width;
            text.remove_prefix(1);
            continue;
        }
        width += IsWide(decoded->codePoint) ? 2 : 1;
        text.remove_prefix(decoded->length);
    }
    return width;
}

std::string TableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto decoded = DecodeUtf8(text);
        const std::size_t length = decoded ? decoded->length : 1;
        const std::string_view character = text.substr(0, length);
        text.remove_prefix(length);
        if (!decoded) {
            AppendHexBytes(out, character);
        } else if (decoded->codePoint == '\\') {
            out += "\\\\";
        } else if (decoded->codePoint == '\n') {
            out += "\\n";
        } else if (decoded->codePoint == '\r') {
            out += "\\r";
        } else if (decoded->codePoint == '\t') {
            out += "\\t";
        } else if (ActsOnTerminal(decoded->codePoint)) {
            AppendHexBytes(out, character);
        } else {
            out += character;
        }
    }
    return out;
}

std::string JsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    while (!text.empty()) {
        const auto decoded = DecodeUtf8(text);
        if (!decoded) {
            const auto byte = static_cast<unsigned char>(text.front());
            out += "\\udc";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
            text.remove_prefix(1);
            continue;
        }
        const char32_t c = decoded->codePoint;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out.append(text.substr(0, decoded->length));
        }
        text.remove_prefix(decoded->length);
    }
    out += '"';
    return out;
}

std::string FormatTable(const std::vector<FoundArchive>& hits, bool matchCounts) {
    struct Row {
        std::vector<std::string> cells;
    };
    std::vector<Row> rows;
    rows.reserve(hits.size());
    std::array<std::size_t, 6> widths{};
    for (const auto& hit : hits) {
        Row row{{TableText(hit.fileName), TableText(FolderText(hit.folder)), SizeText(hit.size),
                 std::string(KindLabel(hit)), hit.modified}};
        if (matchCounts) {
            row.cells.push_back(std::to_string(hit.text.matches.size()) +
                                (hit.text.cut ? "+" : ""));
        }
        for (std::size_t i = 0; i < row.cells.size(); ++i) {
            widths[i] = std::max(widths[i], DisplayWidth(row.cells[i]));
        }
        rows.push_back(std::move(row));
    }
    std::string out;
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.cells.size(); ++i) {
            if (i + 1 == row.cells.size()) {
                out += row.cells[i];
            } else {
                AppendPadded(out, row.cells[i], widths[i]);
                out += "  ";
            }
        }
        out += '\n';
    }
    return out;
}

std::string FormatMatches(const std::vector<FoundArchive>& hits, bool mark) {
    std::string out;
    for (const auto& hit : hits) {
        const std::string path = TableText(hit.Path());
        for (const DocumentMatch& match : hit.text.matches) {
            const std::string_view snippet = match.snippet;
            const std::size_t at = std::min(match.snippetMatchOffset, snippet.size());
            const std::string_view found = snippet.substr(at, match.snippetMatchLength);
            out += path + ':' + TableText(match.entry) + ':' + std::to_string(match.line) + ": ";
            out += TableText(snippet.substr(0, at));
            out += mark ? "\033[1;31m" + TableText(found) + "\033[0m" : TableText(found);
            out += TableText(snippet.substr(at + found.size()));
            out += '\n';
        }
    }
    return out;
}

std::string FormatJson(const std::vector<FoundArchive>& hits, bool matches) {
    std::string out = "[";
    bool first = true;
    for (const auto& hit : hits) {
        out += first ? "\n  {" : ",\n  {";
        first = false;
        out += "\"fileName\": " + JsonString(hit.fileName);
        out += ", \"folder\": " + JsonString(FolderText(hit.folder));
        out += ", \"size\": " + std::to_string(hit.size);
        out += ", \"kind\": " + JsonString(KindLabel(hit));
        out += ", \"modified\": " + JsonString(hit.modified);
        out += ", \"path\": " + JsonString(hit.Path());
        if (matches) {
            const TextFindings& text = hit.text;
            out += ", \"matches\": [";
            for (std::size_t i = 0; i < text.matches.size(); ++i) {
                const DocumentMatch& match = text.matches[i];
                out += i == 0 ? "\n    {" : ",\n    {";
                out += "\"entry\": " + JsonString(match.entry);
                out += ", \"encoding\": " + JsonString(match.encoding);
                out += ", \"line\": " + std::to_string(match.line);
                out += ", \"column\": " + std::to_string(match.column);
                out += ", \"snippet\": " + JsonString(match.snippet) + "}";
            }
            out += text.matches.empty() ? "]" : "\n  ]";
            out += std::string(", \"matchesCut\": ") + (text.cut ? "true" : "false");
            out += std::string(", \"bomb\": ") + (text.bomb ? "true" : "false");
            out += ", \"encrypted\": " + std::to_string(text.encrypted);
            out += ", \"damaged\": " + std::to_string(text.damaged);
        }
        out += "}";
    }
    out += first ? "]\n" : "\n]\n";
    return out;
}

}  // namespace mervok
