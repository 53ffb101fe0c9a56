#include "ui/result_list.h"

#include "ui/twips.h"

#include <QAbstractItemDelegate>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <array>
#include <utility>

namespace mervok {

// The details view, with the one thing QTreeView keeps to itself: the width a
// cell needs, measured the way the view paints it.
class ResultDetailsView : public QTreeView {
  public:
    using QTreeView::QTreeView;

    int ContentWidth(const QModelIndex& index) const {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        return itemDelegateForIndex(index)->sizeHint(option, index).width();
    }
};

// The icon views' delegate: every item has the size of its grid cell less a
// small gap, so the view never measures a hundred thousand names to lay them
// out, and long names are wrapped (large icons) or elided inside the cell.
class ResultItemDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void SetItemSize(QSize size) { mItemSize = size; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return mItemSize.isValid() ? mItemSize : QStyledItemDelegate::sizeHint(option, index);
    }

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        // A name under its large icon is centred, whatever its column's
        // alignment in the details view.
        if (option->decorationPosition == QStyleOptionViewItem::Top) {
            option->displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
        }
    }

  private:
    QSize mItemSize;
};

namespace {

// Text widths from cached character advances: measuring a hundred thousand
// names one by one with QFontMetrics takes most of a second, this a few
// milliseconds. It ignores kerning, so it only picks the candidates for the
// exact measurement.
class TextWidthMeter {
  public:
    explicit TextWidthMeter(const QFont& font) : mMetrics(font), mAdvances(0x10000, -1.0f) {}

    qreal Width(const QString& text) {
        qreal width = 0;
        for (const QChar c : text) {
            if (c.isSurrogate()) {
                return mMetrics.horizontalAdvance(text);
            }
            float& advance = mAdvances[c.unicode()];
            if (advance < 0) {
                advance = static_cast<float>(mMetrics.horizontalAdvance(c));
            }
            width += advance;
        }
        return width;
    }

  private:
    QFontMetricsF mMetrics;
    std::vector<float> mAdvances;
};

constexpr std::array<double, ResultModel::kColumnCount> kColumnFractions = {4.0, 4.0, 7.0, 8.0,
                                                                            4.5};

}  // namespace

ResultList::ResultList(QWidget* parent) : QStackedWidget(parent) {
    setObjectName(QStringLiteral("lsvArchive"));

    mModel = new ResultModel(this);
    mProxy = new ResultSortProxy(this);
    mProxy->setSourceModel(mModel);

    mIconView = new QListView(this);
    mIconView->setObjectName(QStringLiteral("lsvArchiveIcons"));
    mIconView->setModel(mProxy);
    mIconView->setModelColumn(ResultModel::kFileColumn);
    mIconView->setUniformItemSizes(true);
    mIconView->setLayoutMode(QListView::Batched);
    mIconView->setBatchSize(2000);
    mIconDelegate = new ResultItemDelegate(mIconView);
    mIconView->setItemDelegate(mIconDelegate);

    mDetailsView = new ResultDetailsView(this);
    mDetailsView->setObjectName(QStringLiteral("lsvArchiveDetails"));
    mDetailsView->setModel(mProxy);
    mDetailsView->setUniformRowHeights(true);
    mDetailsView->setRootIsDecorated(false);
    mDetailsView->setItemsExpandable(false);
    mDetailsView->setAllColumnsShowFocus(true);
    mDetailsView->setSortingEnabled(false);  // header clicks follow our own rule

    // One selection for both views: the row stays selected across view switches.
    QItemSelectionModel* unused = mIconView->selectionModel();
    mIconView->setSelectionModel(mDetailsView->selectionModel());
    delete unused;

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(mIconView),
                                    static_cast<QAbstractItemView*>(mDetailsView)}) {
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setTextElideMode(Qt::ElideRight);
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
    }
    mHoverTimer = new QTimer(this);
    mHoverTimer->setObjectName(QStringLiteral("hoverTimer"));
    mHoverTimer->setSingleShot(true);
    connect(mHoverTimer, &QTimer::timeout, this, &ResultList::SelectRowAtRest);

    QHeaderView* header = mDetailsView->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    // The list sorts without showing an arrow in its header.
    header->setSortIndicatorShown(false);
    // A fitted column may end up narrower than its title.
    header->setMinimumSectionSize(4);
    connect(header, &QHeaderView::sectionClicked, this, &ResultList::lsvArchive_ColumnClick);

    addWidget(mIconView);
    addWidget(mDetailsView);

    mSfx16 = new QLabel(this);
    mSfx16->setObjectName(QStringLiteral("imgSFX16"));
    mSfx16->setPixmap(IconCache::SfxPicture16());
    mSfx16->hide();
    mSfx32 = new QLabel(this);
    mSfx32->setObjectName(QStringLiteral("imgSFX32"));
    mSfx32->setPixmap(IconCache::SfxPicture32());
    mSfx32->hide();

    const int large = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    SetIconSizes(large, RoundHalfEven(large / 2.0));
    ApplyView();
}

