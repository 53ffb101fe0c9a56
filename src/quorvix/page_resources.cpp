#include "quorvix/page_resources.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QTextDocument>

#include <string>
#include <string_view>

#include "app/text_decoding.h"
#include "app/text_util.h"
#include "quorvix/image_format.h"
#include "quorvix/page_bounds.h"

namespace mervok::quorvix {

void PageResources::Clear(std::size_t styleRules) {
    mCache.clear();
    mDecoded = 0;
    mStyleRules = styleRules;
    mStyleSheets = 0;
    mStyleBytes = 0;
    mStyleLeftOut = false;
}

QVariant PageResources::Get(int type, const QString& path, const Reader& read) {
    // Entry names compare case-blind for ASCII letters, as the archive's
    // look-up does.
    const QString key = QString::number(type) + QLatin1Char(':') +
                        QString::fromStdString(AsciiLower(path.toStdString()));
    if (const auto found = mCache.constFind(key); found != mCache.constEnd()) {
        return *found;
    }
    QVariant value;
    if (type == QTextDocument::ImageResource) {
        const std::optional<QByteArray> bytes = read(kMaxImageBytes);
        value = bytes ? Image(*bytes) : QVariant(QImage());
    } else if (mStyleSheets == kMaxStyleSheets || mStyleRules == 0) {
        mStyleLeftOut = true;
        value = QString();
    } else if (const auto bytes = read(kMaxStyleSheetBytes - mStyleBytes)) {
        ++mStyleSheets;
        mStyleBytes += static_cast<std::uint64_t>(bytes->size());
        const std::string_view text(bytes->constData(), static_cast<std::size_t>(bytes->size()));
        const std::string sheet = DecodeText(text).utf8;
        const std::string_view kept = FirstStyleRules(sheet, mStyleRules);
        mStyleRules -= StyleRuleCount(kept);
        mStyleLeftOut |= kept.size() < sheet.size();
        value = QString::fromUtf8(kept.data(), static_cast<qsizetype>(kept.size()));
    } else {
        // Missing, or beyond what is left of the sheets' size.
        mStyleLeftOut = true;
    }
    mCache.insert(key, value);
    return value;
}

QVariant PageResources::Image(const QByteArray& bytes) {
    // Only the raster format the bytes begin with, never by the name and
    // never by Qt's own guess, which would hand an "image.png" holding SVG
    // to the SVG plugin.
    const char* format = RasterImageFormat(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (format == nullptr) {
        return QImage();
    }
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    // The header tells the size before anything is decoded.
    const QSize size = reader.size();
    const std::int64_t pixels = std::int64_t{size.width()} * size.height();
    if (size.isValid() && pixels > mBudget - mDecoded) {
        return size;
    }
    const QImage image = reader.read();
    // A format whose header gives no size is charged after decoding; it is
    // kept only while within the budget.
    const std::int64_t decoded = std::int64_t{image.width()} * image.height();
    if (decoded > mBudget - mDecoded) {
        return image.size();
    }
    mDecoded += decoded;
    return image;
}

}  // namespace mervok::quorvix
