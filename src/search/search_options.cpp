#include "search/search_options.h"

#include "app/program_folder.h"
#include "app/text_util.h"

namespace mervok {

UsableFormats GetUsableFormats(const LibraryVersions& versions) {
    UsableFormats usable;
    usable.lha = versions.unlha > 0;
    usable.zip = versions.unzip > 0;
    usable.cab = versions.cab > 0;
    usable.exe = versions.unlha > 0 || versions.unzip > 0 || versions.cab >= kCabSfxVersion;
    return usable;
}

bool AnyChosenFormatUsable(const SearchOptions& options, const LibraryVersions& versions) {
    const UsableFormats usable = GetUsableFormats(versions);
    return (options.searchExe && usable.exe) || (options.searchCab && usable.cab) ||
           (options.searchLha && usable.lha) || (options.searchZip && usable.zip);
}

std::string FilePattern(const SearchOptions& options, const LibraryVersions& versions) {
    const UsableFormats usable = GetUsableFormats(versions);
    std::string pattern;
    if (options.searchLha && usable.lha) {
        pattern += "*.lzh";
    }
    if (options.searchZip && usable.zip) {
        pattern += "*.zip";
    }
    if (options.searchCab && usable.cab) {
        pattern += "*.cab";
    }
    if (options.searchExe && usable.exe) {
        pattern += "*.exe";
    }
    // Two formats or more: list everything and let the extension test choose.
    if (pattern.size() > 5) {
        pattern = "*.*";
    }
    return pattern;
}

std::string SearchFolderFromText(std::string_view text) {
    std::string folder = TrimBlanks(text);
    return folder.empty() ? folder : WithTrailingSeparator(std::move(folder));
}

}  // namespace mervok
