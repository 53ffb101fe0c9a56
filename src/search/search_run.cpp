#include "search/search_run.h"

#include <sys/stat.h>

#include "app/text_util.h"

namespace mervok {

std::int16_t FolderExists(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) {
        return 0;
    }
    return S_ISDIR(info.st_mode) ? 1 : 2;
}

std::string_view ValidateSearchFolder(std::string_view folderText) {
    const std::string folder = TrimBlanks(folderText);
    if (folder.empty()) {
        return kMsgNoSearchFolder;
    }
    if (FolderExists(folder) != 1) {
        return kMsgSearchFolderNotFound;
    }
    return {};
}

std::string ElapsedText(std::chrono::steady_clock::duration elapsed) {
    const auto seconds = std::chrono::round<std::chrono::seconds>(elapsed).count();
    return std::to_string(seconds) + " sec";
}

std::string ElapsedTimer::Text() const {
    return ElapsedText(Elapsed());
}

}  // namespace mervok
