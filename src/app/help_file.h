#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace mervok {

// Shown for a control or topic number that has no help, and when the help
// file is missing.
inline constexpr std::string_view kNoHelpText = "ヘルプはありません。";

// The help file beside the program: the executable's name with its extension,
// if any, replaced by ".hlp" ("mervok" -> "mervok.hlp").
std::string HelpFilePath(std::string_view programFolder, std::string_view programFileName);

// The pop-up topics of our help file. The format (UTF-8 text):
//   - a line starting with '#' is a comment;
//   - a line "[n]", n a decimal number, starts topic n;
//   - the following lines up to the next topic line are the topic's text;
//     blank lines at its start and end are dropped, LF and CR LF both end a
//     line, and the text keeps LF between its lines.
// Text before the first topic line is ignored, a topic without text counts as
// missing, and of two topics with the same number the first counts.
class HelpFile {
  public:
    HelpFile() = default;

    static HelpFile Parse(std::string_view text);
    // A missing or unreadable file gives a help file without topics.
    static HelpFile Load(const std::string& path);

    std::optional<std::string> Topic(int number) const;
    // The topic's text, or kNoHelpText.
    std::string TopicOrNoHelp(int number) const;

    std::size_t TopicCount() const { return mTopics.size(); }

  private:
    std::map<int, std::string> mTopics;
};

}  // namespace mervok
