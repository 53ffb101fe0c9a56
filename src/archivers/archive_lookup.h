#pragma once

#include <cstdint>
#include <string>

#include "archivers/archiver_api.h"

namespace mervok {

// The mode every look-up opens an archive with.
inline constexpr std::uint32_t kOpenArchiveMode = 0x800000;

// The result of one archive look-up.
enum class LookupResult : std::int8_t {
    Found = 1,           // opened; a matching entry exists
    NoMatch = 0,         // opened; no matching entry
    CannotOpen = -1,     // cannot be opened
    EmptyArgument = -2,  // path or wildcards empty; no call made
};

// Opens path and asks once for an entry matching the blank-separated
// wildcard list. window is passed on to OpenArchive.
LookupResult FindInLhaArchive(ArchiverApi& lha, void* window, const std::string& path,
                              const std::string& wildcards);
LookupResult FindInZipArchive(ArchiverApi& zip, void* window, const std::string& path,
                              const std::string& wildcards);
// The CAB library takes one wildcard per FindFirst: they are tried in order
// on the same handle until one matches.
LookupResult FindInCabArchive(ArchiverApi& cab, void* window, const std::string& path,
                              const std::string& wildcards);

// The library's GetVersion, 0 when it cannot be called.
std::int16_t GetUnlhaVersion(ArchiverApi& lha);
std::int16_t GetUnzipVersion(ArchiverApi& zip);
std::int16_t GetCabVersion(ArchiverApi& cab);

}  // namespace mervok
