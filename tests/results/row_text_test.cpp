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

TEST(RowTextTest, SixExactLabelsHaveColoursEverythingElseIsBlack) {
    const KindColors colors{1, 2, 3, 4, 5, 6};
    RgbColor expected = 1;
    for (const char* kind : {"LHA", "ZIP", "CAB", "LHA-SFX", "ZIP-SFX", "CAB-SFX"}) {
        EXPECT_EQ(RowColor(kind, colors), expected++) << kind;
    }
    for (const char* kind : {"LHA?", "ZIP?", "CAB?", "SFX?", "lha", "Zip", "SFX", "", "LHA "}) {
        EXPECT_EQ(RowColor(kind, colors), 0u) << kind;
    }
}

}  // namespace
}  // namespace mervok
