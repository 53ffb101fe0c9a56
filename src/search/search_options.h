#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mervok {

// The viewer's document types when its settings file or the key is missing.
inline constexpr std::string_view kDefaultDocTypes = "HLP DOC HTM HTML CHM";

// The bounds of a text search: a hostile archive costs at most these.
struct TextSearchLimits {
    std::size_t matchesPerDocument = 100;
    std::size_t matchesPerRun = 10000;
    // An archive's documents are read to this many inflated bytes in all...
    std::uint64_t inflatedPerArchive = std::uint64_t{256} << 20;
    // ...and, past ratioFloor bytes, to ratio times the archive's size.
    std::uint64_t inflatedRatio = 200;
    std::uint64_t ratioFloor = std::uint64_t{1} << 20;
};

// The user's choices for one search run, read from the window's controls (or
// the command line) when the run starts.
struct SearchOptions {
    // Full folder path ending with the separator; see SearchFolderFromText.
    std::string searchFolder;
    bool includeSubfolders = false;
    bool searchLha = false;
    bool searchZip = false;
    bool searchCab = false;
    bool searchExe = false;
    // Do not report each candidate's path during the walk.
    bool hideFileNames = false;
    // List every candidate with its provisional label instead of opening them.
    bool skipArchiveCheck = false;
    // The single wildcard the walk lists with; see FilePattern. When it is
    // empty, the engine derives it from the fields above.
    std::string filePattern;
    // When not empty (UTF-8), a hit must also hold a document that contains
    // this text; see TextScan.
    std::string text;
    bool ignoreCase = false;
    // Only whether an archive says the text is wanted: each stops at its
    // first match.
    bool firstMatchOnly = false;
    TextSearchLimits textLimits;
};

// What each archiver library's GetVersion returned at start-up (version times
// 100), 0 for a library that is absent.
struct LibraryVersions {
    std::int16_t unlha = 0;
    std::int16_t unzip = 0;
    std::int16_t cab = 0;
};

// Values start-up determines once for the life of the program.
struct StartupValues {
    LibraryVersions libraries;
    // The viewer's file version as major * 100 + minor, 0 when unknown. Held
    // wider than 16 bits so that every version from 1.00 on compares >= 100.
    std::int32_t viewerVersion = 0;
    // Full path of the viewer's settings file beside the program.
    std::string viewerIniFile;
    // 1 when the viewer's "PrevInstance" setting was 1 at start-up, else 0.
    std::int16_t viewerPrevInstance = 0;
};

// Only CAB libraries from 0.90 on recognise self-extracting CAB files.
inline constexpr std::int16_t kCabSfxVersion = 90;

// Which formats can be searched with the libraries present.
struct UsableFormats {
    bool lha = false;
    bool zip = false;
    bool cab = false;
    bool exe = false;
};

UsableFormats GetUsableFormats(const LibraryVersions& versions);

// True when at least one chosen format is usable; a run starts only then.
bool AnyChosenFormatUsable(const SearchOptions& options, const LibraryVersions& versions);

// "*.lzh", "*.zip", "*.cab" or "*.exe" for a run over one usable format,
// "*.*" for two or more, "" for none.
std::string FilePattern(const SearchOptions& options, const LibraryVersions& versions);

// The folder text with blanks (U+0020 only) removed at both ends and one
// separator at its end; "/" stays "/". Empty stays empty.
std::string SearchFolderFromText(std::string_view text);

}  // namespace mervok
