#include "archivers/archive_lookup.h"

#include <string_view>
#include <vector>

namespace mervok {

namespace {

LookupResult FindWithWholeList(ArchiverApi& api, void* window, const std::string& path,
                               const std::string& wildcards) {
    if (path.empty() || wildcards.empty()) {
        return LookupResult::EmptyArgument;
    }
    ArchiveHandle handle = api.OpenArchive(window, path, kOpenArchiveMode);
    if (handle == nullptr) {
        api.CloseArchive(nullptr);
        return LookupResult::CannotOpen;
    }
    const int found = api.FindFirst(handle, wildcards);
    api.CloseArchive(handle);
    return found == 0 ? LookupResult::Found : LookupResult::NoMatch;
}

// Splits at every blank; runs of blanks give empty words, which are asked
// for like any other.
std::vector<std::string> SplitAtBlanks(const std::string& text) {
    std::vector<std::string> words;
    std::string::size_type start = 0;
    while (true) {
        const auto blank = text.find(' ', start);
        if (blank == std::string::npos) {
            words.push_back(text.substr(start));
            return words;
        }
        words.push_back(text.substr(start, blank - start));
        start = blank + 1;
    }
}

template <typename Call>
std::int16_t VersionOf(ArchiverApi& api, Call call) {
    try {
        return call(api);
    } catch (...) {
        return 0;
    }
}

}  // namespace

LookupResult FindInLhaArchive(ArchiverApi& lha, void* window, const std::string& path,
                              const std::string& wildcards) {
    return FindWithWholeList(lha, window, path, wildcards);
}

LookupResult FindInZipArchive(ArchiverApi& zip, void* window, const std::string& path,
                              const std::string& wildcards) {
    return FindWithWholeList(zip, window, path, wildcards);
}

LookupResult FindInCabArchive(ArchiverApi& cab, void* window, const std::string& path,
                              const std::string& wildcards) {
    if (path.empty() || wildcards.empty()) {
        return LookupResult::EmptyArgument;
    }
    const auto words = SplitAtBlanks(wildcards);
    ArchiveHandle handle = cab.OpenArchive(window, path, kOpenArchiveMode);
    if (handle == nullptr) {
        cab.CloseArchive(nullptr);
        return LookupResult::CannotOpen;
    }
    LookupResult result = LookupResult::NoMatch;
    for (const auto& word : words) {
        if (cab.FindFirst(handle, word) == 0) {
            result = LookupResult::Found;
            break;
        }
    }
    cab.CloseArchive(handle);
    return result;
}

std::int16_t GetUnlhaVersion(ArchiverApi& lha) {
    return VersionOf(lha, [](ArchiverApi& api) { return api.GetVersion(); });
}

std::int16_t GetUnzipVersion(ArchiverApi& zip) {
    return VersionOf(zip, [](ArchiverApi& api) { return api.GetVersion(); });
}

std::int16_t GetCabVersion(ArchiverApi& cab) {
    return VersionOf(cab, [](ArchiverApi& api) { return api.GetVersion(); });
}

}  // namespace mervok
