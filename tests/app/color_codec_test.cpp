#include "app/color_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace mervok {
namespace {

TEST(ColorCodecTest, HexTextIsRedFirstAndTheValueRedLow) {
    EXPECT_EQ(HexToColor("0000FF"), 255 * 65536);  // pure blue
    EXPECT_EQ(HexToColor("FF0099"), 255 + 153 * 65536);
    EXPECT_EQ(HexToColor("006600"), 0x66 * 256);
    EXPECT_EQ(HexToColor("0000ff"), HexToColor("0000FF"));
    EXPECT_EQ(HexToColor("aBcDeF"), 0xAB + 0xCD * 256 + 0xEF * 65536);
    EXPECT_EQ(ColorToHex(255), "FF0000");
    EXPECT_EQ(ColorToHex(0), "000000");
    EXPECT_EQ(ColorToHex(0x0C0B0A), "0A0B0C");
}

TEST(ColorCodecTest, DefaultsAndLowerCaseRoundTripToUpperCase) {
    for (const char* text : {"0000FF", "006600", "FF0099", "0099FF", "00CC00", "FF66CC"}) {
        EXPECT_EQ(ColorToHex(HexToColor(text)), text);
    }
    EXPECT_EQ(ColorToHex(HexToColor("ff66cc")), "FF66CC");
}

TEST(ColorCodecTest, AnythingButSixHexDigitsIsMinusOne) {
    using namespace std::string_literals;
    const std::string texts[] = {"",       "00660",  "0066000",  "GG6600",
                                 "00660G", "-10000", "+F0000",   " 00660",
                                 "0x00FF", "00 660", "00\0660"s, "\x83\x65\x83\x58\x83\x67"};
    for (const std::string& text : texts) {
        EXPECT_EQ(HexToColor(text), -1) << text;
    }
}

TEST(ColorCodecTest, OnlyTheLowTwentyFourBitsAreWritten) {
    EXPECT_EQ(ColorToHex(-1), "FFFFFF");
    EXPECT_EQ(ColorToHex(0x7F0C0B0A), "0A0B0C");
}

}  // namespace
}  // namespace mervok
