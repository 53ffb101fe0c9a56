#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "quorvix/archive_contents.h"

namespace mervok::quorvix {

// The items' indices in the list's order: by folder, the files of a folder
// before those of its subfolders, each part in the search window's name
// order.
std::vector<std::size_t> ReadingOrder(const std::vector<ArchiveItem>& items);

// Where a reader starts among the given items (in list order): the top-most
// "index.htm" or "index.html", else the first. Only for a non-empty list.
std::size_t FirstToShow(const std::vector<const ArchiveItem*>& listed);

}  // namespace mervok::quorvix
