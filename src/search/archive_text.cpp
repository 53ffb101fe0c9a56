#include "search/archive_text.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

#include "app/text_decoding.h"
#include "app/text_encoding.h"
#include "archivers/plugins/archive_reader.h"
#include "archivers/plugins/wildcard.h"

namespace mervok {

namespace {

std::optional<plugin::Format> FormatOf(ArchiveKind kind) {
    switch (kind) {
        case ArchiveKind::Lha:
        case ArchiveKind::LhaSfx:
            return plugin::Format::Lha;
        case ArchiveKind::Zip:
        case ArchiveKind::ZipSfx:
            return plugin::Format::Zip;
        case ArchiveKind::Cab:
        case ArchiveKind::CabSfx:
            return plugin::Format::Cab;
        case ArchiveKind::None:
        case ArchiveKind::Sfx:
            break;
    }
    return std::nullopt;
}

}  // namespace

TextFindings FindTextInArchive(const std::string& path, ArchiveKind kind,
                               const std::string& documentWildcards, const TextQuery& query,
                               const TextSearchLimits& limits, bool firstMatchOnly,
                               const CancelToken& cancel) {
    TextFindings findings;
    const auto format = FormatOf(kind);
    struct stat info {};
    if (!format || ::stat(path.c_str(), &info) != 0) {
        return findings;
    }
    const auto reader = plugin::OpenArchiveReader(path.c_str(), *format);
    if (!reader) {
        return findings;
    }
    const std::uint64_t byRatio = std::max(
        limits.ratioFloor, limits.inflatedRatio * static_cast<std::uint64_t>(info.st_size));
    const std::uint64_t cap = std::min(limits.inflatedPerArchive, byRatio);
    std::uint64_t inflated = 0;
    const plugin::WildcardList documents(documentWildcards.c_str());
    std::array<char, 64 * 1024> piece;
    for (const plugin::ArchiveEntry* entry = reader->Next(); entry; entry = reader->Next()) {
        if (cancel.Cancelled()) {
            break;
        }
        if (entry->isFolder || !documents.Matches(entry->name)) {
            continue;
        }
        if (entry->encrypted) {
            ++findings.encrypted;
            continue;
        }
        ++findings.documents;
        const auto data = reader->OpenData();
        if (!data) {
            ++findings.damaged;
            continue;
        }
        TextScan scan(query, limits.matchesPerDocument, firstMatchOnly);
        std::uint64_t read = 0;
        bool damaged = false;
        while (!scan.Done() && !cancel.Cancelled()) {
            const std::ptrdiff_t count = data->Read(piece.data(), piece.size());
            if (count <= 0) {
                damaged = count < 0;
                break;
            }
            read += static_cast<std::uint64_t>(count);
            inflated += static_cast<std::uint64_t>(count);
            if (read > entry->originalSize) {
                damaged = true;  // more data than its header gives
                break;
            }
            if (inflated > cap) {
                findings.bomb = true;
                break;
            }
            scan.Feed(std::string_view(piece.data(), static_cast<std::size_t>(count)));
        }
        findings.damaged += damaged;
        scan.Finish();
        findings.cut = findings.cut || scan.Cut();
        const std::string name = EntryNameText(entry->name);
        const std::string_view encoding = EncodingName(scan.Encoding());
        for (TextMatch& match : scan.TakeMatches()) {
            findings.matches.push_back({name, std::string(encoding), match.line, match.column,
                                        std::move(match.snippet), match.snippetMatchOffset,
                                        match.snippetMatchLength});
        }
        if (findings.bomb || (firstMatchOnly && !findings.matches.empty())) {
            break;
        }
    }
    return findings;
}

}  // namespace mervok
