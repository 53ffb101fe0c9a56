#pragma once

#include <algorithm>
#include <cstddef>
#include <numeric>
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

// The items' indices sorted by their keys (made once each, not per
// comparison); equal keys keep the items' order.
template <typename Key>
std::vector<std::size_t> OrderByKeys(const std::vector<Key>& keys) {
    std::vector<std::size_t> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    return order;
}

// Hits by file name in that order, as the window lists them after a search;
// equal keys keep the hits' order.
void SortByFileName(std::vector<FoundArchive>& hits);

}  // namespace mervok
