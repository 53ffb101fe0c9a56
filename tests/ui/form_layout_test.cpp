#include "ui/form_layout.h"

#include <gtest/gtest.h>

#include "ui/twips.h"

namespace mervok {
namespace {

TEST(FormLayoutTest, ResizeWorkedExamples) {
    // Client width and height in twips, then the widths, the button column's
    // left, the folder box width and the list height that follow.
    const struct {
        int width, height, frame, picture, buttons, folder, list, listHeight;
    } cases[] = {
        {8145, 6315, 7905, 7665, 6510, 4730, 7905, 3135},       // as designed
        {6000, 6315, 7875, 7635, 6480, 4700, 5760, 3135},       // the panel keeps its minimum
        {7860, 6315, 7875, 7635, 6480, 4700, 7620, 3135},       // just below the minimum
        {12000, 6315, 11760, 11520, 10365, 8585, 11760, 3135},  // the column moves right
        {8145, 3180, 7905, 7665, 6510, 4730, 7905, 0},          // never negative
        {8145, 3181, 7905, 7665, 6510, 4730, 7905, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        FormLayout layout;
        layout.frame2 = {120, 0, 7875, 2865};
        layout.picXpStyle0 = {120, 180, 7635, 2565};
        for (TwipRect* button : {&layout.btnBrowse, &layout.btnOption, &layout.btnAbout,
                                 &layout.btnHelp, &layout.btnExit}) {
            *button = {6480, 0, 1125, 345};
        }
        layout.txtSearchDir = {1680, 30, 4725, 285};
        layout.lsvArchive = {120, 2940, 7875, 3255};
        LayOutForm(layout, c.width, c.height, 240);
        EXPECT_EQ(layout.frame2.width, c.frame);
        EXPECT_EQ(layout.picXpStyle0.width, c.picture);
        EXPECT_EQ(layout.btnBrowse.left, c.buttons);
        EXPECT_EQ(layout.btnExit.left, c.buttons);
        EXPECT_EQ(layout.btnExit.width, 1125);
        EXPECT_EQ(layout.txtSearchDir.width, c.folder);
        EXPECT_EQ(layout.lsvArchive.width, c.list);
        EXPECT_EQ(layout.lsvArchive.height, c.listHeight);
    }
}

TEST(WindowBoundsTest, StoredBoundsStayOnTheScreen) {
    const TwipRect current{1500, 1500, 8145, 6315};
    const struct {
        TwipRect stored, shown;
    } cases[] = {
        {{-300, -15, 0, -1}, {0, 0, 8145, 6315}},          // no negative edges; 0 keeps the size
        {{0, 8000, 6000, 3000}, {0, 5400, 6000, 3000}},    // too low: 0.9 of the lowest fit
        {{0, 8000, 6000, 3001}, {0, 5400, 6000, 3001}},    // read back in whole pixels first
        {{9000, 0, 6000, 3000}, {6000, 0, 6000, 3000}},    // too far right: flush, no factor
        {{0, 0, 13500, 3000}, {-1500, 0, 13500, 3000}},    // wider than the screen
        {{300, 450, 6000, 3000}, {300, 450, 6000, 3000}},  // fits: kept
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WindowBoundsFromSettings(c.stored, current, 12000, 9000), c.shown)
            << c.stored.left << "," << c.stored.top;
    }
}

TEST(TwipsTest, HalvesRoundToEvenAtFifteenTwipsAPixel) {
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(TwipsToPixels(7.5), 0);
    EXPECT_EQ(TwipsToPixels(22.5), 2);
    EXPECT_EQ(PixelsToTwips(543), 8145);
}

}  // namespace
}  // namespace mervok
