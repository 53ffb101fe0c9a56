#pragma once

#include <QTreeWidget>

#include <optional>
#include <string>
#include <vector>

#include "search/found_archive.h"
#include "viewer/viewer_command_line.h"

namespace mervok {

// The places the selected hit's documents say the searched text: one row
// per match with the entry, the line and the line's text, the match marked.
// Double-click or Enter on a row asks for that match to be opened.
class MatchPane : public QTreeWidget {
    Q_OBJECT

  public:
    enum Column { kEntryColumn, kLineColumn, kSnippetColumn, kColumnCount };
    // Where the match lies in the snippet column's text, in UTF-16 units.
    static constexpr int kMatchStartRole = Qt::UserRole;
    static constexpr int kMatchLengthRole = Qt::UserRole + 1;

    explicit MatchPane(QWidget* parent = nullptr);

    // Shows hit's matches of a search for text; nullptr empties the pane.
    void ShowMatches(const FoundArchive* hit, const std::string& text, bool ignoreCase);
    // What the viewer is asked to open for a row: the archive at the
    // match's entry and line, finding the text.
    std::optional<ViewerTarget> Target(int row) const;

  signals:
    void MatchOpened(int row);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    std::string mArchive;
    std::string mText;
    bool mIgnoreCase = false;
    std::vector<DocumentMatch> mMatches;
};

}  // namespace mervok
