#include "results/result_model.h"
#include "results/collation.h"
#include "results/icon_cache.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QImage>

#include <string>
#include <vector>

#include "support/hits.h"

namespace mervok {
namespace {

using testing::Hit;
using testing::SampleHits;

std::vector<std::string> NamesInOrder(const ResultModel& model, const std::vector<int>& rows) {
    std::vector<std::string> names;
    for (int row : rows) {
        names.push_back(model.Hit(row).fileName);
    }
    return names;
}

TEST(ResultModelTest, ModelAndProxyPassTheModelTesterAndEachColumnShowsItsField) {
    // A broken contract ends the program with the tester's message.
    ResultModel model;
    ResultSortProxy proxy;
    proxy.setSourceModel(&model);
    QAbstractItemModelTester modelTester(&model,
                                         QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester proxyTester(&proxy,
                                         QAbstractItemModelTester::FailureReportingMode::Fatal);

    RowStyle style;
    style.colourByKind = true;
    model.SetRows(SampleHits(), style);
    for (int column = 0; column < ResultModel::kColumnCount; ++column) {
        proxy.sort(column, Qt::AscendingOrder);
        proxy.sort(column, Qt::DescendingOrder);
    }
    proxy.sort(-1);
    model.Clear();
    model.SetRows(SampleHits(), style);

    EXPECT_EQ(proxy.rowCount(), 5);
    // Header titles come through the proxy also while it has no rows.
    model.Clear();
    EXPECT_EQ(proxy.headerData(ResultModel::kSizeColumn, Qt::Horizontal).toString(), "ｻｲｽﾞ");

    model.SetRows(SampleHits(), RowStyle{});
    const std::vector<const char*> titles = {"ﾌｧｲﾙ", "ﾌｫﾙﾀﾞ", "ｻｲｽﾞ", "書庫形式", "更新日時"};
    ASSERT_EQ(model.columnCount(), 5);
    for (int column = 0; column < 5; ++column) {
        EXPECT_EQ(model.headerData(column, Qt::Horizontal).toString(),
                  QString::fromUtf8(titles[column]));
    }

    // Each column takes its own field; the texts themselves are the row-text functions'.
    EXPECT_EQ(model.Text(2, ResultModel::kSizeColumn), "1,000,000,000");
    EXPECT_EQ(model.Text(3, ResultModel::kKindColumn), "ZIP?");
    EXPECT_EQ(model.Text(1, ResultModel::kModifiedColumn), "1999/12/31 23:59:59");

    const auto alignment = [&](int column) {
        return Qt::Alignment(model.data(model.index(0, column), Qt::TextAlignmentRole).toInt());
    };
    EXPECT_TRUE(alignment(ResultModel::kSizeColumn) & Qt::AlignRight);
    EXPECT_TRUE(alignment(ResultModel::kFileColumn) & Qt::AlignLeft);
}

TEST(ResultModelTest, SortOrdersOfEveryColumnKeepEqualKeysInHitOrder) {
    ResultModel model;
    model.SetRows(SampleHits(), RowStyle{});
    using M = ResultModel;
    const struct {
        int column;
        bool ascending;
        std::vector<std::string> names;
    } sorts[] = {
        // Letter case does not count; the two "alpha"s keep their hit order both ways.
        {M::kFileColumn, true, {"Alpha.zip", "alpha.ZIP", "beta.lzh", "delta.exe", "gamma.cab"}},
        {M::kFileColumn, false, {"gamma.cab", "delta.exe", "beta.lzh", "Alpha.zip", "alpha.ZIP"}},
        // Sizes by number, also at and beyond 1,000,000,000 where the text is longer.
        {M::kSizeColumn, true, {"delta.exe", "beta.lzh", "alpha.ZIP", "gamma.cab", "Alpha.zip"}},
        {M::kSizeColumn, false, {"Alpha.zip", "gamma.cab", "alpha.ZIP", "beta.lzh", "delta.exe"}},
        {M::kModifiedColumn,
         true,
         {"Alpha.zip", "alpha.ZIP", "beta.lzh", "gamma.cab", "delta.exe"}},
        {M::kKindColumn, true, {"gamma.cab", "beta.lzh", "delta.exe", "Alpha.zip", "alpha.ZIP"}},
        // "/" < "/arc/a" < "/arc/b"; rows of one folder keep their order.
        {M::kFolderColumn, true, {"delta.exe", "gamma.cab", "alpha.ZIP", "beta.lzh", "Alpha.zip"}},
    };
    for (const auto& sort : sorts) {
        const auto order = sort.ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
        EXPECT_EQ(NamesInOrder(model, model.SortedRows(sort.column, order)), sort.names)
            << "column " << sort.column << (sort.ascending ? " up" : " down");
    }
}

TEST(ResultModelTest, WindowAndCommandLineShareOneNameOrder) {
    // Each name with its place in the order; equal keys keep the hits' order.
    const std::pair<const char*, int> names[] = {
        {"B.zip", 1},        {"\x88\x9f.lzh", 6},  // Shift-JIS 亜 (U+4E9C)
        {"a.zip", 0},        {"\xb1.lzh", 7},      // Shift-JIS half-width ｱ (U+FF71)
        {"\xc3\x89.zip", 2}, {"\x88\xea.lzh", 5},  // UTF-8 É; Shift-JIS 一 (U+4E00)
        {"\xff.zip", 4},     {"\xc3\xa9.zip", 3},  // neither: ÿ; UTF-8 é
    };
    std::vector<FoundArchive> hits;
    std::vector<std::string> expected(std::size(names));
    for (const auto& [name, place] : names) {
        hits.push_back(Hit("/arc/", name, 1, ArchiveKind::Zip, ""));
        expected[static_cast<std::size_t>(place)] = name;
    }
    ResultModel model;
    model.SetRows(hits, RowStyle{});
    EXPECT_EQ(NamesInOrder(model, model.SortedRows(ResultModel::kFileColumn, Qt::AscendingOrder)),
              expected);
    SortByFileName(hits);
    std::vector<std::string> printed;
    for (const auto& hit : hits) {
        printed.push_back(hit.fileName);
    }
    EXPECT_EQ(printed, expected);
}

TEST(ResultModelTest, TextColoursByKindOnlyInColourMode) {
    RowStyle style;
    style.colourByKind = true;
    // Red in the low byte.
    style.colours = {0x0000FF, 0x00FF00, 0xFF0000, 0x804020, 0x102030, 0x405060};
    ResultModel model;
    model.SetRows(SampleHits(), style);
    const auto colourOf = [&](int row, int column) {
        return model.data(model.index(row, column), Qt::ForegroundRole).value<QColor>();
    };
    EXPECT_EQ(colourOf(0, ResultModel::kFileColumn), QColor(255, 0, 0));      // LHA
    EXPECT_EQ(colourOf(0, ResultModel::kModifiedColumn), QColor(255, 0, 0));  // every column

    model.SetRows(SampleHits(), RowStyle{});  // colour mode off: the view's own colour
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::ForegroundRole).isValid());
}

TEST(ResultModelTest, NamesInShiftJisAreShownReadablyAndKeptAsBytes) {
    const std::string shiftJis = "\x83\x65\x83\x58\x83\x67.lzh";  // "テスト.lzh"
    const std::string latin1 = "caf\xE9\xFF.zip";                 // neither UTF-8 nor Shift-JIS
    EXPECT_EQ(DisplayName(shiftJis), QString::fromUtf8("テスト.lzh"));
    EXPECT_EQ(DisplayName("日本語.zip"), QString::fromUtf8("日本語.zip"));
    const QString replaced = DisplayName(latin1);
    EXPECT_TRUE(replaced.startsWith("caf"));
    EXPECT_TRUE(replaced.endsWith(".zip"));
    EXPECT_TRUE(replaced.contains(QChar::ReplacementCharacter));

    ResultModel model;
    model.SetRows({Hit("/x/\x93\xfa/", shiftJis, 1, ArchiveKind::Lha, "2000/01/01 00:00:00")},
                  RowStyle{});
    EXPECT_EQ(model.Text(0, ResultModel::kFileColumn), QString::fromUtf8("テスト.lzh"));
    EXPECT_EQ(model.Text(0, ResultModel::kFolderColumn), QString::fromUtf8("/x/日"));
    EXPECT_EQ(model.Hit(0).Path(), "/x/\x93\xfa/" + shiftJis);
}

QImage ImageOf(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST(IconCacheTest, OneEntryPerTypeAndExecutablesByTheSfxSetting) {
    IconCache cache;
    cache.SetSizes(32, 16);
    const int lzh = cache.Assign("/a/", "one.lzh", false);
    EXPECT_EQ(cache.Assign("/b/", "two.LZH", false), lzh);  // one type, one icon
    const int zip = cache.Assign("/a/", "three.zip", false);
    EXPECT_NE(zip, lzh);
    EXPECT_EQ(cache.Key(lzh), "application/x-lha");
    EXPECT_EQ(cache.Key(zip), "application/zip");
    EXPECT_EQ(cache.Count(), 2);
    // Every entry has pictures at both sizes, from the theme or our own.
    EXPECT_EQ(cache.Large(lzh).size(), QSize(32, 32));
    EXPECT_EQ(cache.Small(lzh).size(), QSize(16, 16));

    // Executables with their own icons: one entry per file, keyed by its path.
    const int first = cache.Assign("/a/", "setup.exe", false);
    const int second = cache.Assign("/b/", "setup.exe", false);
    EXPECT_NE(first, second);
    EXPECT_EQ(cache.Key(first), "/a/setup.exe");
    EXPECT_EQ(cache.Assign("/a/", "setup.exe", false), first);

    // With the SFX setting all executables share the fixed pictures.
    const int sfx = cache.Assign("/a/", "self.exe", true);
    EXPECT_EQ(cache.Assign("/c/", "other.EXE", true), sfx);
    EXPECT_EQ(cache.Key(sfx), "SFX");
    EXPECT_EQ(ImageOf(cache.Large(sfx)), ImageOf(IconCache::SfxPicture32()));
    EXPECT_EQ(ImageOf(cache.Small(sfx)), ImageOf(IconCache::SfxPicture16()));
    EXPECT_NE(ImageOf(cache.Large(first)), ImageOf(IconCache::SfxPicture32()));

    cache.Clear();
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_EQ(cache.IndexOf("SFX"), -1);
    EXPECT_EQ(cache.Assign("/a/", "one.lzh", false), 0);
}

TEST(ResultModelTest, RowsOfOneTypeShareTheCachedIcon) {
    ResultModel model;
    RowStyle style;
    style.noSfxIcons = true;
    model.SetRows(
        {Hit("/a/", "x.lzh", 1, ArchiveKind::Lha, ""), Hit("/b/", "y.lzh", 1, ArchiveKind::Lha, ""),
         Hit("/a/", "s.exe", 1, ArchiveKind::LhaSfx, ""),
         Hit("/b/", "t.exe", 1, ArchiveKind::ZipSfx, "")},
        style);
    EXPECT_EQ(model.Icons().Count(), 2);
    EXPECT_EQ(model.IconIndex(0), model.IconIndex(1));
    EXPECT_EQ(model.IconIndex(2), model.IconIndex(3));
    const QVariant decoration =
        model.data(model.index(2, ResultModel::kFileColumn), Qt::DecorationRole);
    ASSERT_TRUE(decoration.canConvert<QIcon>());
    EXPECT_FALSE(decoration.value<QIcon>().isNull());
    EXPECT_FALSE(
        model.data(model.index(2, ResultModel::kSizeColumn), Qt::DecorationRole).isValid());
}

}  // namespace
}  // namespace mervok

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
