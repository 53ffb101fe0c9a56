#include "app/file_exists.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "settings_files.h"

namespace mervok {
namespace {

using testing::RunUnprivileged;
using testing::TempFolder;
using testing::WriteBytes;

TEST(FileExistsTest, QuotesAndATrailingSeparatorAreRemovedVisibly) {
    TempFolder folder;
    const std::string file = folder.File("Quorvix.ini");
    WriteBytes(file, "[Option]\n");

    std::string quoted = "\"" + file + "\"";
    EXPECT_TRUE(FileExists(quoted));
    EXPECT_EQ(quoted, file);

    std::string withSeparator = "\"" + file + "/\"";
    EXPECT_TRUE(FileExists(withSeparator));
    EXPECT_EQ(withSeparator, file);

    // Only a pair of quotes around the whole path is removed.
    std::string halfQuoted = "\"" + file;
    EXPECT_FALSE(FileExists(halfQuoted));
    EXPECT_EQ(halfQuoted, "\"" + file);
}

TEST(FileExistsTest, OnlyReadableRegularFilesCount) {
    TempFolder folder;
    std::string path = folder.Path() + "/";
    EXPECT_FALSE(FileExists(path));  // a folder
    EXPECT_EQ(path, folder.Path());

    std::string missing = folder.File("none.ini");
    EXPECT_FALSE(FileExists(missing));

    const std::string fifo = folder.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    std::string fifoPath = fifo;
    EXPECT_FALSE(FileExists(fifoPath));  // and does not wait for a writer

    std::string empty;
    EXPECT_FALSE(FileExists(empty));
    std::string quotesOnly = "\"\"";
    EXPECT_FALSE(FileExists(quotesOnly));
    EXPECT_EQ(quotesOnly, "");
    std::string loneQuote = "\"";
    EXPECT_FALSE(FileExists(loneQuote));
    EXPECT_EQ(loneQuote, "\"");
}

TEST(FileExistsTest, FileWithoutReadPermissionDoesNotCount) {
    TempFolder folder;
    const std::string file = folder.File("secret.ini");
    WriteBytes(file, "x");
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0200), 0);
    const int result = RunUnprivileged([&] {
        std::string path = file;
        return FileExists(path);
    });
    ASSERT_NE(result, -1);
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace mervok
