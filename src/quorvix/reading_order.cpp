#include "quorvix/reading_order.h"

#include <algorithm>
#include <string>

#include "app/text_util.h"
#include "results/collation.h"

namespace mervok::quorvix {

namespace {

// The folder's key, its parts joined by a character below every other, so
// that "doc" and its subfolders come before "doc-2"; then the name's key.
std::pair<std::u16string, std::u16string> PathKey(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view folder = slash == std::string_view::npos ? "" : path.substr(0, slash);
    std::u16string folderKey;
    std::size_t start = 0;
    for (std::size_t end = 0; end <= folder.size(); ++end) {
        if (end == folder.size() || folder[end] == '/' || folder[end] == '\\') {
            folderKey += CollationKey(folder.substr(start, end - start));
            folderKey += u'\x01';
            start = end + 1;
        }
    }
    return {folderKey, CollationKey(path.substr(slash + 1))};
}

std::size_t Depth(std::string_view path) {
    return static_cast<std::size_t>(
        std::count_if(path.begin(), path.end(), [](char c) { return c == '/' || c == '\\'; }));
}

}  // namespace

std::vector<std::size_t> ReadingOrder(const std::vector<ArchiveItem>& items) {
    std::vector<std::pair<std::u16string, std::u16string>> keys;
    keys.reserve(items.size());
    for (const ArchiveItem& item : items) {
        keys.push_back(PathKey(item.displayName));
    }
    return OrderByKeys(keys);
}

std::size_t FirstToShow(const std::vector<const ArchiveItem*>& listed) {
    std::size_t best = 0;
    bool found = false;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const std::string_view path = listed[i]->displayName;
        const std::size_t slash = path.find_last_of("/\\");
        const std::string name = AsciiLower(path.substr(slash + 1));
        if ((name == "index.htm" || name == "index.html") &&
            (!found || Depth(path) < Depth(listed[best]->displayName))) {
            best = i;
            found = true;
        }
    }
    return best;
}

}  // namespace mervok::quorvix
