#include "results/row_text.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace mervok {
namespace {

TEST(RowTextTest, FolderDropsOneTrailingSeparatorExceptARootsOwn) {
    const std::pair<const char*, const char*> folders[] = {
        {"/data/arc/", "/data/arc"}, {"/", "/"},         {"D:\\", "D:\\"}, {"D:\\Arc\\", "D:\\Arc"},
        {"/data//", "/data/"},       {"/data", "/data"}, {"", ""}};
    for (const auto& [folder, text] : folders) {
        EXPECT_EQ(FolderText(folder), text) << folder;
    }
}

TEST(RowTextTest, SizeIsGroupedAndPaddedToElevenCharactersNeverCut) {
    const std::pair<std::int64_t, const char*> sizes[] = {
        {0, "          0"},
        {999, "        999"},
        {1000, "      1,000"},
        {999999999, "999,999,999"},
        {3221225472LL, "3,221,225,472"},
        {INT64_MAX, "9,223,372,036,854,775,807"},
        {-1234567, " -1,234,567"},
        {INT64_MIN, "-9,223,372,036,854,775,808"}};
    for (const auto& [size, text] : sizes) {
        EXPECT_EQ(SizeText(size), text);
    }
}

TEST(RowTextTest, EachKindsOwnColourAndBlackWhileProvisional) {
    const KindColors colors{1, 2, 3, 4, 5, 6};
    const std::pair<ArchiveKind, RgbColor> kinds[] = {
        {ArchiveKind::Lha, 1},    {ArchiveKind::Zip, 2},    {ArchiveKind::Cab, 3},
        {ArchiveKind::LhaSfx, 4}, {ArchiveKind::ZipSfx, 5}, {ArchiveKind::CabSfx, 6},
        {ArchiveKind::Sfx, 0},    {ArchiveKind::None, 0},
    };
    for (const auto& [kind, colour] : kinds) {
        EXPECT_EQ(RowColor(kind, false, colors), colour) << static_cast<int>(kind);
        EXPECT_EQ(RowColor(kind, true, colors), 0u) << static_cast<int>(kind);
    }
}

}  // namespace
}  // namespace mervok