ResultList::~ResultList() = default;

void ResultList::SetIconSizes(int large, int small) {
    mModel->Icons().SetSizes(large, small);
    ApplyView();
}

int ResultList::LargeIconSize() const {
    return mModel->Icons().LargeSize();
}

int ResultList::SmallIconSize() const {
    return mModel->Icons().SmallSize();
}

QTreeView* ResultList::DetailsView() const {
    return mDetailsView;
}

QItemSelectionModel* ResultList::SelectionModel() const {
    return mDetailsView->selectionModel();
}

QAbstractItemView* ResultList::CurrentView() const {
    return mView == kDetails ? static_cast<QAbstractItemView*>(mDetailsView) : mIconView;
}

void ResultList::SetUpColumns() {
    const double listWidth = width();
    QHeaderView* header = mDetailsView->header();
    for (int column = 0; column < ResultModel::kColumnCount; ++column) {
        header->resizeSection(column, RoundHalfEven(listWidth / kColumnFractions[column]));
    }
}

void ResultList::Clear() {
    mModel->Clear();
    mNameWidth = 0;
}

void ResultList::Fill(std::vector<FoundArchive> hits, const RowStyle& style) {
    mAutoColumnWidth = style.autoColumnWidth;
    if (hits.empty()) {
        mModel->Clear();
        return;
    }
    setUpdatesEnabled(false);
    // Rows go in unsorted and are sorted once, at the end.
    mProxy->sort(-1);
    ApplyBackground(style.colourByKind);
    mModel->SetRows(std::move(hits), style);
    PlaceMatchesColumn(style.matchCount);
    MeasureNames();
    mSortColumn = 1;
    mSortOrder = Qt::AscendingOrder;
    mProxy->sort(ResultModel::kFileColumn, mSortOrder);
    SelectFirstRow();
    if (mAutoColumnWidth && mView == kDetails) {
        FitColumnWidths();
    }
    ApplyView();
    setUpdatesEnabled(true);
}

void ResultList::PlaceMatchesColumn(bool shown) {
    // The five columns fill the list: the count, after them, is kept in
    // sight by narrowing the folder column while it is there.
    QHeaderView* header = mDetailsView->header();
    const int folder = header->sectionSize(ResultModel::kFolderColumn);
    if (!shown) {
        header->resizeSection(ResultModel::kFolderColumn, folder + mWidthForMatches);
        mWidthForMatches = 0;
        return;
    }
    const int width = header->sectionSizeHint(ResultModel::kMatchesColumn);
    header->resizeSection(ResultModel::kMatchesColumn, width);
    if (mWidthForMatches == 0 && folder > 2 * width) {
        mWidthForMatches = width;
        header->resizeSection(ResultModel::kFolderColumn, folder - width);
    }
}

void ResultList::SelectFirstRow() {
    const QModelIndex first = mProxy->index(0, 0);
    SelectionModel()->setCurrentIndex(
        first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    mIconView->scrollToTop();
    mDetailsView->scrollToTop();
}

void ResultList::SetView(int index) {
    if (index < kLargeIcons || index > kDetails) {
        return;
    }
    mView = index;
    ApplyView();
    if (mView == kDetails && RowCount() > 0 && mAutoColumnWidth) {
        FitColumnWidths();
    }
}

void ResultList::ApplyView() {
    const QFontMetrics metrics(mIconView->font());
    const int large = LargeIconSize();
    const int small = SmallIconSize();
    const int average = metrics.averageCharWidth();
    QSize grid;
    QSize item;
    switch (mView) {
        case kLargeIcons:
            // Icon above up to two lines of its name, in a fixed grid,
            // arranged from the top left and again when the list is resized.
            grid =
                QSize(std::max(large + 16, average * 14), large + 2 * metrics.lineSpacing() + 12);
            item = grid - QSize(6, 4);
            mIconView->setViewMode(QListView::IconMode);
            mIconView->setFlow(QListView::LeftToRight);
            mIconView->setWordWrap(true);
            mIconView->setIconSize(QSize(large, large));
            break;
        case kSmallIcons:
        case kList:
            // Small icon and name side by side, in columns as wide as the
            // widest name (within reason); small icons fill rows, the list
            // fills columns.
            grid = QSize(std::clamp(mNameWidth + small + 20, average * 16, average * 48),
                         std::max(small, metrics.height()) + 4);
            item = grid - QSize(8, 0);
            mIconView->setViewMode(QListView::ListMode);
            mIconView->setFlow(mView == kSmallIcons ? QListView::LeftToRight
                                                    : QListView::TopToBottom);
            mIconView->setWordWrap(false);
            mIconView->setIconSize(QSize(small, small));
            break;
        default:
            break;
    }
    if (grid.isValid()) {
        mIconDelegate->SetItemSize(item);
        mIconView->setMovement(QListView::Static);
        mIconView->setWrapping(true);
        mIconView->setResizeMode(QListView::Adjust);
        mIconView->setGridSize(grid);
    }
    mDetailsView->setIconSize(QSize(small, small));
    QWidget* shown = mView == kDetails ? static_cast<QWidget*>(mDetailsView) : mIconView;
    setCurrentWidget(shown);
    setFocusProxy(shown);
}

void ResultList::ApplyBackground(bool colourByKind) {
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(mIconView),
                                    static_cast<QAbstractItemView*>(mDetailsView)}) {
        if (colourByKind) {
            QPalette palette = view->palette();
            palette.setColor(QPalette::Base, Qt::white);
            view->setPalette(palette);
        } else {
            view->setPalette(QPalette());
        }
    }
}

