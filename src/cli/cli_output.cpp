#include "cli/cli_output.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "results/row_text.h"

namespace mervok {

namespace {

// Length of the valid UTF-8 sequence at the front of text and its code point,
// or nothing when the first byte does not start one.
struct Utf8Char {
    std::size_t length;
    char32_t codePoint;
};

std::optional<Utf8Char> DecodeUtf8(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return Utf8Char{1, lead};
    }
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() < length) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return std::nullopt;
    }
    return Utf8Char{length, codePoint};
}

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

void SortForOutput(std::vector<FoundArchive>& hits) {
    std::stable_sort(hits.begin(), hits.end(), [](const FoundArchive& a, const FoundArchive& b) {
        if (a.fileName != b.fileName) {
            return a.fileName < b.fileName;
        }
        return a.folder < b.folder;
    });
}

std::string FormatTable(const std::vector<FoundArchive>& hits) {
    struct Row {
        std::array<std::string, 5> cells;
    };
    std::vector<Row> rows;
    rows.reserve(hits.size());
    std::array<std::size_t, 5> widths{};
    for (const auto& hit : hits) {
        Row row{{hit.fileName, FolderText(hit.folder), SizeText(hit.size), hit.kind, hit.modified}};
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

std::string FormatJson(const std::vector<FoundArchive>& hits) {
    std::string out = "[";
    bool first = true;
    for (const auto& hit : hits) {
        out += first ? "\n  {" : ",\n  {";
        first = false;
        out += "\"fileName\": " + JsonString(hit.fileName);
        out += ", \"folder\": " + JsonString(FolderText(hit.folder));
        out += ", \"size\": " + std::to_string(hit.size);
        out += ", \"kind\": " + JsonString(hit.kind);
        out += ", \"modified\": " + JsonString(hit.modified);
        out += ", \"path\": " + JsonString(hit.Path());
        out += "}";
    }
    out += first ? "]\n" : "\n]\n";
    return out;
}

}  // namespace mervok
