// Names that someone may have crafted to drive a terminal.

#include <gtest/gtest.h>

#include <algorithm>

#include "cli/cli_output.h"

namespace mervok {
namespace {

TEST(HostileInputTest, NamesCannotDriveTheTerminalInTheTableAndStayExactInJson) {
    const struct {
        std::string name, table, json;
    } cases[] = {
        {"\x1b]0;owned\a\x1b[2J.zip", R"(\x1b]0;owned\x07\x1b[2J.zip)",
         R"("\u001b]0;owned\u0007\u001b[2J.zip")"},
        {"two\nrows.zip", R"(two\nrows.zip)", R"("two\nrows.zip")"},
        {"cr\r\ttab.zip", R"(cr\r\ttab.zip)", R"("cr\u000d\ttab.zip")"},
        {"fake\\x1b.zip", R"(fake\\x1b.zip)", R"("fake\\x1b.zip")"},
        {"c1\xc2\2332J.zip", R"(c1\xc2\x9b2J.zip)", "\"c1\xc2\2332J.zip\""},  // \233: C1 CSI
        {"rtl\xe2\x80\xaeqiz.exe", R"(rtl\xe2\x80\xaeqiz.exe)", "\"rtl\xe2\x80\xaeqiz.exe\""},
        {"sjis\x83\x65.lzh", R"(sjis\x83e.lzh)", R"("sjis\udc83e.lzh")"},
        {"日本語.zip", "日本語.zip", "\"日本語.zip\""},
    };
    std::vector<FoundArchive> hits;
    for (const auto& c : cases) {
        EXPECT_EQ(TableText(c.name), c.table);
        EXPECT_EQ(JsonString(c.name), c.json);
        hits.push_back({"/data/\x1b[31m/", c.name, 1, ArchiveKind::Zip, "2000/01/01 00:00:00"});
    }
    // One line per hit, and no byte but its line break that a terminal acts on.
    const std::string table = FormatTable(hits);
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), static_cast<long>(hits.size()));
    EXPECT_EQ(
        std::count_if(table.begin(), table.end(),
                      [](char c) { return c != '\n' && static_cast<unsigned char>(c) < 0x20; }),
        0);
    EXPECT_NE(table.find("/data/\\x1b[31m "), std::string::npos);
}

}  // namespace
}  // namespace mervok
