#pragma once

#include "results/result_model.h"
#include "search/found_archive.h"

#include <QPointer>
#include <QStackedWidget>

#include <optional>
#include <string>
#include <vector>

class QAbstractItemView;
class QItemSelectionModel;
class QLabel;
class QListView;
class QModelIndex;
class QTimer;
class QTreeView;

namespace mervok {

class ResultDetailsView;
class ResultItemDelegate;

// The result list `lsvArchive`: the hits of the last search in one of four
// views. One model (ResultModel) behind one sort proxy feeds a QListView for
// large icons, small icons and list, and a QTreeView for details; both views
// share the selection, so switching views keeps the selected row.
//
// Start-up: SetIconSizes (optional, the style's sizes otherwise), SetView for
// the stored view, then SetUpColumns once the list has its size.
// A search: Clear at its start, Fill with the hits at its end.
// Controls: SetView (cmbView), AutoColumnChanged (chkAutoColumn),
// SetHoverSelection (chkClick); header clicks are handled here.
// Opening a row is the window's: it listens to MouseDown / Clicked /
// DoubleClicked / EnterPressed and asks SelectedPath.
class ResultList : public QStackedWidget {
    Q_OBJECT
  public:
    // Entry indexes of cmbView.
    enum ViewMode { kLargeIcons = 0, kSmallIcons = 1, kList = 2, kDetails = 3 };

    explicit ResultList(QWidget* parent = nullptr);
    ~ResultList() override;

    // Icon sizes in pixels. By default the large size is the style's large
    // icon size and the small one half of it, halves rounded to even. Takes
    // effect for icons fetched afterwards (the next fill).
    void SetIconSizes(int large, int small);
    int LargeIconSize() const;
    int SmallIconSize() const;

    // The five columns' widths as fractions of the list's current width
    // (1/4, 1/4, 1/7, 1/8, 1/4.5); not recomputed on resize.
    void SetUpColumns();

    // Start of a search: every row and the icon cache go.
    void Clear();
    // End of a search: one row per hit, added in array order, then sorted by
    // file name ascending with the first row selected; fitted when
    // style.autoColumnWidth is set and the view is details. The background is
    // white in colour mode, the palette's base colour otherwise. An empty
    // vector leaves an empty list and the sort state as it was.
    void Fill(std::vector<FoundArchive> hits, const RowStyle& style);

    // cmbView_Click: 0 large icons, 1 small icons, 2 list, 3 details (fitted
    // when rows exist and auto width is on); any other index does nothing.
    void SetView(int index);
    int View() const { return mView; }

    // chkAutoColumn's state, without fitting (start-up, settings).
    void SetAutoColumnWidth(bool on) { mAutoColumnWidth = on; }
    bool AutoColumnWidth() const { return mAutoColumnWidth; }
    // chkAutoColumn_Click: remembers the state; when checked, the view is
    // details and rows exist, fits the columns.
    void AutoColumnChanged(bool checked);

    // Header click on the 0-based column: a new column sorts ascending, the
    // same column again reverses the order.
    void lsvArchive_ColumnClick(int column);
    // mSortColumn: 1-based column of the last sort, 0 before any.
    int SortColumn() const { return mSortColumn; }
    Qt::SortOrder SortOrder() const { return mSortOrder; }

    // Every column to the width of its widest row text (and the icon in the
    // first column); the header titles do not count. Nothing happens without
    // rows.
    void FitColumnWidths();

    // chkClick: the row under the resting mouse pointer becomes the selected
    // row. It rests once it has not moved for the platform's tool-tip delay
    // (the one rest time Qt's styles give; a passing pointer selects nothing).
    void SetHoverSelection(bool on);
    bool HoverSelection() const { return mHoverSelection; }

    int RowCount() const;
    // The selected row, in the model's row numbers (the hits' order), or -1.
    int SelectedRow() const;
    // The exact path bytes (folder + fileName) of the selected row.
    std::optional<std::string> SelectedPath() const;

    // The view on show, and both views (objectNames "lsvArchiveIcons" and
    // "lsvArchiveDetails").
    QAbstractItemView* CurrentView() const;
    QListView* IconView() const { return mIconView; }
    QTreeView* DetailsView() const;
    ResultModel* Model() const { return mModel; }
    ResultSortProxy* Proxy() const { return mProxy; }
    QItemSelectionModel* SelectionModel() const;

    // The fixed self-extracting-archive pictures as hidden labels
    // ("imgSFX16", "imgSFX32"), children of this list until the window
    // places them elsewhere.
    QLabel* SfxPicture16() const { return mSfx16; }
    QLabel* SfxPicture32() const { return mSfx32; }

  signals:
    // A mouse button went down in a view; onRow tells whether on a row.
    void MouseDown(Qt::MouseButton button, bool onRow);
    // A mouse button was released in a view (the click that follows MouseDown).
    void Clicked(Qt::MouseButton button);
    // The second press of a double click (it comes instead of a MouseDown).
    void DoubleClicked(Qt::MouseButton button, bool onRow);
    // Enter or Return in a view; the key goes no further.
    void EnterPressed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ApplyView();
    void ApplyBackground(bool colourByKind);
    void MeasureNames();
    void SelectFirstRow();
    void SelectRowAtRest();
    // The match-count column comes or goes with a fill.
    void PlaceMatchesColumn(bool shown);

    ResultModel* mModel = nullptr;
    ResultSortProxy* mProxy = nullptr;
    QListView* mIconView = nullptr;
    ResultItemDelegate* mIconDelegate = nullptr;
    ResultDetailsView* mDetailsView = nullptr;
    QLabel* mSfx16 = nullptr;
    QLabel* mSfx32 = nullptr;
    QTimer* mHoverTimer = nullptr;
    // Where the pointer rests, in the view that has it.
    QPointer<QAbstractItemView> mHoverView;
    QPoint mHoverPoint;

    int mView = kLargeIcons;
    bool mAutoColumnWidth = false;
    bool mHoverSelection = false;
    int mSortColumn = 0;
    Qt::SortOrder mSortOrder = Qt::AscendingOrder;
    // Widest file name text of the rows, for the small-icon and list grids.
    int mNameWidth = 0;
    // Width the folder column gave the match-count column, given back when
    // a fill comes without it.
    int mWidthForMatches = 0;
};

}  // namespace mervok
