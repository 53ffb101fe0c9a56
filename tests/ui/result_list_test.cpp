#include "ui/result_list.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace mervok {
namespace {

FoundArchive Hit(std::string folder, std::string name, std::int64_t size, ArchiveKind kind,
                 std::string modified) {
    return FoundArchive{std::move(folder), std::move(name), size, kind, std::move(modified)};
}

std::vector<FoundArchive> SampleHits() {
    return {
        Hit("/arc/b/", "beta.lzh", 1234, ArchiveKind::Lha, "2003/05/01 10:00:00"),
        Hit("/arc/b/", "Alpha.zip", 3LL << 30, ArchiveKind::Zip, "1999/12/31 23:59:59"),
        Hit("/arc/a/", "gamma.cab", 1'000'000'000, ArchiveKind::Cab, "2010/01/01 00:00:00"),
        Hit("/arc/a/", "epsilon.lzh", 999'999'999, ArchiveKind::Lha, "2003/05/01 09:59:59"),
        Hit("/", "delta.exe", 0, ArchiveKind::LhaSfx, "2020/02/29 12:00:00"),
    };
}

// The list as the window holds it: inside a shown top-level widget.
class ResultListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mWindow = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(mWindow.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new ResultList);
        mWindow->resize(900, 500);
        mWindow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(mWindow.get()));
        mList = mWindow->findChild<ResultList*>("lsvArchive");
        ASSERT_NE(mList, nullptr);
        mDetails = mList->findChild<QTreeView*>("lsvArchiveDetails");
        mIcons = mList->findChild<QListView*>("lsvArchiveIcons");
        ASSERT_NE(mDetails, nullptr);
        ASSERT_NE(mIcons, nullptr);
    }

    // File names from top to bottom as the list shows them.
    std::vector<std::string> ShownNames() const {
        std::vector<std::string> names;
        QAbstractItemModel* model = mDetails->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            names.push_back(model->index(row, 0).data().toString().toStdString());
        }
        return names;
    }

    QPoint RowCentre(QAbstractItemView* view, int row) const {
        return view->visualRect(view->model()->index(row, 0)).center();
    }

    void MoveTo(QAbstractItemView* view, QPoint position) {
        QMouseEvent event(QEvent::MouseMove, position, view->viewport()->mapToGlobal(position),
                          Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
    }

    std::unique_ptr<QWidget> mWindow;
    ResultList* mList = nullptr;
    QTreeView* mDetails = nullptr;
    QListView* mIcons = nullptr;
};

using Names = std::vector<std::string>;

TEST_F(ResultListTest, FillSortsByNameSelectsTheFirstRowAndClearEmpties) {
    mList->Fill(SampleHits(), RowStyle{});

    EXPECT_EQ(mList->RowCount(), 5);
    EXPECT_EQ(ShownNames(),
              (Names{"Alpha.zip", "beta.lzh", "delta.exe", "epsilon.lzh", "gamma.cab"}));
    EXPECT_EQ(mList->SortColumn(), 1);
    EXPECT_EQ(mList->SortOrder(), Qt::AscendingOrder);
    EXPECT_EQ(mList->SelectedPath(), std::optional<std::string>("/arc/b/Alpha.zip"));

    mList->Clear();
    EXPECT_EQ(mList->Model()->Icons().Count(), 0);
    EXPECT_FALSE(mList->SelectedPath().has_value());

    // A search without hits leaves the list empty and the sort state alone.
    mList->Fill({}, RowStyle{});
    EXPECT_EQ(mList->RowCount(), 0);
    EXPECT_EQ(mList->SortColumn(), 1);
}

