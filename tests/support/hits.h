#pragma once

// Hits as a search hands them to the lists.

#include <string>
#include <vector>

#include "search/found_archive.h"

namespace mervok::testing {

inline FoundArchive Hit(std::string folder, std::string name, std::int64_t size, ArchiveKind kind,
                        std::string modified, bool provisional = false) {
    return {std::move(folder), std::move(name), size, kind, std::move(modified), provisional};
}

// In walk order: two folders, mixed case, two names equal but for case, sizes
// on both sides of 1,000,000,000 and a 3 GiB one.
inline std::vector<FoundArchive> SampleHits() {
    return {
        Hit("/arc/b/", "beta.lzh", 1234, ArchiveKind::Lha, "2003/05/01 10:00:00"),
        Hit("/arc/b/", "Alpha.zip", 3LL << 30, ArchiveKind::Zip, "1999/12/31 23:59:59"),
        Hit("/arc/a/", "gamma.cab", 1'000'000'000, ArchiveKind::Cab, "2010/01/01 00:00:00"),
        Hit("/arc/a/", "alpha.ZIP", 999'999'999, ArchiveKind::Zip, "2003/05/01 09:59:59", true),
        Hit("/", "delta.exe", 0, ArchiveKind::LhaSfx, "2020/02/29 12:00:00"),
    };
}

}  // namespace mervok::testing
