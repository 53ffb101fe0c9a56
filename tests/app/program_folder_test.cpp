#include "app/program_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace mervok {
namespace {

TEST(ProgramFolderTest, PathInFolderAddsOneSeparator) {
    EXPECT_EQ(PathInFolder("/opt/mervok", "Mervok.ini"), "/opt/mervok/Mervok.ini");
    EXPECT_EQ(PathInFolder("/opt/mervok/", "Mervok.ini"), "/opt/mervok/Mervok.ini");
    // A root keeps its single separator.
    EXPECT_EQ(PathInFolder("/", "Quorvix.ini"), "/Quorvix.ini");
    EXPECT_EQ(WithTrailingSeparator("/"), "/");
    EXPECT_EQ(WithTrailingSeparator("/data"), "/data/");
}

TEST(ProgramFolderTest, FolderIsTheTestExecutablesOwnNotTheCurrentOne) {
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    const std::string folder = ProgramFolder();
    std::filesystem::current_path(before);

    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(folder + ProgramFileName()));
    EXPECT_EQ(ProgramFileName(), "app_tests");
}

}  // namespace
}  // namespace mervok
