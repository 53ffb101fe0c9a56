#include "ui/match_pane.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

#include "results/result_model.h"

namespace mervok {

namespace {

// The snippet with its match on a marker colour, in bold; a match beyond the
// column's right edge is scrolled into view.
class SnippetDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        const QString text = item.text;
        item.text.clear();
        const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);

        const int start = std::clamp(index.data(MatchPane::kMatchStartRole).toInt(), 0,
                                     static_cast<int>(text.size()));
        const int length = std::clamp(index.data(MatchPane::kMatchLengthRole).toInt(), 0,
                                      static_cast<int>(text.size()) - start);
        const QString before = text.left(start);
        const QString match = text.mid(start, length);
        const QString after = text.mid(start + length);
        QFont bold = item.font;
        bold.setBold(true);
        const QFontMetrics plainMetrics(item.font);
        const QFontMetrics boldMetrics(bold);

        const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget)
                               .adjusted(3, 0, -3, 0);
        int x = area.left();
        const int matchEnd =
            x + plainMetrics.horizontalAdvance(before) + boldMetrics.horizontalAdvance(match);
        if (matchEnd > area.right()) {
            x -= matchEnd - area.right() + area.width() / 3;
        }
        const QColor pen = item.palette.color(QPalette::Active, item.state & QStyle::State_Selected
                                                                    ? QPalette::HighlightedText
                                                                    : QPalette::Text);
        painter->save();
        painter->setClipRect(area);
        auto draw = [&](const QString& part, const QFont& font, int width) {
            painter->setFont(font);
            painter->drawText(QRect(x, area.top(), width + 1, area.height()),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, part);
            x += width;
        };
        painter->setPen(pen);
        draw(before, item.font, plainMetrics.horizontalAdvance(before));
        const int matchWidth = boldMetrics.horizontalAdvance(match);
        painter->fillRect(QRect(x, area.top() + 1, matchWidth, area.height() - 2),
                          QColor(255, 230, 80));
        painter->setPen(Qt::black);
        draw(match, bold, matchWidth);
        painter->setPen(pen);
        draw(after, item.font, plainMetrics.horizontalAdvance(after));
        painter->restore();
    }
};

QString Utf16Prefix(const std::string& utf8, std::size_t bytes) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(std::min(bytes, utf8.size())));
}

}  // namespace

MatchPane::MatchPane(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("lsvMatch"));
    setColumnCount(kColumnCount);
    setHeaderLabels({QStringLiteral("ｴﾝﾄﾘ"), QStringLiteral("行"), QStringLiteral("一致した行")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setItemDelegateForColumn(kSnippetColumn, new SnippetDelegate(this));
    header()->resizeSection(kEntryColumn, fontMetrics().horizontalAdvance(QLatin1Char('x')) * 24);
    header()->resizeSection(kLineColumn, fontMetrics().horizontalAdvance(QLatin1Char('0')) * 8);
    // A double click, whatever the style says of single-click activation.
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { emit MatchOpened(indexOfTopLevelItem(item)); });
}

void MatchPane::ShowMatches(const FoundArchive* hit, const std::string& text, bool ignoreCase) {
    clear();
    mMatches.clear();
    mArchive.clear();
    mText = text;
    mIgnoreCase = ignoreCase;
    if (hit == nullptr || text.empty()) {
        return;
    }
    mArchive = hit->Path();
    mMatches = hit->text.matches;
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(mMatches.size()));
    for (const DocumentMatch& match : mMatches) {
        auto* row = new QTreeWidgetItem;
        row->setText(kEntryColumn, DisplayName(match.entry));
        row->setText(kLineColumn, QString::number(match.line));
        row->setTextAlignment(kLineColumn, Qt::AlignRight | Qt::AlignVCenter);
        // Tabs and other control characters would break the one-line row.
        QString snippet = QString::fromUtf8(match.snippet);
        for (QChar& c : snippet) {
            if (c.unicode() < 0x20) {
                c = QLatin1Char(' ');
            }
        }
        const qsizetype start = Utf16Prefix(match.snippet, match.snippetMatchOffset).size();
        const qsizetype end =
            Utf16Prefix(match.snippet, match.snippetMatchOffset + match.snippetMatchLength).size();
        row->setText(kSnippetColumn, snippet);
        row->setData(kSnippetColumn, kMatchStartRole, static_cast<int>(start));
        row->setData(kSnippetColumn, kMatchLengthRole, static_cast<int>(end - start));
        rows.push_back(row);
    }
    addTopLevelItems(rows);
    if (!rows.isEmpty()) {
        setCurrentItem(rows.front());
    }
}

std::optional<ViewerTarget> MatchPane::Target(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= mMatches.size()) {
        return std::nullopt;
    }
    const DocumentMatch& match = mMatches[static_cast<std::size_t>(row)];
    return ViewerTarget{mArchive, match.entry, mText, match.line, mIgnoreCase};
}

void MatchPane::keyPressEvent(QKeyEvent* event) {
    // Enter opens the current match on every platform style.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        emit MatchOpened(indexOfTopLevelItem(currentItem()));
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace mervok
