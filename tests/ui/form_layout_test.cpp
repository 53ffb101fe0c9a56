#include "ui/form_layout.h"

#include <gtest/gtest.h>

namespace mervok {
namespace {

// The controls as the window is designed.
FormLayout DesignedLayout() {
    FormLayout layout;
    layout.frame2 = {120, 0, 7875, 2865};
    layout.picXpStyle0 = {120, 180, 7635, 2565};
    layout.btnBrowse = {6480, 0, 1125, 345};
    layout.btnOption = {6480, 435, 1125, 345};
    layout.btnAbout = {6480, 870, 1125, 345};
    layout.btnHelp = {6480, 1305, 1125, 345};
    layout.btnExit = {6480, 1740, 1125, 345};
    layout.txtSearchDir = {1680, 30, 4725, 285};
    layout.lsvArchive = {120, 2940, 7875, 3255};
    return layout;
}

void ExpectButtonColumnAt(const FormLayout& layout, int left) {
    for (const TwipRect* button : {&layout.btnBrowse, &layout.btnOption, &layout.btnAbout,
                                   &layout.btnHelp, &layout.btnExit}) {
        EXPECT_EQ(button->left, left);
        EXPECT_EQ(button->width, 1125);
    }
}

TEST(FormLayoutTest, DesignedClientSize) {
    FormLayout layout = DesignedLayout();
    LayOutForm(layout, 8145, 6315, 240);
    EXPECT_EQ(layout.frame2.width, 7905);
    EXPECT_EQ(layout.picXpStyle0.width, 7665);
    ExpectButtonColumnAt(layout, 6510);
    EXPECT_EQ(layout.txtSearchDir.width, 4730);
    EXPECT_EQ(layout.lsvArchive.width, 7905);
    EXPECT_EQ(layout.lsvArchive.height, 3135);
}

TEST(FormLayoutTest, NarrowWindowKeepsTheOptionPanelWidth) {
    FormLayout layout = DesignedLayout();
    LayOutForm(layout, 6000, 6315, 240);
    EXPECT_EQ(layout.frame2.width, 7875);
    EXPECT_EQ(layout.picXpStyle0.width, 7635);
    ExpectButtonColumnAt(layout, 6480);
    EXPECT_EQ(layout.txtSearchDir.width, 4700);
    // The list has no minimum.
    EXPECT_EQ(layout.lsvArchive.width, 5760);
}

TEST(FormLayoutTest, WideWindowMovesTheButtonColumn) {
    FormLayout layout = DesignedLayout();
    LayOutForm(layout, 12000, 6315, 240);
    EXPECT_EQ(layout.frame2.width, 11760);
    EXPECT_EQ(layout.picXpStyle0.width, 11520);
    ExpectButtonColumnAt(layout, 10365);
    EXPECT_EQ(layout.txtSearchDir.width, 8585);
    EXPECT_EQ(layout.lsvArchive.width, 11760);
}

TEST(FormLayoutTest, ListHeightNeverGoesNegative) {
    FormLayout layout = DesignedLayout();
    LayOutForm(layout, 8145, 3000, 240);
    EXPECT_EQ(layout.lsvArchive.height, 0);
    LayOutForm(layout, 8145, 3180, 240);
    EXPECT_EQ(layout.lsvArchive.height, 0);
    LayOutForm(layout, 8145, 3181, 240);
    EXPECT_EQ(layout.lsvArchive.height, 1);
}

TEST(WindowBoundsTest, StoredBoundsStayOnTheScreen) {
    const TwipRect current{1500, 1500, 8145, 6315};
    // Negative edges become 0; sizes of 0 keep the current ones.
    EXPECT_EQ(WindowBoundsFromSettings({-300, -15, 0, -1}, current, 12000, 9000),
              (TwipRect{0, 0, 8145, 6315}));
    // Too low: up to the bottom edge, then to nine tenths of that.
    EXPECT_EQ(WindowBoundsFromSettings({0, 8000, 6000, 3000}, current, 12000, 9000).top, 5400);
    // Too far right: flush with the right edge, no factor; wider than the
    // screen gives a negative left.
    EXPECT_EQ(WindowBoundsFromSettings({9000, 0, 6000, 3000}, current, 12000, 9000).left, 6000);
    EXPECT_EQ(WindowBoundsFromSettings({0, 0, 13500, 3000}, current, 12000, 9000).left, -1500);
    // The top is read back in whole pixels before the factor: 9000 - 3001 =
    // 5999 twips shows as 400 pixels (6000 twips), 0.9 of which is 5400.
    EXPECT_EQ(WindowBoundsFromSettings({0, 8000, 6000, 3001}, current, 12000, 9000).top, 5400);
    // Bounds that fit are kept as they are.
    EXPECT_EQ(WindowBoundsFromSettings({300, 450, 6000, 3000}, current, 12000, 9000),
              (TwipRect{300, 450, 6000, 3000}));
}

}  // namespace
}  // namespace mervok
