#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "search/found_archive.h"

namespace mervok {

// The list's text order for names and folders, shared by the window's sort
// and mervok-search's output so that both list hits alike. The key is the
// text as a reader sees it (UTF-8; else Shift-JIS, the encoding of names from
// old media; else each byte as its Latin-1 character), lower-cased, in
// UTF-16; keys compare by their code units.
std::u16string CollationKey(std::string_view bytes);

// Hits by file name in that order, as the window lists them after a search;
// equal keys keep the hits' order.
void SortByFileName(std::vector<FoundArchive>& hits);

}  // namespace mervok