TEST_F(ResultListTest, HeaderClicksToggleOnlyTheSameColumn) {
    mList->SetView(ResultList::kDetails);
    mList->Fill(SampleHits(), RowStyle{});
    // The fill sorted by name, so the first click on it reverses; sizes sort by number
    // (1,000,000,000 and 3 GiB included); dates oldest first.
    const struct {
        int header;
        int sortColumn;
        Names names;
    } clicks[] = {
        {0, 1, {"gamma.cab", "epsilon.lzh", "delta.exe", "beta.lzh", "Alpha.zip"}},
        {0, 1, {"Alpha.zip", "beta.lzh", "delta.exe", "epsilon.lzh", "gamma.cab"}},
        {2, 3, {"delta.exe", "beta.lzh", "epsilon.lzh", "gamma.cab", "Alpha.zip"}},
        {2, 3, {"Alpha.zip", "gamma.cab", "epsilon.lzh", "beta.lzh", "delta.exe"}},
        {4, 5, {"Alpha.zip", "epsilon.lzh", "beta.lzh", "gamma.cab", "delta.exe"}},
    };
    for (const auto& click : clicks) {
        QHeaderView* header = mDetails->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(click.header) +
                                     header->sectionSize(click.header) / 2,
                                 header->height() / 2));
        EXPECT_EQ(mList->SortColumn(), click.sortColumn);
        EXPECT_EQ(ShownNames(), click.names) << "header " << click.header;
    }
    EXPECT_EQ(mDetails->header()->sortIndicatorSection(), 4);
    EXPECT_EQ(mDetails->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    // The selected row stays selected through the sorts.
    EXPECT_EQ(mList->SelectedPath(), std::optional<std::string>("/arc/b/Alpha.zip"));
}

TEST_F(ResultListTest, BackgroundIsWhiteInColourModeAndThePalettesOtherwise) {
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Base, QColor(250, 240, 200));
    QApplication::setPalette(palette);
    QApplication::processEvents();  // the new palette reaches the widgets through events

    RowStyle colour;
    colour.colourByKind = true;
    colour.colours = {0x0000FF, 0x00FF00, 0xFF0000, 0x804020, 0x102030, 0x405060};
    mList->Fill(SampleHits(), colour);
    EXPECT_EQ(mDetails->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(mIcons->palette().color(QPalette::Base), QColor(Qt::white));
    // Row colours reach the view: "Alpha.zip" is a ZIP.
    const QModelIndex first = mDetails->model()->index(0, 3);
    EXPECT_EQ(first.data(Qt::ForegroundRole).value<QColor>(), QColor(0, 255, 0));

    mList->Fill(SampleHits(), RowStyle{});
    EXPECT_EQ(mDetails->palette().color(QPalette::Base), QColor(250, 240, 200));
    EXPECT_EQ(mIcons->palette().color(QPalette::Base), QColor(250, 240, 200));
    EXPECT_FALSE(mDetails->model()->index(0, 3).data(Qt::ForegroundRole).isValid());
    QApplication::setPalette(QApplication::style()->standardPalette());
    QApplication::processEvents();
}

