#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "search/found_archive.h"

namespace mervok {

// One line per hit with the list's five texts — file name, folder, size,
// format, time — in columns aligned by their width on a terminal, and with
// matchCounts a sixth: the hit's matches ("100+" when they were cut). Names
// and folders go through TableText.
std::string FormatTable(const std::vector<FoundArchive>& hits, bool matchCounts = false);

// One line per match: "path:entry:line: snippet", every part through
// TableText; with mark, the match is set off by the terminal's bold red.
std::string FormatMatches(const std::vector<FoundArchive>& hits, bool mark);

// The text with everything a terminal would act on, and every byte that is
// not UTF-8, written as C escapes: \n, \r, \t, \x1b (one per byte), and a
// backslash itself as \\, so that a name can neither move
// the cursor, retitle the terminal or add a row, nor pass for an escape.
std::string TableText(std::string_view text);

// One JSON array of {"fileName", "folder", "size", "kind", "modified", "path"};
// with matches, each also has "matches" (objects of "entry", "encoding",
// "line", "column", "snippet"), "matchesCut", "bomb", "encrypted" and "damaged".
std::string FormatJson(const std::vector<FoundArchive>& hits, bool matches = false);

// A JSON string literal of text. Bytes that are not part of valid UTF-8 are
// written as "\udcXX" (XX the byte, 80 to ff), so a reader can restore the
// exact bytes of a name.
std::string JsonString(std::string_view text);

// Columns a text takes on a terminal: two for East Asian wide characters,
// one for anything else, including each byte that is not valid UTF-8.
std::size_t DisplayWidth(std::string_view text);

}  // namespace mervok
