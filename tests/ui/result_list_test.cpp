#include "ui/result_list.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <memory>
#include <string>
#include <vector>

#include "gui_test_support.h"
#include "support/hits.h"

namespace mervok {
namespace {

using testing::Hit;
using testing::SampleHits;

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
        mList = test::Find<ResultList>(*mWindow, "lsvArchive");
        mDetails = test::Find<QTreeView>(*mWindow, "lsvArchiveDetails");
        mIcons = test::Find<QListView>(*mWindow, "lsvArchiveIcons");
        ASSERT_TRUE(mList && mDetails && mIcons);
    }
    QStringList ShownNames() const { return test::ShownNames(mDetails); }

    std::unique_ptr<QWidget> mWindow;
    ResultList* mList = nullptr;
    QTreeView* mDetails = nullptr;
    QListView* mIcons = nullptr;
};

using Names = QStringList;

TEST_F(ResultListTest, FillSortsByNameSelectsTheFirstRowAndClearEmpties) {
    mList->Fill(SampleHits(), RowStyle{});

    EXPECT_EQ(mList->RowCount(), 5);
    EXPECT_EQ(ShownNames(),
              (Names{"Alpha.zip", "alpha.ZIP", "beta.lzh", "delta.exe", "gamma.cab"}));
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
    // The fill sorted by name, so the first click on it reverses; a new
    // column sorts ascending (the orders themselves are the model's).
    const struct {
        int header;
        Qt::SortOrder order;
        const char* first;
    } clicks[] = {{0, Qt::DescendingOrder, "gamma.cab"},
                  {0, Qt::AscendingOrder, "Alpha.zip"},
                  {2, Qt::AscendingOrder, "delta.exe"},
                  {2, Qt::DescendingOrder, "Alpha.zip"},
                  {4, Qt::AscendingOrder, "Alpha.zip"}};
    for (const auto& click : clicks) {
        QHeaderView* header = mDetails->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(click.header) +
                                     header->sectionSize(click.header) / 2,
                                 header->height() / 2));
        EXPECT_EQ(mList->SortColumn(), click.header + 1);
        EXPECT_EQ(mList->SortOrder(), click.order);
        EXPECT_EQ(ShownNames().front(), click.first) << "header " << click.header;
    }
    EXPECT_FALSE(mDetails->header()->isSortIndicatorShown());
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

    mList->Fill(SampleHits(), RowStyle{});
    EXPECT_EQ(mDetails->palette().color(QPalette::Base), QColor(250, 240, 200));
    EXPECT_EQ(mIcons->palette().color(QPalette::Base), QColor(250, 240, 200));
    QApplication::setPalette(QApplication::style()->standardPalette());
    QApplication::processEvents();
}

TEST_F(ResultListTest, ViewModesShareOneListViewOneSelectionAndTheWindowsIconSizes) {
    mList->SetIconSizes(48, 24);
    mList->Fill(SampleHits(), RowStyle{});
    EXPECT_EQ(mIcons->selectionModel(), mDetails->selectionModel());
    EXPECT_EQ(mList->Model()->Icons().Small(mList->Model()->IconIndex(0)).size(), QSize(24, 24));

    mList->SetView(ResultList::kDetails);
    EXPECT_EQ(mList->CurrentView(), mDetails);
    EXPECT_EQ(mList->currentWidget(), mDetails);
    EXPECT_EQ(mDetails->iconSize(), QSize(24, 24));
    mDetails->selectionModel()->setCurrentIndex(
        mDetails->model()->index(3, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

    mList->SetView(ResultList::kLargeIcons);
    EXPECT_EQ(mList->currentWidget(), mIcons);
    EXPECT_EQ(mIcons->viewMode(), QListView::IconMode);
    EXPECT_EQ(mIcons->iconSize(), QSize(48, 48));
    EXPECT_TRUE(mIcons->selectionModel()->isSelected(mIcons->model()->index(3, 0)));
    EXPECT_EQ(mList->SelectedPath(), std::optional<std::string>("/delta.exe"));

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
    // The one kind label, "LHA", is shorter than the title "書庫形式".
    EXPECT_LT(widths()[3], header->sectionSizeHint(3));
}

TEST_F(ResultListTest, HoverSelectsTheRowUnderTheRestingPointerInBothViews) {
    mList->Fill(SampleHits(), RowStyle{});
    auto* rest = mList->findChild<QTimer*>("hoverTimer");
    ASSERT_NE(rest, nullptr);
    const auto rested = [rest] {
        EXPECT_TRUE(rest->isActive());
        EXPECT_EQ(rest->interval(),
                  QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay));
        QMetaObject::invokeMethod(rest, "timeout");
    };
    for (int view : {ResultList::kDetails, ResultList::kList}) {
        mList->SetView(view);
        QApplication::processEvents();
        QAbstractItemView* shown = mList->CurrentView();
        mList->SetHoverSelection(false);
        test::Move(shown->viewport(), test::RowCentre(shown, 2));
        EXPECT_FALSE(rest->isActive());
        EXPECT_EQ(mList->SelectedPath(), std::optional<std::string>("/arc/b/Alpha.zip"));

        // A pointer that passes over a row selects nothing; one that rests
        // selects the row under it.
        mList->SetHoverSelection(true);
        test::Move(shown->viewport(), test::RowCentre(shown, 3));
        EXPECT_EQ(mList->SelectedPath(), std::optional<std::string>("/arc/b/Alpha.zip"));
        test::Move(shown->viewport(), test::RowCentre(shown, 2));
        rested();
        EXPECT_EQ(mList->SelectedPath(), std::optional<std::string>("/arc/b/beta.lzh"));
        test::Move(shown->viewport(), test::RowCentre(shown, 0));
        test::Leave(shown->viewport());
        EXPECT_FALSE(rest->isActive()) << "the pointer has left";
        test::Move(shown->viewport(), test::RowCentre(shown, 0));
        rested();
        EXPECT_EQ(mList->SelectedPath(), std::optional<std::string>("/arc/b/Alpha.zip"));
    }
}

}  // namespace
}  // namespace mervok
