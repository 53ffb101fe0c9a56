#include "quorvix/entry_name_index.h"

#include <algorithm>

#include "app/text_util.h"

namespace mervok::quorvix {

std::string EntryNameIndex::Fold(std::string_view path) const {
    ++mFolded;
    std::string folded = AsciiLower(path);
    std::replace(folded.begin(), folded.end(), '\\', '/');
    std::size_t start = 0;
    while (folded.compare(start, 1, "/") == 0 || folded.compare(start, 2, "./") == 0) {
        start += folded[start] == '/' ? 1 : 2;
    }
    return folded.substr(start);
}

void EntryNameIndex::Add(std::string_view name, std::size_t index) {
    mIndex.try_emplace(Fold(name), index);
}

std::optional<std::size_t> EntryNameIndex::Find(std::string_view path) const {
    const auto found = mIndex.find(Fold(path));
    return found == mIndex.end() ? std::nullopt : std::optional(found->second);
}

}  // namespace mervok::quorvix
