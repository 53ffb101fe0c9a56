#include "viewer/viewer_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"

namespace mervok {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

TEST(ViewerSettingsTest, PrevInstanceIsOneOnlyForOneAndDocTypeHasTheViewersDefault) {
    TempFolder folder;
    const std::string path = ViewerIniPath(folder.Path());
    EXPECT_EQ(path, folder.Path() + "/Quorvix.ini");
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
