#pragma once

#include <QIcon>
#include <QMimeDatabase>
#include <QPixmap>
#include <QString>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mervok {

// Row icons of the result list, cached per file type for one search: a list of
// a thousand archives of three types holds three icons, not a thousand.
//
// The type of a file comes from its name (QMimeDatabase, name only, the way a
// desktop shell decides by extension); the key of a type is its MIME name.
// Executables are the exception: a self-extracting archive either shares the
// fixed "SFX" pair (when the user asked not to fetch their icons) or gets an
// entry of its own under its full path. A file counts as an executable when its
// type is, or derives from, one of the PE/DOS executable types
// (application/x-ms-dos-executable, application/x-msdownload,
// application/vnd.microsoft.portable-executable, application/x-dosexec).
// A folder named like an archive is of the folder type (inode/directory)
// whatever its name, so that it never lends its icon to the files of a type.
//
// Each entry holds one picture at the large and one at the small size. Once a
// key is in the cache it is never replaced: every later file of that type
// shows the first file's icon.
class IconCache {
  public:
    static constexpr const char* kSfxKey = "SFX";

    IconCache();

    // Picture sizes in pixels; entries made before a change keep their size.
    void SetSizes(int large, int small);
    int LargeSize() const { return mLargeSize; }
    int SmallSize() const { return mSmallSize; }

    // Empties the cache (start of a search).
    void Clear();

    // Makes sure the cache holds an icon for the file folder + fileName (exact
    // bytes; folder ends with the separator), or for that folder when isFolder,
    // and returns the index of its entry; never fails.
    int Assign(std::string_view folder, std::string_view fileName, bool noSfxIcons,
               bool isFolder = false);

    int Count() const { return static_cast<int>(mEntries.size()); }
    // -1 when the key is not cached.
    int IndexOf(const std::string& key) const;
    // A MIME name, "SFX", or the exact bytes of an executable's full path.
    const std::string& Key(int index) const { return mEntries[index].key; }
    const QIcon& Icon(int index) const { return mEntries[index].icon; }
    const QPixmap& Large(int index) const { return mEntries[index].large; }
    const QPixmap& Small(int index) const { return mEntries[index].small; }

    // The fixed self-extracting-archive pictures (16x16 and 32x32 artwork).
    static QPixmap SfxPicture16();
    static QPixmap SfxPicture32();

  private:
    struct FileType {
        std::string mimeName;
        QString iconName;
        QString genericIconName;
        bool executable = false;
    };
    struct Entry {
        std::string key;
        QIcon icon;
        QPixmap large;
        QPixmap small;
    };

    static FileType MakeType(const QMimeType& mime);
    const FileType& TypeOf(std::string_view fileName);
    const FileType& FolderType();
    int Add(const std::string& key, const QPixmap& large, const QPixmap& small);
    QIcon LookUpIcon(const FileType& type, const std::string& fullPath) const;

    int mLargeSize = 32;
    int mSmallSize = 16;
    QMimeDatabase mMimeDb;
    // Name lookups are the expensive part of a fill; files ending in the same
    // two suffixes have the same type (globs like "*.fb2.zip" are the longest
    // that the MIME database uses for these files).
    std::unordered_map<std::string, FileType> mTypes;
    std::unordered_map<std::string, int> mIndex;
    std::vector<Entry> mEntries;
};

}  // namespace mervok
