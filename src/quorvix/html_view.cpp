#include "quorvix/html_view.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextObjectInterface>
#include <QUrl>

#include "quorvix/document_rule.h"

namespace mervok::quorvix {

namespace {

class PageDocument : public QTextDocument {
  public:
    explicit PageDocument(HtmlView* view) : QTextDocument(view), mView(view) {}

  protected:
    // Each reference is asked of the view once per page and kept, a missing
    // image as a null one, so that repainting searches the archive no more;
    // the view reads and decodes each entry once, whatever the reference.
    QVariant loadResource(int type, const QUrl& name) override {
        QVariant value = mView->loadResource(type, name);
        if (value.isValid()) {
            addResource(type, name, value);
        }
        return value;
    }

  private:
    HtmlView* mView;
};

// Draws a page's images from its document's resources alone. Qt's own
// handler reads an image's name as a file of this computer when the
// document has none by that name, which a page from an archive must never
// make us do (a FIFO there would even hang the viewer).
class ArchiveImageHandler final : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

  public:
    using QObject::QObject;

    QSizeF intrinsicSize(QTextDocument* document, int, const QTextFormat& format) override {
        const QTextImageFormat image = format.toImageFormat();
        const QSizeF natural = NaturalSize(Resource(document, image));
        if (natural.isEmpty() && !AltText(image).isEmpty()) {
            return QFontMetricsF(document->defaultFont()).size(0, AltText(image)) + QSizeF(6, 4);
        }
        const bool width = image.hasProperty(QTextFormat::ImageWidth);
        const bool height = image.hasProperty(QTextFormat::ImageHeight);
        if (natural.isEmpty() || (width && height)) {
            return {width ? image.width() : natural.width(),
                    height ? image.height() : natural.height()};
        }
        if (width) {
            return {image.width(), image.width() * natural.height() / natural.width()};
        }
        if (height) {
            return {image.height() * natural.width() / natural.height(), image.height()};
        }
        return natural;
    }

    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int,
                    const QTextFormat& format) override {
        const QTextImageFormat imageFormat = format.toImageFormat();
        const QVariant resource = Resource(document, imageFormat);
        const QImage image = resource.value<QImage>();
        if (resource.typeId() == QMetaType::QImage && !image.isNull()) {
            painter->drawImage(rect, image);
            return;
        }
        // An image refused, missing or beyond the page's budget (then in a
        // frame of its size): its alt text in a frame instead.
        const QString alt = AltText(imageFormat);
        if (alt.isEmpty() && resource.typeId() != QMetaType::QSize) {
            return;
        }
        painter->save();
        painter->setPen(Qt::gray);
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
        painter->setPen(Qt::black);
        painter->setFont(document->defaultFont());
        painter->drawText(rect, Qt::AlignCenter | Qt::TextWordWrap, alt);
        painter->restore();
    }

  private:
    static QString AltText(const QTextImageFormat& format) {
        return format.stringProperty(QTextFormat::ImageAltText).simplified();
    }
    static QVariant Resource(QTextDocument* document, const QTextImageFormat& format) {
        return document->resource(QTextDocument::ImageResource, QUrl(format.name()));
    }
    // An image's size, or the size of one left undecoded beyond the budget.
    static QSizeF NaturalSize(const QVariant& resource) {
        return resource.typeId() == QMetaType::QSize ? QSizeF(resource.toSize())
                                                     : QSizeF(resource.value<QImage>().size());
    }
};

}  // namespace

HtmlView::HtmlView(QWidget* parent) : QTextBrowser(parent) {
    setDocument(new PageDocument(this));
    document()->documentLayout()->registerHandler(QTextFormat::ImageObject,
                                                  new ArchiveImageHandler(this));
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& link) { emit archiveLinkClicked(ArchivePath(link), link); });
}

void HtmlView::SetPage(const QString& html, const QString& pageFolder, ResourceLoader loader,
                       std::size_t styleRules) {
    mPageFolder = pageFolder;
    mLoader = std::move(loader);
    // The document caches resources by their reference; a new page starts
    // afresh, so "image.png" of another folder is not reused.
    document()->clear();
    mResources.Clear(styleRules);
    setHtml(html);
}

QString HtmlView::ArchivePath(const QUrl& reference) const {
    if (!reference.scheme().isEmpty() || !reference.host().isEmpty()) {
        return {};
    }
    // Percent-encoded bytes of a name as stored: UTF-8, or Shift-JIS as old
    // pages write them ("%90%E0%96%BE.HTM").
    QString path = QString::fromStdString(
        DisplayName(QByteArray::fromPercentEncoding(reference.path(QUrl::FullyEncoded).toLatin1())
                        .toStdString()));
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
    return mResources.Get(type, path, [&](std::uint64_t limit) { return mLoader(path, limit); });
}

}  // namespace mervok::quorvix

#include "html_view.moc"
