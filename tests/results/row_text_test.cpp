#include "results/row_text.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace mervok {
namespace {

TEST(FolderTextTest, DropsTheTrailingSeparatorExceptOfARoot) {
    EXPECT_EQ(FolderText("/data/arc/"), "/data/arc");
    EXPECT_EQ(FolderText("/data/"), "/data");
    EXPECT_EQ(FolderText("/"), "/");
    // Drive roots as a folder text from another platform keep theirs too.
    EXPECT_EQ(FolderText("D:\\"), "D:\\");
    EXPECT_EQ(FolderText("D:\\Arc\\"), "D:\\Arc");
    // Only one separator goes, and only a trailing one.
    EXPECT_EQ(FolderText("/data//"), "/data/");
    EXPECT_EQ(FolderText("/data"), "/data");
    EXPECT_EQ(FolderText(""), "");
}

TEST(SizeTextTest, GroupsDigitsAndPadsToElevenCharacters) {
    EXPECT_EQ(SizeText(0), "          0");
    EXPECT_EQ(SizeText(7), "          7");
    EXPECT_EQ(SizeText(999), "        999");
    EXPECT_EQ(SizeText(1000), "      1,000");
    EXPECT_EQ(SizeText(1234), "      1,234");
    EXPECT_EQ(SizeText(999999999), "999,999,999");
    // Wider texts are not cut.
    EXPECT_EQ(SizeText(1000000000), "1,000,000,000");
    EXPECT_EQ(SizeText(3221225472LL), "3,221,225,472");
    EXPECT_EQ(SizeText(INT64_MAX), "9,223,372,036,854,775,807");
}

TEST(SizeTextTest, NegativeValuesKeepTheirSign) {
    EXPECT_EQ(SizeText(-1), "         -1");
    EXPECT_EQ(SizeText(-1234567), " -1,234,567");
    EXPECT_EQ(SizeText(INT64_MIN), "-9,223,372,036,854,775,808");
}

TEST(SizeTextTest, PaddedTextsSortLikeTheirSizes) {
    EXPECT_LT(SizeText(9), SizeText(10));
    EXPECT_LT(SizeText(99999), SizeText(100000));
    EXPECT_LT(SizeText(1234), SizeText(999999999));
}

TEST(RowColorTest, SixExactLabelsHaveColoursEverythingElseIsBlack) {
    KindColors colors;
    colors.lha = 0x000001;
    colors.zip = 0x000002;
    colors.cab = 0x000003;
    colors.lhaSfx = 0x000004;
    colors.zipSfx = 0x000005;
    colors.cabSfx = 0x000006;

    EXPECT_EQ(RowColor("LHA", colors), 1u);
    EXPECT_EQ(RowColor("ZIP", colors), 2u);
    EXPECT_EQ(RowColor("CAB", colors), 3u);
    EXPECT_EQ(RowColor("LHA-SFX", colors), 4u);
    EXPECT_EQ(RowColor("ZIP-SFX", colors), 5u);
    EXPECT_EQ(RowColor("CAB-SFX", colors), 6u);

    // Provisional labels of a search without the check, other case, others.
    for (const char* kind : {"LHA?", "ZIP?", "CAB?", "SFX?", "lha", "Zip", "SFX", "", "LHA "}) {
        EXPECT_EQ(RowColor(kind, colors), 0u) << kind;
    }
}

}  // namespace
}  // namespace mervok
