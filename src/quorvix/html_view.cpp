#include "quorvix/html_view.h"

#include <QRegularExpression>
#include <QTextDocument>
#include <QUrl>

#include "quorvix/text_decoding.h"

namespace mervok::quorvix {

namespace {

class PageDocument : public QTextDocument {
  public:
    explicit PageDocument(HtmlView* view) : QTextDocument(view), mView(view) {}

  protected:
    QVariant loadResource(int type, const QUrl& name) override {
        return mView->loadResource(type, name);
    }

  private:
    HtmlView* mView;
};

}  // namespace

HtmlView::HtmlView(QWidget* parent) : QTextBrowser(parent) {
    setDocument(new PageDocument(this));
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        if (link.scheme().isEmpty() && link.path().isEmpty() && link.hasFragment()) {
            scrollToAnchor(link.fragment());
            return;
        }
        emit archiveLinkClicked(ArchivePath(link), link);
    });
}

void HtmlView::SetPage(const QString& html, const QString& pageFolder, ResourceLoader loader) {
    mPageFolder = pageFolder;
    mLoader = std::move(loader);
    // The document caches resources by their reference; a new page starts
    // afresh, so "image.png" of another folder is not reused.
    document()->clear();
    setHtml(html);
}

QString HtmlView::ArchivePath(const QUrl& reference) const {
    if (!reference.scheme().isEmpty() || !reference.host().isEmpty()) {
        return {};
    }
    QString path = reference.path(QUrl::FullyDecoded);
    if (path.isEmpty()) {
        return {};
    }
    if (!path.startsWith(QLatin1Char('/'))) {
        path = mPageFolder + QLatin1Char('/') + path;
    }
    QStringList parts;
    for (const QString& part :
         path.split(QRegularExpression(QStringLiteral("[/\\\\]")), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("..")) {
            if (parts.isEmpty()) {
                return {};
            }
            parts.removeLast();
        } else if (part != QLatin1String(".")) {
            parts.append(part);
        }
    }
    return parts.join(QLatin1Char('/'));
}

QVariant HtmlView::loadResource(int type, const QUrl& name) {
    if (type != QTextDocument::ImageResource && type != QTextDocument::StyleSheetResource) {
        return {};
    }
    const QString path = ArchivePath(name);
    if (path.isEmpty() || !mLoader) {
        return {};
    }
    const auto bytes = mLoader(path);
    if (!bytes) {
        return {};
    }
    if (type == QTextDocument::StyleSheetResource) {
        const std::string_view view(bytes->constData(), static_cast<std::size_t>(bytes->size()));
        return QString::fromStdString(DecodeText(view).utf8);
    }
    return *bytes;
}

}  // namespace mervok::quorvix
