// Fuzzes the INI reader and writer: any bytes must read without a crash, and
// every edit must do what it says and touch nothing else.
//
// Input: section, key and value texts first (FuzzedDataProvider's
// backslash-ended strings), the operation in the last bytes, the settings
// text in between.

#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ini_text.h"
#include "app/settings_store.h"
#include "app/text_util.h"

namespace {

using mervok::ini::EditResult;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// A value as it reads back: cut at a NUL, blanks around it removed.
std::string Cleaned(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\v\f";
    text = text.substr(0, text.find('\0'));
    const std::size_t first = std::min(text.find_first_not_of(kBlanks), text.size());
    return std::string(text.substr(first, text.find_last_not_of(kBlanks) + 1 - first));
}

bool SameName(std::string_view a, std::string_view b) {
    return mervok::AsciiLower(a) == mervok::AsciiLower(b);
}

std::string KeyOf(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

// The text cut into lines with their breaks (LF, CR LF or a lone CR).
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            lines.push_back(text.substr(begin, i + 1 - begin));
            begin = i + 1;
        }
    }
    if (begin < text.size()) {
        lines.push_back(text.substr(begin));
    }
    return lines;
}

// True when after is before with some whole lines (bytes with their break)
// taken out. A byte-order mark in front stays and is no part of the first
// line. (Lines are matched on bytes: after a lone CR, a kept LF line reads as
// part of a CR LF break.)
bool OnlyLinesRemoved(std::string_view before, std::string_view after) {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    if (before.starts_with(kMark)) {
        if (!after.starts_with(kMark)) {
            return false;
        }
        before.remove_prefix(kMark.size());
        after.remove_prefix(kMark.size());
    }
    std::size_t matched = 0;
    for (std::string_view line : Lines(before)) {
        if (after.substr(matched).starts_with(line)) {
            matched += line.size();
        }
    }
    return matched == after.size();
}

// True when before and after differ in one stretch that, in before, lies
// within a single line.
bool OneLineChanged(std::string_view before, std::string_view after) {
    std::size_t prefix = 0;
    const std::size_t shorter = std::min(before.size(), after.size());
    while (prefix < shorter && before[prefix] == after[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < shorter - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
        ++suffix;
    }
    const std::string_view replaced = before.substr(prefix, before.size() - prefix - suffix);
    return replaced.find_first_of("\r\n") == std::string_view::npos;
}

// Values of the other keys that the edit must leave alone (a sample, to keep
// each run fast).
struct Snapshot {
    std::vector<std::string> otherSection;
    std::vector<std::pair<std::string, std::optional<std::string>>> otherKeys;
};

Snapshot Take(std::string_view text, const std::string& section, const std::string& key,
              const std::string& otherSection) {
    Snapshot snapshot;
    if (!SameName(Cleaned(otherSection), Cleaned(section))) {
        snapshot.otherSection = mervok::ini::SectionEntries(text, otherSection);
    }
    const auto entries = mervok::ini::SectionEntries(text, section);
    for (std::size_t i = 0; i < entries.size() && i < 16; ++i) {
        const std::string name = Cleaned(KeyOf(entries[i]));
        if (!SameName(name, Cleaned(key))) {
            auto value = mervok::ini::FindValue(text, section, name);
            snapshot.otherKeys.emplace_back(
                name, value ? std::optional<std::string>(*value) : std::nullopt);
        }
    }
    return snapshot;
}

// The entries as a section read gives them back after a write.
std::vector<std::string> Expected(const std::vector<std::string_view>& entries) {
    std::vector<std::string> expected;
    for (std::string_view entry : entries) {
        const std::size_t equals = entry.find('=');
        std::string line =
            equals == std::string_view::npos
                ? Cleaned(entry)
                : Cleaned(entry.substr(0, equals)) + "=" + Cleaned(entry.substr(equals + 1));
        if (!line.empty() && line.front() != ';') {
            expected.push_back(line);
        }
    }
    return expected;
}

void FuzzText(std::string text, int op, const std::string& section, const std::string& key,
              const std::string& value, const std::string& other) {
    namespace ini = mervok::ini;
    const std::string before = text;
    const Snapshot snapshot = Take(before, section, key, other);
    const auto entries = ini::SplitEntryList(value);
    EditResult result = EditResult::Unchanged;
    switch (op) {
        case 0:  // reads only
            (void)ini::FindValue(text, section, key);
            (void)ini::SectionEntries(text, section, value.size());
            return;
        case 1:
            result = ini::SetValue(text, section, key, value);
            break;
        case 2:
            result = ini::SetValue(text, section, key, std::nullopt);
            break;
        case 3:
            result = ini::ReplaceSection(text, section, entries);
            break;
        default:
            result = ini::ReplaceSection(text, section, std::nullopt);
            break;
    }
    if (result == EditResult::Invalid) {
        Check(text == before, "an invalid edit changed the text");
        return;
    }
    if (!SameName(Cleaned(other), Cleaned(section))) {
        Check(ini::SectionEntries(text, other) == snapshot.otherSection, "another section changed");
    }
    if (op <= 2) {
        for (const auto& [name, was] : snapshot.otherKeys) {
            const auto now = ini::FindValue(text, section, name);
            Check((now ? std::optional<std::string>(*now) : std::nullopt) == was,
                  "another key changed");
        }
    }
    if (op == 1) {
        const auto read = ini::FindValue(text, section, key);
        Check(read && *read == Cleaned(value), "written value does not read back");
        Check(OneLineChanged(before, text), "a write changed more than one line");
        std::string again = text;
        Check(ini::SetValue(again, section, key, value) == EditResult::Unchanged,
              "second equal write changed the text");
    } else if (op == 2) {
        Check(!ini::FindValue(text, section, key), "deleted key still reads");
        for (const std::string& entry : ini::SectionEntries(text, section)) {
            Check(!SameName(Cleaned(KeyOf(entry)), Cleaned(key)), "deleted key still listed");
        }
        Check(OnlyLinesRemoved(before, text), "a delete did more than remove lines");
    } else if (op == 3) {
        Check(ini::SectionEntries(text, section) == Expected(entries),
              "section does not read back as written");
    } else {
        Check(ini::SectionEntries(text, section).empty(), "deleted section listed");
        Check(!ini::FindValue(text, section, key), "deleted section still reads");
        Check(OnlyLinesRemoved(before, text), "a section delete did more than remove lines");
    }
}

// A folder of its own in $TMPDIR; run_fuzzers.sh points that at a tmpfs
// folder (the store flushes every write to disk) and removes it afterwards.
std::string ScratchPath() {
    static const std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/ini_fuzzer.XXXXXX";
        Check(::mkdtemp(pattern.data()) != nullptr, "no scratch folder");
        return pattern;
    }();
    return folder + "/Mervok.ini";
}

