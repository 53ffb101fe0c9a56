#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace mervok {

inline constexpr std::string_view kMsgNoSearchFolder = "検索フォルダが入力されていません。";
inline constexpr std::string_view kMsgSearchFolderNotFound = "検索フォルダが見つかりません。";

// 1 when path is a folder (a link to a folder counts), 2 when it exists but
// is not one, 0 when it cannot be examined.
std::int16_t FolderExists(const std::string& path);

// The message that stops a run before it starts, or "" when the folder text
// (trimmed of blanks) names an existing folder.
std::string_view ValidateSearchFolder(std::string_view folderText);

// Measures a run's duration on a monotonic clock, so that a run spanning
// midnight or a clock change still shows a sound figure.
class ElapsedTimer {
  public:
    ElapsedTimer() : mStart(std::chrono::steady_clock::now()) {}
    void Restart() { mStart = std::chrono::steady_clock::now(); }
    // Whole seconds, rounded to the nearest, followed by " sec": "12 sec".
    std::string Text() const;
    std::chrono::steady_clock::duration Elapsed() const {
        return std::chrono::steady_clock::now() - mStart;
    }

  private:
    std::chrono::steady_clock::time_point mStart;
};

// The text ElapsedTimer::Text gives for a duration.
std::string ElapsedText(std::chrono::steady_clock::duration elapsed);

}  // namespace mervok
