#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace mervok::quorvix {

// The archive's entry names as pages and links name them: letter case of
// ASCII not counting, '\' and '/' alike, without a leading "./" or '/'. Each
// name is folded once, when it is added; a look-up folds only the name asked
// for, so a page naming thousands of files the archive lacks costs a hash
// look-up each, never a walk over every entry.
class EntryNameIndex {
  public:
    // The first entry of a name keeps it.
    void Add(std::string_view name, std::size_t index);
    std::optional<std::size_t> Find(std::string_view path) const;

    // Names folded so far, added and asked for.
    std::size_t NamesFolded() const { return mFolded; }

  private:
    std::string Fold(std::string_view path) const;

    std::unordered_map<std::string, std::size_t> mIndex;
    mutable std::size_t mFolded = 0;
};

}  // namespace mervok::quorvix