void ResultList::MeasureNames() {
    TextWidthMeter meter(mIconView->font());
    qreal widest = 0;
    for (int row = 0, rows = RowCount(); row < rows; ++row) {
        widest = std::max(widest, meter.Width(mModel->Text(row, ResultModel::kFileColumn)));
    }
    mNameWidth = static_cast<int>(widest + 0.999);
}

void ResultList::AutoColumnChanged(bool checked) {
    mAutoColumnWidth = checked;
    if (checked && mView == kDetails && RowCount() > 0) {
        FitColumnWidths();
    }
}

void ResultList::lsvArchive_ColumnClick(int column) {
    if (column < 0 || column >= mModel->columnCount()) {
        return;
    }
    const int position = column + 1;
    if (position == mSortColumn) {
        mSortOrder = mSortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    } else {
        mSortOrder = Qt::AscendingOrder;
        mSortColumn = position;
    }
    mProxy->sort(column, mSortOrder);
}

void ResultList::FitColumnWidths() {
    const int rows = RowCount();
    if (rows == 0) {
        return;
    }
    TextWidthMeter meter(mDetailsView->font());
    std::vector<std::pair<qreal, int>> widths(static_cast<std::size_t>(rows));
    QHeaderView* header = mDetailsView->header();
    for (int column = 0; column < mModel->columnCount(); ++column) {
        for (int row = 0; row < rows; ++row) {
            widths[static_cast<std::size_t>(row)] = {meter.Width(mModel->Text(row, column)), row};
        }
        // The few widest by the quick measure are measured exactly, as the
        // view paints them (margins and, in the first column, the icon).
        const std::size_t candidates = std::min<std::size_t>(widths.size(), 16);
        std::partial_sort(widths.begin(), widths.begin() + static_cast<std::ptrdiff_t>(candidates),
                          widths.end(),
                          [](const auto& a, const auto& b) { return a.first > b.first; });
        int widest = 0;
        for (std::size_t i = 0; i < candidates; ++i) {
            const QModelIndex index =
                mProxy->mapFromSource(mModel->index(widths[i].second, column));
            widest = std::max(widest, mDetailsView->ContentWidth(index));
        }
        header->resizeSection(column, widest);
    }
    mDetailsView->viewport()->update();
}

void ResultList::SetHoverSelection(bool on) {
    mHoverSelection = on;
    mHoverTimer->stop();
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(mIconView),
                                    static_cast<QAbstractItemView*>(mDetailsView)}) {
        view->setMouseTracking(on);
        view->viewport()->setMouseTracking(on);
    }
}

void ResultList::SelectRowAtRest() {
    if (!mHoverSelection || !mHoverView) {
        return;
    }
    const QModelIndex index = mHoverView->indexAt(mHoverPoint);
    if (index.isValid()) {
        SelectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

int ResultList::RowCount() const {
    return mModel->rowCount();
}

int ResultList::SelectedRow() const {
    const QModelIndexList selected = SelectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        return -1;
    }
    return mProxy->mapToSource(selected.front()).row();
}

std::optional<std::string> ResultList::SelectedPath() const {
    const int row = SelectedRow();
    if (row < 0) {
        return std::nullopt;
    }
    return mModel->Hit(row).Path();
}

bool ResultList::eventFilter(QObject* watched, QEvent* event) {
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(mIconView),
                                    static_cast<QAbstractItemView*>(mDetailsView)}) {
        if (watched == view->viewport()) {
            const QEvent::Type type = event->type();
            if (type == QEvent::MouseMove && mHoverSelection) {
                // Every move starts the rest anew.
                mHoverView = view;
                mHoverPoint = static_cast<QMouseEvent*>(event)->position().toPoint();
                mHoverTimer->start(
                    style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, this));
            } else if (type == QEvent::Leave) {
                mHoverTimer->stop();
            }
            if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                type == QEvent::MouseButtonDblClick) {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                const Qt::MouseButton button = mouse->button();
                if (type == QEvent::MouseButtonRelease) {
                    emit Clicked(button);
                } else {
                    const bool onRow = view->indexAt(mouse->position().toPoint()).isValid();
                    if (type == QEvent::MouseButtonPress) {
                        emit MouseDown(button, onRow);
                    } else {
                        emit DoubleClicked(button, onRow);
                    }
                }
            }
            break;
        }
        if (watched == view && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                emit EnterPressed();
                return true;
            }
            break;
        }
    }
    return QStackedWidget::eventFilter(watched, event);
}

}  // namespace mervok
