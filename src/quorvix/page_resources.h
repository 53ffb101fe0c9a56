#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <optional>

namespace mervok::quorvix {

// What the references of one page resolve to, each archive entry read and
// decoded once however many references name it ("big.png?1", "big.png#x"
// and "BIG.PNG" are one entry), so that a page cannot multiply one entry's
// cost by naming it often; one the archive lacks is looked for once too.
// Images are decoded within a budget of pixels per page: one that would go
// beyond it is not decoded at all, and stands as its size (a QSize) for a
// placeholder. Style sheets, linked or imported, are read up to a count and
// a size per page (kMaxStyleSheets, kMaxStyleSheetBytes) and keep only the
// rules the page leaves room for (BoundedPage::styleRules).
class PageResources {
  public:
    // 64 Mpixel: 256 MiB decoded, several screenfuls of photographs.
    static constexpr std::int64_t kPixelBudget = std::int64_t{64} << 20;
    // One image is read to this size at most.
    static constexpr std::uint64_t kMaxImageBytes = 32 << 20;

    explicit PageResources(std::int64_t pixelBudget = kPixelBudget) : mBudget(pixelBudget) {}

    // Forgets the page's resources; the next page starts with the whole
    // budget and room for styleRules rules of linked sheets.
    void Clear(std::size_t styleRules = 0);

    // type is QTextDocument's ImageResource or StyleSheetResource; path is
    // the entry's path in the archive; read gives its bytes up to a limit
    // (nothing when the archive has no such entry or it is larger) and is
    // called at most once per page and entry. An image comes back as a QImage
    // (null when missing or undecodable) or, beyond the budget, as its QSize;
    // a style sheet as its decoded text, empty beyond the sheets' limits.
    using Reader = std::function<std::optional<QByteArray>(std::uint64_t limit)>;
    QVariant Get(int type, const QString& path, const Reader& read);

    std::int64_t PixelsDecoded() const { return mDecoded; }
    // Whether a linked or imported sheet was refused or cut.
    bool StyleLeftOut() const { return mStyleLeftOut; }

  private:
    QVariant Image(const QByteArray& bytes);

    std::int64_t mBudget;
    std::int64_t mDecoded = 0;
    std::size_t mStyleRules = 0;
    std::size_t mStyleSheets = 0;
    std::uint64_t mStyleBytes = 0;
    bool mStyleLeftOut = false;
    QHash<QString, QVariant> mCache;
};

}  // namespace mervok::quorvix
