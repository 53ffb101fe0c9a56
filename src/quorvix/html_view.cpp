#include "quorvix/html_view.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetricsF>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextObjectInterface>
#include <QUrl>

#include "app/text_decoding.h"
#include "quorvix/document_rule.h"
#include "quorvix/image_format.h"

namespace mervok::quorvix {

namespace {

// Decodes only the raster format the bytes begin with, never by the name and
// never by Qt's own guess, which would hand an "image.png" holding SVG to the
// SVG plugin.
QImage DecodeRasterImage(const QByteArray& bytes) {
    const char* format = RasterImageFormat(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (format == nullptr) {
        return {};
    }
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

class PageDocument : public QTextDocument {
  public:
    explicit PageDocument(HtmlView* view) : QTextDocument(view), mView(view) {}

  protected:
    // Each reference is asked of the view once per page: an image is decoded
    // once and kept, and one the archive lacks is kept as a null image, so
    // that repainting searches the archive no more.
    QVariant loadResource(int type, const QUrl& name) override {
        QVariant value = mView->loadResource(type, name);
        if (type == ImageResource && (value.isValid() || !mView->ArchivePath(name).isEmpty())) {
            value = DecodeRasterImage(value.toByteArray());
        }
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
        const QSizeF natural = Image(document, image).size();
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
        const QImage image = Image(document, format.toImageFormat());
        if (!image.isNull()) {
            painter->drawImage(rect, image);
        } else if (const QString alt = AltText(format.toImageFormat()); !alt.isEmpty()) {
            // An image refused or missing: its alt text in a frame instead.
            painter->setPen(Qt::gray);
            painter->drawRect(rect.adjusted(0, 0, -1, -1));
            painter->setPen(Qt::black);
            painter->setFont(document->defaultFont());
            painter->drawText(rect, Qt::AlignCenter, alt);
        }
    }

  private:
    static QString AltText(const QTextImageFormat& format) {
        return format.stringProperty(QTextFormat::ImageAltText).simplified();
    }
    static QImage Image(QTextDocument* document, const QTextImageFormat& format) {
        return document->resource(QTextDocument::ImageResource, QUrl(format.name()))
            .value<QImage>();
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

#include "html_view.moc"
