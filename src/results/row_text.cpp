#include "results/row_text.h"

namespace mervok {

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

std::string FolderText(std::string_view folder) {
    if (folder.empty() || !IsSeparator(folder.back())) {
        return std::string(folder);
    }
    // A root keeps its separator: "/" here, "D:\" on a drive.
    if (folder.size() == 1 || (folder.size() >= 2 && folder[folder.size() - 2] == ':')) {
        return std::string(folder);
    }
    return std::string(folder.substr(0, folder.size() - 1));
}

std::string SizeText(std::int64_t size) {
    // Work on the magnitude as unsigned so that the smallest value has one.
    const bool negative = size < 0;
    std::uint64_t magnitude =
        negative ? ~static_cast<std::uint64_t>(size) + 1 : static_cast<std::uint64_t>(size);
    std::string digits;
    int inGroup = 0;
    do {
        if (inGroup == 3) {
            digits += ',';
            inGroup = 0;
        }
        digits += static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
        ++inGroup;
    } while (magnitude != 0);
    if (negative) {
        digits += '-';
    }
    std::string text(digits.rbegin(), digits.rend());
    if (text.size() < 11) {
        text.insert(0, 11 - text.size(), ' ');
    }
    return text;
}

RgbColor RowColor(ArchiveKind kind, bool provisional, const KindColors& colors) {
    if (provisional) {
        return 0;
    }
    switch (kind) {
        case ArchiveKind::Lha:
            return colors.lha;
        case ArchiveKind::Zip:
            return colors.zip;
        case ArchiveKind::Cab:
            return colors.cab;
        case ArchiveKind::LhaSfx:
            return colors.lhaSfx;
        case ArchiveKind::ZipSfx:
            return colors.zipSfx;
        case ArchiveKind::CabSfx:
            return colors.cabSfx;
        case ArchiveKind::None:
        case ArchiveKind::Sfx:
            break;
    }
    return 0;
}

}  // namespace mervok
