#pragma once

#include <cstdint>
#include <string>

namespace mervok {

// One candidate of a search, or one hit once the document check has kept it.
struct FoundArchive {
    std::string folder;    // full folder path, always ending with the separator
    std::string fileName;  // the name as the directory listing gave it, exact bytes
    std::int64_t size = 0;
    // "LHA?", "ZIP?", "CAB?", "SFX?" before the document check; "LHA", "ZIP",
    // "CAB", "LHA-SFX", "ZIP-SFX", "CAB-SFX" after it; empty for no hit.
    std::string kind;
    std::string modified;  // local time, "YYYY/MM/DD HH:MM:SS"

    std::string Path() const { return folder + fileName; }
};

}  // namespace mervok
