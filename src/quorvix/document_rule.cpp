#include "quorvix/document_rule.h"

#include <algorithm>
#include <array>

#include "app/text_util.h"
#include "quorvix/text_decoding.h"
#include "search/search_engine.h"

namespace mervok::quorvix {

namespace {

std::string LowerExtension(std::string_view name) {
    const auto slash = name.find_last_of("/\\");
    const std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
    const auto dot = last.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    return AsciiLower(last.substr(dot + 1));
}

bool OneOf(std::string_view value, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool LooksBinary(std::string_view head) {
    if (head.starts_with("\xEF\xBB\xBF") || head.starts_with("\xFF\xFE") ||
        head.starts_with("\xFE\xFF")) {
        return false;
    }
    for (const std::string_view magic :
         {std::string_view("%PDF"), std::string_view("{\\rtf"), std::string_view("PK\x03\x04", 4),
          std::string_view("\xD0\xCF\x11\xE0"), std::string_view("ITSF"), std::string_view("MZ"),
          std::string_view("\x7F"
                           "ELF"),
          std::string_view("\x3F\x5F\x03\x00", 4), std::string_view("\x89PNG"),
          std::string_view("GIF8"), std::string_view("\xFF\xD8\xFF")}) {
        if (head.starts_with(magic)) {
            return true;
        }
    }
    const bool hasNul = head.find('\0') != std::string_view::npos;
    if (hasNul) {
        // UTF-16 text has its NULs in one parity only.
        const TextEncoding guess = DetectEncoding(head);
        return guess != TextEncoding::Utf16Le && guess != TextEncoding::Utf16Be;
    }
    std::size_t control = 0;
    for (const char c : head) {
        const auto u = static_cast<unsigned char>(c);
        // Tab, line ends, form feed, DOS's end-of-file mark and JIS escapes
        // are at home in text.
        control +=
            u < 0x20 && std::string_view("\t\n\r\f\x1A\x1B").find(c) == std::string_view::npos;
    }
    return control * 20 > head.size();
}

// Without control characters (C0, DEL, C1), ':', and the marks that reorder
// or hide text (bidi overrides, embeddings, isolates and marks), so that a
// name shows what it is: "spoof\u202Egnp.exe" reads as what it ends in.
std::string WithoutInvisibles(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        const std::string_view rest = name.substr(i);
        std::size_t drop = 0;
        if (c < 0x20 || c == 0x7F || c == ':') {
            drop = 1;
        } else if (c == 0xC2 && rest.size() >= 2 && static_cast<unsigned char>(rest[1]) >= 0x80 &&
                   static_cast<unsigned char>(rest[1]) < 0xA0) {
            drop = 2;  // U+0080-U+009F
        } else if (rest.starts_with("\xD8\x9C")) {
            drop = 2;  // U+061C
        } else if (rest.size() >= 3 && rest.starts_with("\xE2\x80")) {
            const auto d = static_cast<unsigned char>(rest[2]);
            drop = d == 0x8E || d == 0x8F || (d >= 0xAA && d <= 0xAE) ? 3 : 0;  // U+200E-F, 202A-E
        } else if (rest.size() >= 3 && rest.starts_with("\xE2\x81")) {
            const auto d = static_cast<unsigned char>(rest[2]);
            drop = d >= 0xA6 && d <= 0xA9 ? 3 : 0;  // U+2066-U+2069
        }
        if (drop == 0) {
            out += name[i];
            drop = 1;
        }
        i += drop;
    }
    return out;
}

}  // namespace

std::string DocumentWildcardsFor(std::string_view docTypes) {
    DocTypeSource source;
    source.fixed = std::string(docTypes);
    return DocumentWildcards(0, source);
}

EntryKind KindOf(std::string_view name, std::string_view head) {
    if (LooksBinary(head.substr(0, kSniffBytes))) {
        return EntryKind::Binary;
    }
    return OneOf(LowerExtension(name), {"htm", "html"}) ? EntryKind::Html : EntryKind::Text;
}

bool IsExecutable(std::string_view name, std::string_view head) {
    if (head.starts_with("MZ") ||
        head.starts_with("\x7F"
                         "ELF") ||
        head.starts_with("#!")) {
        return true;
    }
    // The name as it would be written: "app.jar." and "run.sh " are programs.
    return OneOf(
        LowerExtension(ExportFileName(name)),
        {"exe",         "com",  "bat", "cmd",      "pif",     "scr",    "msi", "msp",  "cpl",
         "hta",         "vbs",  "vbe", "js",       "jse",     "wsf",    "wsh", "ps1",  "lnk",
         "url",         "reg",  "inf", "sh",       "bash",    "csh",    "zsh", "ksh",  "fish",
         "command",     "run",  "bin", "appimage", "desktop", "kdelnk", "jar", "jnlp", "flatpakref",
         "flatpakrepo", "snap", "py",  "pyw",      "pyz",     "pyc",    "pl",  "rb",   "php",
         "lua",         "deb",  "rpm", "apk",      "so",      "dll",    "sys", "drv",  "ocx"});
}

std::string DisplayName(std::string_view rawName) {
    std::string name =
        DecodeText(rawName, IsUtf8(rawName) ? TextEncoding::Utf8 : TextEncoding::ShiftJis).utf8;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
    return name;
}

std::string ExportFileName(std::string_view displayName) {
    const auto slash = displayName.find_last_of("/\\");
    std::string name(slash == std::string_view::npos ? displayName : displayName.substr(slash + 1));
    name = WithoutInvisibles(name);
    // Blanks and dots at the end hide the extension from a reader (and
    // Windows drops them): "launcher.desktop." is a launcher.
    for (bool trimmed = true; trimmed;) {
        trimmed = false;
        for (const std::string_view tail : {".", " ", "\xC2\xA0", "\xE3\x80\x80"}) {
            if (name.ends_with(tail)) {
                name.resize(name.size() - tail.size());
                trimmed = true;
            }
        }
    }
    constexpr std::size_t kMaxName = 200;
    if (name.size() > kMaxName) {
        // Keep the extension, which tells the desktop what the file is; cut
        // the stem at a character boundary.
        const auto dot = name.rfind('.');
        const std::string ext =
            dot != std::string::npos && name.size() - dot <= 16 ? name.substr(dot) : "";
        std::size_t cut = kMaxName - ext.size();
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        name = name.substr(0, cut) + ext;
    }
    if (name.empty()) {  // dot-only names end here too
        return "entry";
    }
    return name;
}

}  // namespace mervok::quorvix
