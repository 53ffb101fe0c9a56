#include "app/help_file.h"

#include <fstream>
#include <utility>
#include <vector>

#include "app/program_folder.h"

namespace mervok {

namespace {

// Larger files are no help file of ours; reading stops there.
constexpr std::size_t kMaxHelpFileSize = 1 << 20;

std::optional<int> TopicNumber(std::string_view line) {
    if (line.size() < 3 || line.front() != '[' || line.back() != ']' || line.size() > 11) {
        return std::nullopt;
    }
    int number = 0;
    for (char c : line.substr(1, line.size() - 2)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

std::string JoinTrimmed(const std::vector<std::string_view>& lines) {
    std::size_t first = 0;
    std::size_t last = lines.size();
    auto blank = [](std::string_view line) {
        return line.find_first_not_of(" \t") == std::string_view::npos;
    };
    while (first < last && blank(lines[first])) {
        ++first;
    }
    while (last > first && blank(lines[last - 1])) {
        --last;
    }
    std::string text;
    for (std::size_t i = first; i < last; ++i) {
        if (i > first) {
            text += '\n';
        }
        text += lines[i];
    }
    return text;
}

}  // namespace

std::string HelpFilePath(std::string_view programFolder, std::string_view programFileName) {
    std::string name(programFileName);
    auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return PathInFolder(programFolder, name + ".hlp");
}

HelpFile HelpFile::Parse(std::string_view text) {
    HelpFile help;
    std::optional<int> current;
    std::vector<std::string_view> lines;
    auto finish = [&] {
        std::string topic = JoinTrimmed(lines);
        if (current && !topic.empty()) {
            help.mTopics.emplace(*current, std::move(topic));
        }
        lines.clear();
    };
    while (!text.empty()) {
        auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!line.empty() && line.front() == '#') {
            continue;
        }
        if (auto number = TopicNumber(line)) {
            finish();
            current = number;
        } else if (current) {
            lines.push_back(line);
        }
    }
    finish();
    return help;
}

HelpFile HelpFile::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::string text;
    text.resize(kMaxHelpFileSize);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return Parse(text);
}

std::optional<std::string> HelpFile::Topic(int number) const {
    auto found = mTopics.find(number);
    if (found == mTopics.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::string HelpFile::TopicOrNoHelp(int number) const {
    return Topic(number).value_or(std::string(kNoHelpText));
}

}  // namespace mervok
