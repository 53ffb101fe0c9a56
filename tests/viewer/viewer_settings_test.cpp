#include "viewer/viewer_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"

namespace mervok {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(ViewerSettingsTest, DroppedArcFileIsAddedWithEveryOtherByteKept) {
    TempFolder folder;
    const std::string path = ViewerIniPath(folder.Path());
    EXPECT_EQ(path, folder.Path() + "/Quorvix.ini");
    // As the viewer leaves it: CR LF, comments, Shift-JIS, keys we do not know.
    const std::string head =
        "; Quorvix settings\r\n[Window]\r\nTitle=\x83\x65\x83\x58\x83\x67\r\n\r\n[Option]\r\n"
        "; how the viewer starts\r\nPrevInstance=0\r\nDocType=TXT DOC\r\n";
    const std::string tail = "\r\n[History]\r\nFile1=C:\\\x83\x66\x81\x5b\\a.lzh\r\n";
    WriteBytes(path, head + tail);
    SettingsStore ini(path);
    EXPECT_TRUE(WriteDroppedArcFile(ini));
    EXPECT_TRUE(WriteDroppedArcFile(ini));
    EXPECT_EQ(ReadBytes(path), head + "DroppedArcFile=1\r\n" + tail);
}

TEST(ViewerSettingsTest, PrevInstanceIsOneOnlyForOneAndDocTypeHasTheViewersDefault) {
    TempFolder folder;
    const std::string path = ViewerIniPath(folder.Path());
    EXPECT_FALSE(ViewerIniExists(path));
    EXPECT_EQ(ReadViewerPrevInstance(SettingsStore(path)), 0);
    EXPECT_EQ(ReadViewerDocTypes(SettingsStore(path)), "HLP DOC HTM HTML CHM");
    const std::pair<const char*, int> values[] = {{"1", 1}, {" 1 ", 1}, {"1 instance", 1},
                                                  {"2", 0}, {"-1", 0},  {"yes", 0}};
    for (const auto& [value, expected] : values) {
        WriteBytes(path,
                   "[option]\nprevinstance=" + std::string(value) + "\ndoctype =  PDF  HTM \n");
        EXPECT_EQ(ReadViewerPrevInstance(SettingsStore(path)), expected) << value;
    }
    EXPECT_TRUE(ViewerIniExists(path));
    EXPECT_EQ(ReadViewerDocTypes(SettingsStore(path)), "PDF  HTM");
    WriteBytes(path, "[Option]\nPrevInstance=1\n");
    EXPECT_EQ(ReadViewerDocTypes(SettingsStore(path)), "HLP DOC HTM HTML CHM");
}

}  // namespace
}  // namespace mervok