// The same edits through the file: the file must end up as the text edit
// says, and a section read must respect its buffer.
void FuzzFile(const std::string& text, int op, const std::string& section, const std::string& key,
              const std::string& value, std::size_t bufferSize) {
    const std::string path = ScratchPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    mervok::SettingsStore store(path);

    std::string buffer(bufferSize, ' ');
    const std::size_t used = store.ReadSection(section, buffer);
    if (bufferSize >= 2) {
        Check(used < bufferSize && buffer[used] == '\0', "section list not closed");
        Check(used == 0 || buffer[used - 1] == '\0', "last entry not ended");
        const std::size_t end = used == 0 ? 2 : used + 1;
        Check(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(end), buffer.end(),
                          [](char c) { return c == ' '; }),
              "section read wrote past its list");
        std::vector<std::string> listed;
        for (std::size_t pos = 0; pos < used;) {
            const std::size_t nul = buffer.find('\0', pos);
            listed.push_back(buffer.substr(pos, nul - pos));
            pos = nul + 1;
        }
        const auto all = mervok::ini::SectionEntries(text, section);
        Check(listed.size() <= all.size() && std::equal(listed.begin(), listed.end(), all.begin()),
              "section read is not a run of whole entries");
    }
    (void)store.GetInt(section, key, 7);
    Check(store.GetString(section, key, "").size() <= 511, "string longer than 511 bytes");

    std::string expected = text;
    bool ok = false;
    if (op == 1) {
        ok = store.WriteString(section, key, value);
        Check(ok == (mervok::ini::SetValue(expected, section, key, value) != EditResult::Invalid),
              "file write result differs");
    } else if (op == 2) {
        ok = store.WriteSection(section, value);
        Check(ok == (mervok::ini::ReplaceSection(expected, section,
                                                 mervok::ini::SplitEntryList(value)) !=
                     EditResult::Invalid),
              "file section write result differs");
    } else {
        return;
    }
    std::ifstream written(path, std::ios::binary);
    Check(std::string(std::istreambuf_iterator<char>(written), {}) == expected,
          "file differs from the edited text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::string section = provider.ConsumeRandomLengthString(40);
    const std::string key = provider.ConsumeRandomLengthString(40);
    const std::string value = provider.ConsumeRandomLengthString(200);
    const std::string other = provider.ConsumeRandomLengthString(40);
    const int op = provider.ConsumeIntegralInRange<int>(0, 4);
    const int fileOp = provider.ConsumeIntegralInRange<int>(0, 15);
    const auto bufferSize = provider.ConsumeIntegralInRange<std::size_t>(0, 300);
    const std::string text = provider.ConsumeRemainingBytesAsString();

    FuzzText(text, op, section, key, value, other);
    // Files are slow; one input in several goes through the store as well.
    if (fileOp < 3) {
        FuzzFile(text, fileOp, section, key, value, bufferSize);
    }
    return 0;
}
