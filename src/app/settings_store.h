#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mervok {

// Reads and writes keys and whole sections of one INI file, with the results of
// the classic private-profile functions: section and key names compare without
// regard to case, blanks around names and values are ignored, the first of
// duplicate keys wins. The file is handled as bytes; a write changes only the
// lines it must and replaces the file atomically, so every other byte
// (comments, order, unknown keys, line endings, encoding) stays as it was.
// A write that fails (read-only file or folder, full disk) leaves the old file
// and reports false; callers may ignore it. A file that is not well formed
// (binary bytes, a byte-order mark, no final line break, very long lines)
// is read as far as it makes sense and survives writes; a name or value that
// would not stay one line of its own (line breaks, '=' in a key, a key
// starting with ';' or '[') is not written and reports false. The parsing
// rules are in ini_text.h.
//
// Settings are kept only where no one else can plant anything: in a folder
// that belongs to the user the program runs as and that no one else may
// write to (a link naming it counts only when that user or root made it),
// in a regular file of that user's, never through a link. A file refused so
// reads as missing and is never written; temporary files are made in that
// folder only, and the replace never follows a link.
enum class SettingsTrust {
    Usable,              // also when the file or the folder does not exist yet
    FolderNotOwned,      // the folder, or the link naming it, is someone else's
    FolderOpenToOthers,  // its group or others may write to it
    FileNotOwned,        // the file is a link or belongs to someone else
};

// One key to set (or, with std::nullopt, to delete) in a write of several.
struct SettingsValue {
    std::string_view section;
    std::string_view key;
    std::optional<std::string_view> value;
};

class SettingsStore {
  public:
    explicit SettingsStore(std::string path);

    const std::string& Path() const { return mPath; }

    // Whether the file may be read and written; see SettingsTrust.
    SettingsTrust Trust() const;

    // The value's leading decimal integer (blanks, a sign, digits; beyond 32
    // bits it wraps around like the classic function); defaultValue when the
    // file, the section or the key is missing; 0 when the value has no
    // leading digits, an empty value included.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;

    // The value text, at most 511 bytes, without quotes that enclose all of
    // it ("'a'" and "\"a\"" read as a); defaultValue, without trailing
    // blanks, when the key is missing or its line has no '='.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;

    // Creates the file, section or key as needed and replaces an existing
    // value (a new key goes after the section's last entry, a new section at
    // the end of the file); std::nullopt deletes the key, every line of it in
    // the section. Writing what the file already says leaves it untouched.
    bool WriteString(std::string_view section, std::string_view key,
                     std::optional<std::string_view> value);

    // Every value as WriteString would write it, in one replace of the file:
    // either all of them are written or, when one cannot be stored or the
    // write fails, none.
    bool WriteStrings(const std::vector<SettingsValue>& values);

    // Creates the file with contents when it does not exist; an existing
    // file is left as it is (true).
    bool CreateIfMissing(std::string_view contents);

    // Copies the section's entries as "key=value" texts, each ended by a NUL,
    // the list ended by a second NUL, into the front of buffer, cut to what
    // fits in buffer.size(); the rest of buffer is left as it was. Returns the
    // number of bytes written before the final NUL.
    //
    // Only whole entries are copied: when the list does not fit, it ends
    // after the last entry that fits, with its closing NUL. (The classic
    // function instead cuts the last text in the middle and returns
    // buffer.size() - 2; a half value such as "Width=12" of "Width=1234"
    // would then be taken over as a wrong setting, where a missing one falls
    // back to its default.) An empty list is two NULs.
    std::size_t ReadSection(std::string_view section, std::string& buffer) const;

    // Replaces all entries of the section with the NUL-separated list
    // ("a=1\0b=2\0\0"), in its order, where the first old entry stood;
    // comment and blank lines stay. std::nullopt deletes the section's header
    // and entries, in every section of that name, so that no older copy comes
    // to light afterwards.
    bool WriteSection(std::string_view section, std::optional<std::string_view> entries);

    // Test seam: called after the new contents are complete and flushed in
    // the temporary file beside the settings file, just before that file
    // replaces it; returning false abandons the write there, as if the
    // program had stopped. An empty function removes the hook.
    using BeforeReplaceHook = std::function<bool(const std::string& tempPath)>;
    static void SetBeforeReplaceHookForTesting(BeforeReplaceHook hook);

  private:
    std::string mPath;
};

}  // namespace mervok
