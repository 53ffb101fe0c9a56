#include "viewer/viewer_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "../app/settings_files.h"

namespace mervok {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// A settings file as the viewer leaves it: CR LF, comments, a Shift-JIS
// value, sections and keys this program knows nothing of.
const std::string kHead =
    "; Quorvix settings\r\n"
    "[Window]\r\n"
    "Title=\x83\x65\x83\x58\x83\x67\x95\xb6\x8f\x91\r\n"
    "Font=\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e\r\n"
    "\r\n"
    "[Option]\r\n"
    "; how the viewer starts\r\n"
    "PrevInstance=0\r\n"
    "DocType=TXT DOC\r\n";
const std::string kTail =
    "\r\n"
    "[History]\r\n"
    "File1=C:\\\x83\x66\x81\x5b\x83\x5e\\a.lzh\r\n";

class ViewerSettingsTest : public ::testing::Test {
  protected:
    std::string Ini(const std::string& bytes) {
        const std::string path = ViewerIniPath(mFolder.Path());
        WriteBytes(path, bytes);
        return path;
    }

    TempFolder mFolder;
};

TEST_F(ViewerSettingsTest, DroppedArcFileIsAddedWithEveryOtherByteKept) {
    SettingsStore ini(Ini(kHead + kTail));
    EXPECT_TRUE(WriteDroppedArcFile(ini));
    EXPECT_EQ(ReadBytes(ini.Path()), kHead + "DroppedArcFile=1\r\n" + kTail);
    // Written again: nothing changes.
    EXPECT_TRUE(WriteDroppedArcFile(ini));
    EXPECT_EQ(ReadBytes(ini.Path()), kHead + "DroppedArcFile=1\r\n" + kTail);
}

TEST_F(ViewerSettingsTest, DroppedArcFileReplacesAnOldValueInPlace) {
    SettingsStore ini(Ini(kHead + "droppedarcfile = 0\r\n" + kTail));
    EXPECT_TRUE(WriteDroppedArcFile(ini));
    EXPECT_EQ(ReadBytes(ini.Path()), kHead + "droppedarcfile = 1\r\n" + kTail);
}

TEST_F(ViewerSettingsTest, DroppedArcFileAddsTheSectionWhenMissing) {
    const std::string before = "[Window]\nTitle=x\n";
    SettingsStore ini(Ini(before));
    EXPECT_TRUE(WriteDroppedArcFile(ini));
    EXPECT_EQ(ReadBytes(ini.Path()), before + "[Option]\nDroppedArcFile=1\n");
}

TEST_F(ViewerSettingsTest, PrevInstanceIsOneOnlyForOne) {
    const auto prevInstance = [&](const std::string& value) {
        return ReadViewerPrevInstance(SettingsStore(Ini("[Option]\nPrevInstance=" + value + "\n")));
    };
    EXPECT_EQ(prevInstance("1"), 1);
    EXPECT_EQ(prevInstance(" 1 "), 1);
    EXPECT_EQ(prevInstance("1 instance"), 1);
    EXPECT_EQ(prevInstance("2"), 0);
    EXPECT_EQ(prevInstance("-1"), 0);
    EXPECT_EQ(prevInstance("yes"), 0);
    EXPECT_EQ(ReadViewerPrevInstance(SettingsStore(Ini("[Option]\n"))), 0);
    EXPECT_EQ(ReadViewerPrevInstance(SettingsStore(mFolder.File("none.ini"))), 0);
}

TEST_F(ViewerSettingsTest, DocTypeIsReadTrimmedWithTheViewersDefault) {
    EXPECT_EQ(ReadViewerDocTypes(SettingsStore(Ini(kHead + kTail))), "TXT DOC");
    EXPECT_EQ(ReadViewerDocTypes(SettingsStore(Ini("[option]\ndoctype =  PDF  HTM  \n"))),
              "PDF  HTM");
    EXPECT_EQ(ReadViewerDocTypes(SettingsStore(Ini("[Option]\nPrevInstance=1\n"))),
              "HLP DOC HTM HTML CHM");
    EXPECT_EQ(ReadViewerDocTypes(SettingsStore(mFolder.File("none.ini"))), "HLP DOC HTM HTML CHM");
}

TEST_F(ViewerSettingsTest, TheFileIsLookedForBesideTheProgram) {
    EXPECT_EQ(ViewerIniPath("/opt/mervok/"), "/opt/mervok/Quorvix.ini");
    EXPECT_EQ(ViewerIniPath("/"), "/Quorvix.ini");
    const std::string path = ViewerIniPath(mFolder.Path());
    EXPECT_FALSE(ViewerIniExists(path));
    WriteBytes(path, "");
    EXPECT_TRUE(ViewerIniExists(path));
}

}  // namespace
}  // namespace mervok
