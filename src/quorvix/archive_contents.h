#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archivers/plugins/archive_reader.h"
#include "quorvix/entry_name_index.h"

namespace mervok::quorvix {

// One file of an archive (folders are not listed).
struct ArchiveItem {
    plugin::ArchiveEntry header;
    std::string displayName;  // UTF-8, see DisplayName
    bool document = false;    // matches the document wildcards
};

enum class ReadStatus {
    Complete,
    Truncated,  // more data than the limit; the first limit bytes were given
    Damaged,    // the data ended in damage, or ran past the size its header gives
    Encrypted,
    Unreadable,  // a method the readers do not know
    Stopped,     // the sink refused more
};

enum class OpenError { None, Missing, Folder, NotAnArchive };

// An archive opened through the archiver libraries' per-format readers: its
// files listed once, their data read on demand. One object belongs to one
// thread.
class ArchiveContents {
  public:
    // Lists the archive at path (plain, or behind an executable stub; a plain
    // one cut short as far as it goes), marking the documents by the
    // wildcards (see DocumentWildcardsFor). At most kMaxItems files are
    // listed; Incomplete() tells when there were more or damage ended the
    // listing early.
    static std::unique_ptr<ArchiveContents> Open(const std::string& path,
                                                 std::string_view documentWildcards,
                                                 OpenError& error);

    static constexpr std::size_t kMaxItems = 200000;

    const std::vector<ArchiveItem>& Items() const { return mItems; }
    bool Incomplete() const { return mIncomplete; }

    // Hands the item's data to sink in pieces of at most 64 KiB, at most limit
    // bytes in all. Memory stays at one piece whatever the entry's size.
    ReadStatus Read(std::size_t index, std::uint64_t limit,
                    const std::function<bool(std::string_view)>& sink);

    // The first limit bytes of the item's data.
    ReadStatus ReadBytes(std::size_t index, std::uint64_t limit, std::string& out);

    // The item stored under path, compared case-blind with '\' and '/' alike
    // and without a leading "./" or '/'; for the pages' images and links.
    std::optional<std::size_t> Find(std::string_view path) const;

    // Names folded by Find so far: each entry's once per archive, and one
    // per look-up.
    std::size_t NamesFolded() const { return mNames ? mNames->NamesFolded() : 0; }

  private:
    explicit ArchiveContents(std::unique_ptr<plugin::ArchiveReader> reader)
        : mReader(std::move(reader)) {}
    // Moves the reader to the item's entry.
    bool Seek(std::size_t index);

    std::unique_ptr<plugin::ArchiveReader> mReader;
    std::vector<ArchiveItem> mItems;
    std::vector<std::size_t> mOrdinal;  // the item's place among all entries
    std::size_t mNextOrdinal = 0;       // of the entry Next gives next
    bool mIncomplete = false;
    mutable std::optional<EntryNameIndex> mNames;
};

}  // namespace mervok::quorvix
