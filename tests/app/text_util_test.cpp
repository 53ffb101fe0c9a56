#include "app/text_util.h"

#include <gtest/gtest.h>

#include <string>

namespace mervok {
namespace {

using namespace std::string_literals;

TEST(TextUtilTest, TrimAtNullCutsFirstThenTrimsSpaces) {
    // A space-filled buffer after a read: the value, its NUL, the filling.
    EXPECT_EQ(TrimAtNull("  C:/Data  \0junk   "s), "C:/Data");
    EXPECT_EQ(TrimAtNull("\0SubDir=1\0"s), "");
    EXPECT_EQ(TrimAtNull("   "), "");
    // Only spaces go; a tab is text.
    EXPECT_EQ(TrimAtNull("\tx \t "), "\tx \t");
    EXPECT_EQ(TrimAtNull("no nul"), "no nul");
}

TEST(TextUtilTest, TrimBlanksKeepsNulsAndInnerSpaces) {
    // The section list must keep its NUL separators and closing NULs.
    EXPECT_EQ(TrimBlanks("a=1\0b=2\0\0   "s), "a=1\0b=2\0\0"s);
    EXPECT_EQ(TrimBlanks("  a  b  "), "a  b");
    EXPECT_EQ(TrimBlanks(" \t "), "\t");
    EXPECT_EQ(TrimBlanks(""), "");
}

}  // namespace
}  // namespace mervok
