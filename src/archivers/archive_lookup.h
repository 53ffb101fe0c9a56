#pragma once

#include <cstdint>
#include <string>

#include "archivers/archiver_api.h"

namespace mervok {

// The mode every look-up opens an archive with.
inline constexpr std::uint32_t kOpenArchiveMode = 0x800000;

// Results of one archive look-up.
inline constexpr std::int16_t kLookupFound = 1;           // opened; a matching entry exists
inline constexpr std::int16_t kLookupNone = 0;            // opened; no matching entry
inline constexpr std::int16_t kLookupCannotOpen = -1;     // cannot be opened
inline constexpr std::int16_t kLookupEmptyArgument = -2;  // path or wildcards empty; no call made

// Opens path and asks once for an entry matching the blank-separated
// wildcard list. window is passed on to OpenArchive.
std::int16_t FindInLhaArchive(ArchiverApi& lha, void* window, const std::string& path,
                              const std::string& wildcards);
std::int16_t FindInZipArchive(ArchiverApi& zip, void* window, const std::string& path,
                              const std::string& wildcards);
// The CAB library takes one wildcard per FindFirst: they are tried in order
// on the same handle until one matches.
std::int16_t FindInCabArchive(ArchiverApi& cab, void* window, const std::string& path,
                              const std::string& wildcards);

// The library's GetVersion, 0 when it cannot be called.
std::int16_t GetUnlhaVersion(ArchiverApi& lha);
std::int16_t GetUnzipVersion(ArchiverApi& zip);
std::int16_t GetCabVersion(ArchiverApi& cab);

}  // namespace mervok
