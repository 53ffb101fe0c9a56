#pragma once

#include <QByteArray>
#include <QTextBrowser>

#include <cstdint>
#include <functional>
#include <optional>

#include "quorvix/page_resources.h"

namespace mervok::quorvix {

// Shows a page from an archive. Images and style sheets come from the same
// archive, by their path relative to the page; nothing is ever fetched from
// the network or read from the disk, whatever the page asks for: the page's
// document answers every resource itself (QTextDocument would otherwise read
// a local file the view does not give, "file:///dev/zero" included). Links
// are reported, not followed, "#part" alone included.
class HtmlView : public QTextBrowser {
    Q_OBJECT
  public:
    // The bytes of the archive's file at path ('/'-separated, relative to the
    // archive's top), or nothing when there is none or it is over limit bytes.
    using ResourceLoader =
        std::function<std::optional<QByteArray>(const QString& path, std::uint64_t limit)>;

    explicit HtmlView(QWidget* parent = nullptr);

    // pageFolder: the page's own folder in the archive ("" at the top);
    // styleRules: how many rules the sheets it links may add
    // (BoundedPage::styleRules).
    void SetPage(const QString& html, const QString& pageFolder, ResourceLoader loader,
                 std::size_t styleRules = 0);

    // A relative reference of the page as a path inside the archive; "" when
    // it points outside it (a scheme, or more ".." than folders).
    QString ArchivePath(const QUrl& reference) const;

    // Images and style sheets from the archive, through PageResources;
    // nothing else, from nowhere else.
    QVariant loadResource(int type, const QUrl& name) override;

    // The pixels the images of the page shown have decoded.
    std::int64_t PixelsDecoded() const { return mResources.PixelsDecoded(); }
    // Whether a style sheet of the page shown was refused or cut.
    bool StyleLeftOut() const { return mResources.StyleLeftOut(); }

  signals:
    // A link clicked, with the file of the archive it names ("" for a link
    // elsewhere or to a place on this page).
    void archiveLinkClicked(const QString& archivePath, const QUrl& link);

  private:
    QString mPageFolder;
    ResourceLoader mLoader;
    PageResources mResources;
};

}  // namespace mervok::quorvix
