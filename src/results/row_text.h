#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "search/found_archive.h"

namespace mervok {

// The folder column's text: the folder without its trailing separator,
// except for a root ("/", or a drive root such as "D:\"), which keeps it.
std::string FolderText(std::string_view folder);

// The size column's text: "###,###,##0" left-padded with blanks to 11
// characters (longer texts are not cut). 1234 gives "      1,234".
std::string SizeText(std::int64_t size);

// A 24-bit colour, red in the low byte (red + green * 256 + blue * 65536).
using RgbColor = std::uint32_t;

// The six row colours of colour mode.
struct KindColors {
    RgbColor lha = 0;
    RgbColor zip = 0;
    RgbColor cab = 0;
    RgbColor lhaSfx = 0;
    RgbColor zipSfx = 0;
    RgbColor cabSfx = 0;
};

// The row colour of a hit: its kind's colour once the check has said what it
// is, black (0) while the kind is provisional ("LHA?") or none.
RgbColor RowColor(ArchiveKind kind, bool provisional, const KindColors& colors);

}  // namespace mervok
