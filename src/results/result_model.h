#pragma once

#include "results/icon_cache.h"
#include "results/row_text.h"
#include "search/found_archive.h"

#include <QAbstractProxyModel>
#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mervok {

// How the rows of one fill look. The settings are read when rows are added, so
// a change shows at the next fill.
struct RowStyle {
    bool colourByKind = false;     // chkListColor
    bool noSfxIcons = false;       // chkSFXIcon: executables share the fixed "SFX" icons
    bool autoColumnWidth = false;  // chkAutoColumn
    // The run looked for a text: a sixth column counts each hit's matches.
    bool matchCount = false;
    // Text colours of the six kinds in colour mode, red in the low byte.
    KindColors colours;
};

// Readable text for a name given as bytes: UTF-8 when the bytes are valid
// UTF-8, else Shift-JIS (names from old media), else the locale's encoding
// with replacement characters. The bytes themselves are kept elsewhere.
QString DisplayName(std::string_view bytes);

// The hits of the last search: one row per FoundArchive, in a plain vector, with
// the five list columns. Display texts of the name and folder are made once per
// fill; the others are made when a view asks for them.
class ResultModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        kFileColumn,      // "ﾌｧｲﾙ": fileName
        kFolderColumn,    // "ﾌｫﾙﾀﾞ": FolderText
        kSizeColumn,      // "ｻｲｽﾞ": SizeText, right-aligned
        kKindColumn,      // "書庫形式": KindLabel
        kModifiedColumn,  // "更新日時": modified
        kColumnCount,
        // "一致数": the matches found, "+" when more were there; only after
        // a run that looked for a text.
        kMatchesColumn = kColumnCount
    };

    explicit ResultModel(QObject* parent = nullptr);

    // All rows and the icon cache go.
    void Clear();
    // Replaces the rows by one row per hit, in array order, with icons from
    // the cache and the text colour chosen by kind when asked for.
    void SetRows(std::vector<FoundArchive> hits, const RowStyle& style);

    IconCache& Icons() { return mIcons; }
    const IconCache& Icons() const { return mIcons; }

    const FoundArchive& Hit(int row) const { return mRows[row].hit; }
    // The text a column shows for a row.
    QString Text(int row, int column) const;
    // Index into Icons(), or -1.
    int IconIndex(int row) const { return mRows[row].icon; }
    // The rows in the order of a sort by column: names and folders by their
    // CollationKey (the order mervok-search prints in), sizes by number, kinds and times by
    // their text (the time text is fixed-width, so text order is time order).
    // Rows with equal keys keep the hits' order, in both directions.
    std::vector<int> SortedRows(int column, Qt::SortOrder order) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    static constexpr std::int64_t kDefaultColour = -1;

    struct Row {
        FoundArchive hit;
        QString name;            // display text of fileName
        QString folder;          // display text of FolderText(folder)
        std::u16string nameKey;  // CollationKey of the name and the folder text
        std::u16string folderKey;
        std::int64_t colour = kDefaultColour;
        int icon = -1;
    };

    std::vector<Row> mRows;
    IconCache mIcons;
    bool mMatchCount = false;
};

// The one sort proxy in front of the model: a permutation of its rows. It
// sorts with ResultModel::SortedRows, which compares the keys directly; a
// QSortFilterProxyModel takes several times as long over a hundred thousand
// rows, going through model indexes for every comparison.
class ResultSortProxy : public QAbstractProxyModel {
    Q_OBJECT
  public:
    explicit ResultSortProxy(QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* model) override;
    // Column -1 restores the hits' order. The rows are sorted again by the
    // same column when the model is reset.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int SortColumn() const { return mSortColumn; }
    Qt::SortOrder SortOrder() const { return mSortOrder; }

    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    void Rebuild();
    void OnSourceReset();

    ResultModel* mResults = nullptr;
    std::vector<int> mToSource;    // proxy row -> model row
    std::vector<int> mFromSource;  // model row -> proxy row
    int mSortColumn = -1;
    Qt::SortOrder mSortOrder = Qt::AscendingOrder;
};

}  // namespace mervok
