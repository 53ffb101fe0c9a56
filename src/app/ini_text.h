#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The INI rules on bytes, without any file: look-ups, and the smallest edits
// that set or delete a key or a section. SettingsStore adds the file around
// them.
//
// A line ends at LF, CR LF or a lone CR; a UTF-8 byte-order mark in front of
// the first line is skipped. Blanks (space, tab, VT, FF) around a line, a
// name or a value are ignored, and names and values end at a NUL byte.
// "[name]" opens a section (the last ']' closes the name), a line starting
// with ';' is a comment, "key=value" is an entry (the first '=' splits) and
// any other text is a key without a value. Names compare without regard to
// the case of single-byte ASCII letters; other bytes compare exactly, the two
// bytes of a Shift-JIS character included (its second byte may look like an
// ASCII letter), so Shift-JIS or UTF-8 text passes through untouched. Only the first section of a
// name counts, and in it only the first line of a key.
//
// Edits never touch comments, blank lines or lines of other keys and
// sections; added lines use the text's first line break.
namespace mervok::ini {

enum class EditResult {
    Unchanged,  // the text already said so
    Changed,
    Invalid,  // a name or value that cannot be stored as one line
};

// The value of key in section, trimmed; nullopt when the section or the key
// is missing, or the key's line has no '='.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key);

// The section's entries in file order as "key=value" texts (a key without a
// value as its bare name); comments and blank lines are left out. The list
// stops before the first entry that would take the texts plus one NUL after
// each beyond maxBytes.
std::vector<std::string> SectionEntries(std::string_view text, std::string_view section,
                                        std::size_t maxBytes = std::string_view::npos);

// Sets key to value, adding the key (after the section's last entry) or the
// section (at the end) as needed; nullopt deletes every line of the key in
// the section.
EditResult SetValue(std::string& text, std::string_view section, std::string_view key,
                    std::optional<std::string_view> value);

// Replaces the section's entries with the given ones, in their order, where
// the first old entry stood; nullopt deletes the section's header and entry
// lines, for every section of that name.
EditResult ReplaceSection(std::string& text, std::string_view section,
                          const std::optional<std::vector<std::string_view>>& entries);

// "a=1\0b=2\0\0" as its entries; the list ends at an empty entry or at the
// end of the text.
std::vector<std::string_view> SplitEntryList(std::string_view list);

}  // namespace mervok::ini
