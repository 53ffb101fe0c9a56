#include "results/result_model.h"

#include "results/collation.h"
#include "results/row_text.h"

#include <QByteArrayView>
#include <QColor>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <string>
#include <type_traits>
#include <utility>

namespace mervok {

namespace {

// A sort key kept small and together: the first characters packed into one
// number decide most comparisons without touching the text itself.
template <typename Char>
struct TextKey {
    std::uint64_t prefix = 0;
    const Char* text = nullptr;
    std::uint32_t length = 0;
    int row = 0;
};

template <typename Char>
TextKey<Char> MakeTextKey(std::basic_string_view<Char> text, int row) {
    using Unsigned = std::make_unsigned_t<Char>;
    constexpr int kBits = static_cast<int>(sizeof(Char)) * 8;
    constexpr int kPacked = 64 / kBits;
    TextKey<Char> key;
    for (int i = 0; i < kPacked; ++i) {
        const std::uint64_t unit =
            i < static_cast<int>(text.size()) ? static_cast<Unsigned>(text[i]) : 0;
        key.prefix = (key.prefix << kBits) | unit;
    }
    key.text = text.data();
    key.length = static_cast<std::uint32_t>(text.size());
    key.row = row;
    return key;
}

// Code-unit order, as QString and std::string compare.
template <typename Char>
bool TextKeyLess(const TextKey<Char>& a, const TextKey<Char>& b) {
    if (a.prefix != b.prefix) {
        return a.prefix < b.prefix;
    }
    using Unsigned = std::make_unsigned_t<Char>;
    const std::uint32_t common = std::min(a.length, b.length);
    for (std::uint32_t i = 0; i < common; ++i) {
        const auto x = static_cast<Unsigned>(a.text[i]);
        const auto y = static_cast<Unsigned>(b.text[i]);
        if (x != y) {
            return x < y;
        }
    }
    return a.length < b.length;
}

// Stable in both directions: equal keys keep their order.
template <typename Key, typename Less>
void SortKeys(std::vector<Key>& keys, Qt::SortOrder order, Less less) {
    if (order == Qt::AscendingOrder) {
        std::stable_sort(keys.begin(), keys.end(), less);
    } else {
        std::stable_sort(keys.begin(), keys.end(),
                         [&less](const Key& a, const Key& b) { return less(b, a); });
    }
}

QColor ToQColor(std::int64_t colour) {
    const auto value = static_cast<std::uint32_t>(colour);
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

}  // namespace

QString DisplayName(std::string_view bytes) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (view.isValidUtf8()) {
        return QString::fromUtf8(view);
    }
    // A fresh decoder each time: resetState() does not clear the error
    // state of an ICU converter in every Qt version.
    QStringDecoder shiftJis("Shift_JIS");
    if (shiftJis.isValid()) {
        QString text = shiftJis.decode(view);
        if (!shiftJis.hasError()) {
            return text;
        }
    }
    return QString::fromLocal8Bit(view);
}

ResultModel::ResultModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultModel::Clear() {
    beginResetModel();
    mMatchCount = false;
    mRows.clear();
    mRows.shrink_to_fit();
    mIcons.Clear();
    endResetModel();
}

void ResultModel::SetRows(std::vector<FoundArchive> hits, const RowStyle& style) {
    beginResetModel();
    mMatchCount = style.matchCount;
    mRows.clear();
    mRows.reserve(hits.size());
    const std::string* previousFolder = nullptr;
    for (FoundArchive& hit : hits) {
        Row row;
        row.name = DisplayName(hit.fileName);
        // Hits come folder by folder; consecutive rows share one folder text.
        if (previousFolder != nullptr && *previousFolder == hit.folder) {
            row.folder = mRows.back().folder;
            row.folderKey = mRows.back().folderKey;
        } else {
            const std::string folderText = FolderText(hit.folder);
            row.folder = DisplayName(folderText);
            row.folderKey = CollationKey(folderText);
        }
        row.nameKey = CollationKey(hit.fileName);
        if (style.colourByKind) {
            row.colour = RowColor(hit.kind, hit.provisional, style.colours);
        }
        row.icon = mIcons.Assign(hit.folder, hit.fileName, style.noSfxIcons, hit.isFolder);
        row.hit = std::move(hit);
        mRows.push_back(std::move(row));
        previousFolder = &mRows.back().hit.folder;
    }
    endResetModel();
}

QString ResultModel::Text(int row, int column) const {
    const Row& r = mRows[row];
    switch (column) {
        case kFileColumn:
            return r.name;
        case kFolderColumn:
            return r.folder;
        case kSizeColumn:
            return QString::fromLatin1(SizeText(r.hit.size));
        case kKindColumn:
            return QString::fromLatin1(KindLabel(r.hit));
        case kModifiedColumn:
            return QString::fromUtf8(r.hit.modified);
        case kMatchesColumn:
            if (!mMatchCount) {
                return {};
            }
            return QString::number(r.hit.text.matches.size()) +
                   (r.hit.text.cut ? QStringLiteral("+") : QString());
        default:
            return {};
    }
}

std::vector<int> ResultModel::SortedRows(int column, Qt::SortOrder order) const {
    const int count = static_cast<int>(mRows.size());
    std::vector<int> rows;
    rows.reserve(mRows.size());
    if (column == kSizeColumn || (column == kMatchesColumn && mMatchCount)) {
        // By number: the padded text orders sizes only up to 999,999,999.
        std::vector<std::pair<std::int64_t, int>> keys;
        keys.reserve(mRows.size());
        for (int row = 0; row < count; ++row) {
            const FoundArchive& hit = mRows[row].hit;
            keys.emplace_back(column == kSizeColumn
                                  ? hit.size
                                  : static_cast<std::int64_t>(hit.text.matches.size()),
                              row);
        }
        SortKeys(keys, order, [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& key : keys) {
            rows.push_back(key.second);
        }
        return rows;
    }
    if (column == kFileColumn || column == kFolderColumn) {
        std::vector<TextKey<char16_t>> keys;
        keys.reserve(mRows.size());
        for (int row = 0; row < count; ++row) {
            const std::u16string& text =
                column == kFileColumn ? mRows[row].nameKey : mRows[row].folderKey;
            keys.push_back(MakeTextKey(std::u16string_view(text), row));
        }
        SortKeys(keys, order, TextKeyLess<char16_t>);
        for (const auto& key : keys) {
            rows.push_back(key.row);
        }
        return rows;
    }
    if (column == kKindColumn || column == kModifiedColumn) {
        std::vector<TextKey<char>> keys;
        keys.reserve(mRows.size());
        for (int row = 0; row < count; ++row) {
            const std::string_view text = column == kKindColumn
                                              ? KindLabel(mRows[row].hit)
                                              : std::string_view(mRows[row].hit.modified);
            keys.push_back(MakeTextKey(text, row));
        }
        SortKeys(keys, order, TextKeyLess<char>);
        for (const auto& key : keys) {
            rows.push_back(key.row);
        }
        return rows;
    }
    for (int row = 0; row < count; ++row) {
        rows.push_back(row);
    }
    return rows;
}

int ResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(mRows.size());
}

int ResultModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return mMatchCount ? kColumnCount + 1 : kColumnCount;
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Row& row = mRows[index.row()];
    switch (role) {
        case Qt::DisplayRole:
            return Text(index.row(), index.column());
        case Qt::DecorationRole:
            if (index.column() == kFileColumn && row.icon >= 0) {
                return mIcons.Icon(row.icon);
            }
            return {};
        case Qt::ForegroundRole:
            if (row.colour != kDefaultColour) {
                return ToQColor(row.colour);
            }
            return {};
        case Qt::TextAlignmentRole:
            return static_cast<int>(
                (index.column() == kSizeColumn || index.column() == kMatchesColumn
                     ? Qt::AlignRight
                     : Qt::AlignLeft) |
                Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const bool number = section == kSizeColumn || section == kMatchesColumn;
    if (role == Qt::DisplayRole) {
        static const std::array<const char*, kColumnCount + 1> kTitles = {
            "ﾌｧｲﾙ", "ﾌｫﾙﾀﾞ", "ｻｲｽﾞ", "書庫形式", "更新日時", "一致数"};
        return QString::fromUtf8(kTitles[section]);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    return {};
}

ResultSortProxy::ResultSortProxy(QObject* parent) : QAbstractProxyModel(parent) {}

void ResultSortProxy::setSourceModel(QAbstractItemModel* model) {
    beginResetModel();
    if (mResults != nullptr) {
        disconnect(mResults, nullptr, this, nullptr);
    }
    // Only the result model can be sorted here. It changes only by resets.
    mResults = qobject_cast<ResultModel*>(model);
    QAbstractProxyModel::setSourceModel(mResults);
    if (mResults != nullptr) {
        connect(mResults, &QAbstractItemModel::modelAboutToBeReset, this,
                [this] { beginResetModel(); });
        connect(mResults, &QAbstractItemModel::modelReset, this, &ResultSortProxy::OnSourceReset);
    }
    Rebuild();
    endResetModel();
}

void ResultSortProxy::OnSourceReset() {
    Rebuild();
    endResetModel();
}

void ResultSortProxy::Rebuild() {
    mToSource.clear();
    mFromSource.clear();
    if (mResults == nullptr) {
        return;
    }
    mToSource = mResults->SortedRows(mSortColumn, mSortOrder);
    mFromSource.assign(mToSource.size(), 0);
    for (std::size_t proxyRow = 0; proxyRow < mToSource.size(); ++proxyRow) {
        mFromSource[static_cast<std::size_t>(mToSource[proxyRow])] = static_cast<int>(proxyRow);
    }
}

void ResultSortProxy::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Persistent indexes (the selection, the current row) follow their rows.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList sourceRows;
    sourceRows.reserve(before.size());
    for (const QModelIndex& index : before) {
        sourceRows.append(mapToSource(index));
    }
    mSortColumn = column;
    mSortOrder = order;
    Rebuild();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& source : sourceRows) {
        after.append(mapFromSource(source));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QModelIndex ResultSortProxy::mapToSource(const QModelIndex& proxyIndex) const {
    if (!proxyIndex.isValid() || mResults == nullptr || proxyIndex.model() != this ||
        proxyIndex.row() >= rowCount()) {
        return {};
    }
    return mResults->index(mToSource[static_cast<std::size_t>(proxyIndex.row())],
                           proxyIndex.column());
}

QModelIndex ResultSortProxy::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!sourceIndex.isValid() || sourceIndex.model() != mResults ||
        sourceIndex.row() >= static_cast<int>(mFromSource.size())) {
        return {};
    }
    return createIndex(mFromSource[static_cast<std::size_t>(sourceIndex.row())],
                       sourceIndex.column());
}

QModelIndex ResultSortProxy::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) {
        return {};
    }
    return createIndex(row, column);
}

QModelIndex ResultSortProxy::parent(const QModelIndex&) const {
    return {};
}

int ResultSortProxy::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(mToSource.size());
}

int ResultSortProxy::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || mResults == nullptr ? 0 : mResults->columnCount();
}

QVariant ResultSortProxy::headerData(int section, Qt::Orientation orientation, int role) const {
    if (mResults == nullptr) {
        return {};
    }
    if (orientation == Qt::Vertical && section >= 0 && section < rowCount()) {
        section = mToSource[static_cast<std::size_t>(section)];
    }
    return mResults->headerData(section, orientation, role);
}

}  // namespace mervok
