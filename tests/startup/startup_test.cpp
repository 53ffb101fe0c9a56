// What both front ends learn at start, from a real program folder.

#include "startup/startup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fakes.h"
#include "support/files.h"

namespace mervok {
namespace {

using namespace mervok::testing;

TEST(StartupTest, VersionsUsableFormatsAndTheViewersSettingsFromTheProgramFolder) {
    CallLog log;
    FakeArchiver lha("LHA", log), cab("CAB", log);
    TempFolder program;
    std::filesystem::copy_file(std::string(MERVOK_TEST_DATA_DIR) + "/pe/version_1_23_x64.exe",
                               program.File("Quorvix.exe"));
    program.Write("Quorvix.ini", "[Option]\nPrevInstance=1\nDocType= PDF RTF \n");

    const Startup startup = AssembleStartup(program.Folder(), {&lha, nullptr, &cab});
    EXPECT_EQ(startup.values.libraries.unlha, 100);
    EXPECT_EQ(startup.values.libraries.unzip, 0);  // absent
    EXPECT_EQ(startup.values.libraries.cab, 100);
    EXPECT_TRUE(startup.usable.lha && !startup.usable.zip && startup.usable.cab &&
                startup.usable.exe);
    EXPECT_EQ(startup.values.viewerVersion, 123);
    EXPECT_EQ(startup.values.viewerIniFile, program.File("Quorvix.ini"));
    EXPECT_EQ(startup.values.viewerPrevInstance, 1);
    // The document types are read at every check, not once.
    EXPECT_EQ(DocumentWildcards(startup.values.viewerVersion, startup.docTypes),
              "*.TXT *.PDF *.RTF");
    program.Write("Quorvix.ini", "[Option]\nDocType=MD\n");
    EXPECT_EQ(DocumentWildcards(startup.values.viewerVersion, startup.docTypes), "*.TXT *.MD");

    // Nothing beside the program: no versions, the viewer's defaults.
    TempFolder empty;
    const Startup bare = AssembleStartup(empty.Folder(), {});
    EXPECT_EQ(bare.values.libraries.unlha + bare.values.libraries.unzip +
                  bare.values.libraries.cab + bare.values.viewerVersion +
                  bare.values.viewerPrevInstance,
              0);
    EXPECT_FALSE(bare.usable.lha || bare.usable.zip || bare.usable.cab || bare.usable.exe);
    EXPECT_EQ(bare.docTypes.read(), kDefaultDocTypes);
}

}  // namespace
}  // namespace mervok