TEST_F(ResultListTest, ViewModesShareOneListViewAndOneSelection) {
    mList->Fill(SampleHits(), RowStyle{});
    EXPECT_EQ(mIcons->selectionModel(), mDetails->selectionModel());

    mList->SetView(ResultList::kDetails);
    EXPECT_EQ(mList->CurrentView(), mDetails);
    EXPECT_EQ(mList->currentWidget(), mDetails);
    mDetails->selectionModel()->setCurrentIndex(
        mDetails->model()->index(3, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

    mList->SetView(ResultList::kLargeIcons);
    EXPECT_EQ(mList->currentWidget(), mIcons);
    EXPECT_EQ(mIcons->viewMode(), QListView::IconMode);
    EXPECT_EQ(mIcons->iconSize(), QSize(mList->LargeIconSize(), mList->LargeIconSize()));
    EXPECT_TRUE(mIcons->selectionModel()->isSelected(mIcons->model()->index(3, 0)));
    EXPECT_EQ(mList->SelectedPath(), std::optional<std::string>("/arc/a/epsilon.lzh"));

    mList->SetView(ResultList::kList);
    EXPECT_EQ(mIcons->viewMode(), QListView::ListMode);
    EXPECT_EQ(mIcons->flow(), QListView::TopToBottom);

    mList->SetView(-1);  // no entry selected: nothing changes
    mList->SetView(4);
    EXPECT_EQ(mList->View(), ResultList::kList);
    EXPECT_EQ(mList->currentWidget(), mIcons);
}

TEST_F(ResultListTest, FitFollowsTheRowTextsInDetailsWithAutoWidthOnly) {
    mWindow->resize(900, 500);
    QApplication::processEvents();
    mList->SetUpColumns();
    QHeaderView* header = mDetails->header();
    const auto widths = [header] {
        std::vector<int> result;
        for (int column = 0; column < header->count(); ++column) {
            result.push_back(header->sectionSize(column));
        }
        return result;
    };
    const std::vector<int> startWidths = widths();

    // Checking the box in the large-icon view fits nothing...
    mList->SetView(ResultList::kLargeIcons);
    RowStyle style;
    style.autoColumnWidth = false;
    mList->Fill(SampleHits(), style);
    mList->AutoColumnChanged(true);
    EXPECT_EQ(widths(), startWidths);
    // ...but the switch to details does, to exactly what the rows need.
    mList->SetView(ResultList::kDetails);
    const std::vector<int> fitted = widths();
    EXPECT_NE(fitted, startWidths);
    for (int column = 0; column < header->count(); ++column) {
        EXPECT_EQ(fitted[column],
                  static_cast<QAbstractItemView*>(mDetails)->sizeHintForColumn(column))
            << "column " << column;
    }
    // The kind labels are shorter than the title "書庫形式".
    EXPECT_LT(fitted[3], header->sectionSizeHint(3));

    // Unchecking keeps the fitted widths; a fill with auto width off does not fit.
    mList->AutoColumnChanged(false);
    EXPECT_EQ(widths(), fitted);
    mList->Fill({Hit("/a/", "a-much-longer-file-name-than-before.lzh", 1, ArchiveKind::Lha, "")},
                style);
    EXPECT_EQ(widths(), fitted);
    // With auto width on, the fill in details fits.
    style.autoColumnWidth = true;
    mList->Fill({Hit("/a/", "a-much-longer-file-name-than-before.lzh", 1, ArchiveKind::Lha, "")},
                style);
    EXPECT_GT(widths()[0], fitted[0]);
}

TEST_F(ResultListTest, HoverSelectsTheRowUnderThePointerInBothViews) {
    mList->Fill(SampleHits(), RowStyle{});
    for (int view : {ResultList::kDetails, ResultList::kList}) {
        mList->SetView(view);
        QApplication::processEvents();
        QAbstractItemView* shown = mList->CurrentView();
        mList->SetHoverSelection(false);
        MoveTo(shown, RowCentre(shown, 2));
        EXPECT_EQ(mList->SelectedPath(), std::optional<std::string>("/arc/b/Alpha.zip"));

        mList->SetHoverSelection(true);
        MoveTo(shown, RowCentre(shown, 3));
        EXPECT_EQ(mList->SelectedPath(), std::optional<std::string>("/arc/a/epsilon.lzh"));
        MoveTo(shown, RowCentre(shown, 0));
        EXPECT_EQ(mList->SelectedPath(), std::optional<std::string>("/arc/b/Alpha.zip"));
    }
}

TEST_F(ResultListTest, SelectedPathIsTheExactBytesOfARealFile) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const std::string folder = QFile::encodeName(temp.path()).toStdString() + "/";
    const std::string shiftJisName = "\x83\x65\x83\x58\x83\x67.lzh";  // "テスト.lzh"
    std::ofstream(folder + shiftJisName) << "x";

    RowStyle style;
    style.noSfxIcons = true;
    mList->Fill({Hit(folder, shiftJisName, 1, ArchiveKind::Lha, "2000/01/01 00:00:00"),
                 Hit(folder, "ン.exe", 1, ArchiveKind::LhaSfx, "2000/01/01 00:00:00")},
                style);
    EXPECT_EQ(mDetails->model()->index(0, 0).data().toString(), QString::fromUtf8("テスト.lzh"));
    const std::optional<std::string> path = mList->SelectedPath();
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, folder + shiftJisName);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(*path)));

    // The executable got the fixed SFX pictures.
    const int icon = mList->Model()->IconIndex(1);
    EXPECT_EQ(mList->Model()->Icons().Key(icon), "SFX");
}

TEST_F(ResultListTest, IconSizesFromTheWindowReachIconsAndViews) {
    mList->SetIconSizes(48, 24);
    mList->Fill(SampleHits(), RowStyle{});
    const IconCache& icons = mList->Model()->Icons();
    EXPECT_EQ(icons.Large(mList->Model()->IconIndex(0)).size(), QSize(48, 48));
    EXPECT_EQ(icons.Small(mList->Model()->IconIndex(0)).size(), QSize(24, 24));
    mList->SetView(ResultList::kLargeIcons);
    EXPECT_EQ(mIcons->iconSize(), QSize(48, 48));
    mList->SetView(ResultList::kDetails);
    EXPECT_EQ(mDetails->iconSize(), QSize(24, 24));
}

}  // namespace
}  // namespace mervok
