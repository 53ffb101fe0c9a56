#include "ui/twips.h"

#include <gtest/gtest.h>

namespace mervok {
namespace {

TEST(TwipsTest, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(221.5), 222);
    EXPECT_EQ(RoundHalfEven(222.5), 222);
    EXPECT_EQ(RoundHalfEven(835.5), 836);
    EXPECT_EQ(RoundHalfEven(556.2), 556);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    // Half of an odd icon size: 33 / 2 = 16.5 -> 16, 35 / 2 = 17.5 -> 18.
    EXPECT_EQ(RoundHalfEven(33 / 2.0), 16);
    EXPECT_EQ(RoundHalfEven(35 / 2.0), 18);
}

TEST(TwipsTest, ConvertsAtFifteenTwipsAPixel) {
    EXPECT_EQ(TwipsToPixels(8145), 543);
    EXPECT_EQ(TwipsToPixels(7.5), 0);
    EXPECT_EQ(TwipsToPixels(22.5), 2);
    EXPECT_EQ(PixelsToTwips(543), 8145);
}

}  // namespace
}  // namespace mervok
