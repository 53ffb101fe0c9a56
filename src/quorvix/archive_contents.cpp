#include "quorvix/archive_contents.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <limits>

#include "archivers/plugins/wildcard.h"
#include "quorvix/document_rule.h"

namespace mervok::quorvix {

std::unique_ptr<ArchiveContents> ArchiveContents::Open(const std::string& path,
                                                       std::string_view documentWildcards,
                                                       OpenError& error) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? OpenError::Folder
                                                                          : OpenError::Missing;
        return nullptr;
    }
    // What can be listed of one cut short, too, as the LHA reader lists the
    // headers before the cut; and an LHA of its end mark alone is empty.
    auto reader = plugin::OpenAnyArchiveReader(path.c_str());
    if (!reader) {
        reader = plugin::OpenCutArchiveReader(path.c_str());
    }
    char mark = 1;
    const bool emptyLha =
        !reader && info.st_size == 1 && std::ifstream(path).get(mark) && mark == 0;
    if (!reader && !emptyLha) {
        error = OpenError::NotAnArchive;
        return nullptr;
    }
    error = OpenError::None;
    std::unique_ptr<ArchiveContents> contents(new ArchiveContents(std::move(reader)));
    if (emptyLha) {
        return contents;
    }
    const plugin::WildcardList documents(std::string(documentWildcards).c_str());
    std::size_t ordinal = 0;
    for (const plugin::ArchiveEntry* entry = contents->mReader->Next(); entry;
         entry = contents->mReader->Next(), ++ordinal) {
        if (entry->isFolder) {
            continue;
        }
        if (contents->mItems.size() == kMaxItems) {
            contents->mIncomplete = true;
            break;
        }
        ArchiveItem item{*entry, DisplayName(entry->name), false};
        item.document = documents.Matches(entry->name);
        contents->mItems.push_back(std::move(item));
        contents->mOrdinal.push_back(ordinal);
    }
    contents->mIncomplete |= contents->mReader->Damaged();
    contents->mNextOrdinal = std::numeric_limits<std::size_t>::max();  // unknown: rewind first
    return contents;
}

bool ArchiveContents::Seek(std::size_t index) {
    const std::size_t target = mOrdinal[index];
    if (mNextOrdinal > target) {
        mReader->Rewind();
        mNextOrdinal = 0;
    }
    while (mNextOrdinal <= target) {
        if (!mReader->Next()) {
            mNextOrdinal = std::numeric_limits<std::size_t>::max();
            return false;
        }
        ++mNextOrdinal;
    }
    return true;
}

ReadStatus ArchiveContents::Read(std::size_t index, std::uint64_t limit,
                                 const std::function<bool(std::string_view)>& sink) {
    const plugin::ArchiveEntry& header = mItems.at(index).header;
    if (header.encrypted) {
        return ReadStatus::Encrypted;
    }
    if (!Seek(index)) {
        return ReadStatus::Damaged;
    }
    const auto data = mReader->OpenData();
    if (!data) {
        return ReadStatus::Unreadable;
    }
    std::array<char, 64 * 1024> piece;
    std::uint64_t total = 0;
    for (;;) {
        const std::ptrdiff_t count = data->Read(piece.data(), piece.size());
        if (count < 0) {
            return ReadStatus::Damaged;
        }
        if (count == 0) {
            return ReadStatus::Complete;
        }
        const auto size = static_cast<std::uint64_t>(count);
        if (total + size > header.originalSize) {
            return ReadStatus::Damaged;
        }
        const std::uint64_t taken = std::min(size, limit - total);
        if (taken > 0 && !sink(std::string_view(piece.data(), static_cast<std::size_t>(taken)))) {
            return ReadStatus::Stopped;
        }
        total += taken;
        if (taken < size) {
            return ReadStatus::Truncated;
        }
    }
}

ReadStatus ArchiveContents::ReadBytes(std::size_t index, std::uint64_t limit, std::string& out) {
    out.clear();
    constexpr std::uint64_t kMostReserved = 16 << 20;  // a header may claim anything
    out.reserve(static_cast<std::size_t>(
        std::min({limit, mItems.at(index).header.originalSize, kMostReserved})));
    return Read(index, limit, [&](std::string_view piece) {
        out += piece;
        return true;
    });
}

std::optional<std::size_t> ArchiveContents::Find(std::string_view path) const {
    // Built on the first look-up: an archive of texts alone never needs it.
    if (!mNames) {
        mNames.emplace();
        for (std::size_t i = 0; i < mItems.size(); ++i) {
            mNames->Add(mItems[i].displayName, i);
        }
    }
    return mNames->Find(path);
}

}  // namespace mervok::quorvix
