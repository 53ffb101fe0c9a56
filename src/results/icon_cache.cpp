#include "results/icon_cache.h"

#include "results/result_model.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeType>

#include <array>

// The pictures live in a static library; their resource must be registered by
// hand, outside any namespace.
static void InitResultIcons() {
    Q_INIT_RESOURCE(result_icons);
}

namespace mervok {

namespace {

void EnsureResources() {
    static const bool registered = (InitResultIcons(), true);
    (void)registered;
}

// The extension part that decides a file's type: the last two suffixes, or
// the last one, or nothing.
std::string TypeSuffix(std::string_view fileName) {
    const auto last = fileName.rfind('.');
    if (last == std::string_view::npos || last == 0) {
        return {};
    }
    const auto previous = fileName.rfind('.', last - 1);
    if (previous == std::string_view::npos || previous == 0) {
        return std::string(fileName.substr(last));
    }
    return std::string(fileName.substr(previous));
}

bool IsExecutableType(const QMimeType& type) {
    static const std::array<QString, 4> kExecutableTypes = {
        QStringLiteral("application/x-ms-dos-executable"),
        QStringLiteral("application/x-msdownload"),
        QStringLiteral("application/vnd.microsoft.portable-executable"),
        QStringLiteral("application/x-dosexec"),
    };
    for (const QString& name : kExecutableTypes) {
        if (type.inherits(name)) {
            return true;
        }
    }
    return false;
}

// An icon at exactly size x size pixels: themes and providers may hand back a
// smaller or larger picture than asked for.
QPixmap PictureAt(const QIcon& icon, int size) {
    QPixmap picture = icon.pixmap(QSize(size, size), 1.0);
    if (!picture.isNull() && picture.size() != QSize(size, size)) {
        picture = picture.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return picture;
}

QPixmap Resized(const QPixmap& picture, int size) {
    if (picture.isNull() || picture.size() == QSize(size, size)) {
        return picture;
    }
    return picture.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QIcon OwnArchiveIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/mervok/icons/archive16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/mervok/icons/archive32.png"), QSize(32, 32));
    return icon;
}

}  // namespace

IconCache::IconCache() {
    EnsureResources();
}

void IconCache::SetSizes(int large, int small) {
    mLargeSize = large > 0 ? large : 32;
    mSmallSize = small > 0 ? small : 16;
}

void IconCache::Clear() {
    mTypes.clear();
    mIndex.clear();
    mEntries.clear();
}

QPixmap IconCache::SfxPicture16() {
    EnsureResources();
    return QPixmap(QStringLiteral(":/mervok/icons/sfx16.png"));
}

QPixmap IconCache::SfxPicture32() {
    EnsureResources();
    return QPixmap(QStringLiteral(":/mervok/icons/sfx32.png"));
}

IconCache::FileType IconCache::MakeType(const QMimeType& mime) {
    FileType type;
    type.mimeName = mime.name().toStdString();
    type.iconName = mime.iconName();
    type.genericIconName = mime.genericIconName();
    type.executable = IsExecutableType(mime);
    return type;
}

const IconCache::FileType& IconCache::TypeOf(std::string_view fileName) {
    std::string suffix = TypeSuffix(fileName);
    auto found = mTypes.find(suffix);
    if (found != mTypes.end()) {
        return found->second;
    }
    // Only the suffix decides, so a stand-in name is as good as the real one.
    const QMimeType mime = mMimeDb.mimeTypeForFile(QStringLiteral("x") + DisplayName(suffix),
                                                   QMimeDatabase::MatchExtension);
    return mTypes.emplace(std::move(suffix), MakeType(mime)).first->second;
}

const IconCache::FileType& IconCache::FolderType() {
    // Kept among the suffixes under a key that no suffix can be.
    static const std::string kKey = "/";
    auto found = mTypes.find(kKey);
    if (found != mTypes.end()) {
        return found->second;
    }
    const QMimeType mime = mMimeDb.mimeTypeForName(QStringLiteral("inode/directory"));
    return mTypes.emplace(kKey, MakeType(mime)).first->second;
}

QIcon IconCache::LookUpIcon(const FileType& type, const std::string& fullPath) const {
    // Theme first (what the desktop shows for this type), then the platform's
    // file icon, then our own picture, so that a row always has an icon.
    if (!type.iconName.isEmpty() && QIcon::hasThemeIcon(type.iconName)) {
        return QIcon::fromTheme(type.iconName);
    }
    if (!type.genericIconName.isEmpty() && QIcon::hasThemeIcon(type.genericIconName)) {
        return QIcon::fromTheme(type.genericIconName);
    }
    QFileIconProvider provider;
    provider.setOptions(QFileIconProvider::DontUseCustomDirectoryIcons);
    const QIcon platformIcon = provider.icon(QFileInfo(QFile::decodeName(fullPath.c_str())));
    if (!platformIcon.isNull() && !platformIcon.availableSizes().isEmpty()) {
        return platformIcon;
    }
    return OwnArchiveIcon();
}

int IconCache::IndexOf(const std::string& key) const {
    const auto found = mIndex.find(key);
    return found == mIndex.end() ? -1 : found->second;
}

int IconCache::Add(const std::string& key, const QPixmap& large, const QPixmap& small) {
    Entry entry;
    entry.key = key;
    entry.large = large;
    entry.small = small;
    if (!large.isNull()) {
        entry.icon.addPixmap(large);
    }
    if (!small.isNull()) {
        entry.icon.addPixmap(small);
    }
    const int index = Count();
    mEntries.push_back(std::move(entry));
    mIndex.emplace(key, index);
    return index;
}

int IconCache::Assign(std::string_view folder, std::string_view fileName, bool noSfxIcons,
                      bool isFolder) {
    static const std::string sfxKey = kSfxKey;
    const FileType& type = isFolder ? FolderType() : TypeOf(fileName);
    // The full path is built only where it is needed: it is the key of an
    // executable with an icon of its own, and the first file of a type is
    // asked for its icon.
    std::string fullPath;
    if (type.executable && !noSfxIcons) {
        fullPath.reserve(folder.size() + fileName.size());
        fullPath.append(folder).append(fileName);
    }
    const std::string& key = !type.executable ? type.mimeName : noSfxIcons ? sfxKey : fullPath;
    const int cached = IndexOf(key);
    if (cached >= 0) {
        return cached;
    }
    if (type.executable && noSfxIcons) {
        return Add(key, Resized(SfxPicture32(), mLargeSize), Resized(SfxPicture16(), mSmallSize));
    }
    if (fullPath.empty()) {
        fullPath.append(folder).append(fileName);
    }
    const QIcon icon = LookUpIcon(type, fullPath);
    return Add(key, PictureAt(icon, mLargeSize), PictureAt(icon, mSmallSize));
}

}  // namespace mervok
