#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mervok {

// What a candidate or hit is.
enum class ArchiveKind : std::uint8_t {
    None,  // no hit: not an archive, or no document in it
    Lha,
    Zip,
    Cab,
    LhaSfx,  // an archive behind an executable's stub
    ZipSfx,
    CabSfx,
    Sfx,  // an executable before the check, which alone can tell its format
};

// One candidate of a search, or one hit once the document check has kept it.
struct FoundArchive {
    std::string folder;    // full folder path, always ending with the separator
    std::string fileName;  // the name as the directory listing gave it, exact bytes
    std::int64_t size = 0;
    ArchiveKind kind = ArchiveKind::None;
    std::string modified;  // local time, "YYYY/MM/DD HH:MM:SS"
    // The kind says only what the name's extension says: before the document
    // check, or when it was skipped.
    bool provisional = false;
    // A folder named like an archive: listed only when the check is skipped.
    bool isFolder = false;

    std::string Path() const { return folder + fileName; }
};

// The kind as the list shows it and mervok-search writes it: "LHA", "ZIP",
// "CAB", "LHA-SFX", "ZIP-SFX", "CAB-SFX"; provisional "LHA?", "ZIP?", "CAB?",
// "SFX?"; "" for no hit.
constexpr std::string_view KindLabel(ArchiveKind kind, bool provisional) {
    switch (kind) {
        case ArchiveKind::Lha:
            return provisional ? "LHA?" : "LHA";
        case ArchiveKind::Zip:
            return provisional ? "ZIP?" : "ZIP";
        case ArchiveKind::Cab:
            return provisional ? "CAB?" : "CAB";
        case ArchiveKind::LhaSfx:
            return "LHA-SFX";
        case ArchiveKind::ZipSfx:
            return "ZIP-SFX";
        case ArchiveKind::CabSfx:
            return "CAB-SFX";
        case ArchiveKind::Sfx:
            return "SFX?";
        case ArchiveKind::None:
            break;
    }
    return "";
}

inline std::string_view KindLabel(const FoundArchive& archive) {
    return KindLabel(archive.kind, archive.provisional);
}

}  // namespace mervok
