#include "quorvix/open_with_policy.h"

#include <QByteArrayView>
#include <QFile>
#include <QMimeDatabase>

#include <algorithm>
#include <initializer_list>

namespace mervok::quorvix {

namespace {

enum class TypeClass { Document, Page, Container, Other };

bool OneOf(const QString& name, std::initializer_list<const char*> list) {
    return std::any_of(list.begin(), list.end(),
                       [&](const char* item) { return name == QLatin1String(item); });
}

TypeClass Classify(const QMimeType& type) {
    const QString name = type.name();
    if (OneOf(name, {"text/html", "application/xhtml+xml", "image/svg+xml"})) {
        return TypeClass::Page;
    }
    // Playlists name what the player fetches; compressed SVG cannot be checked.
    if (OneOf(name, {"audio/x-mpegurl", "audio/mpegurl", "application/vnd.apple.mpegurl",
                     "audio/x-scpls", "audio/x-ms-asx", "video/vnd.mpegurl", "application/xspf+xml",
                     "image/svg+xml-compressed"})) {
        return TypeClass::Other;
    }
    if (name.startsWith(QLatin1String("image/")) || name.startsWith(QLatin1String("audio/")) ||
        name.startsWith(QLatin1String("video/"))) {
        return TypeClass::Document;
    }
    if (OneOf(name,
              {"text/plain", "text/csv", "text/tab-separated-values", "text/markdown", "text/x-log",
               "text/rtf", "application/rtf", "application/pdf", "application/msword",
               "application/vnd.ms-excel", "application/vnd.ms-powerpoint",
               "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
               "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
               "application/vnd.openxmlformats-officedocument.presentationml.presentation",
               "application/vnd.oasis.opendocument.text",
               "application/vnd.oasis.opendocument.spreadsheet",
               "application/vnd.oasis.opendocument.presentation",
               "application/vnd.oasis.opendocument.graphics"})) {
        return TypeClass::Document;
    }
    if (OneOf(name, {"application/octet-stream", "application/zip", "application/x-ole-storage",
                     "application/x-zerosize"})) {
        return TypeClass::Container;
    }
    return TypeClass::Other;
}

// Whether a page may run something in the browser the desktop opens it in.
// Case-blind on bytes, with blanks and character references taken out first
// ("java&#x09;script:"); a word like "script" in the text counts too, which
// only errs on the safe side.
bool PageMayRunSomething(const QString& file) {
    QFile page(file);
    if (page.size() > kMaxCheckedPageBytes || !page.open(QIODevice::ReadOnly)) {
        return true;
    }
    const QByteArray bytes = page.readAll().toLower();
    if (bytes.contains('\0')) {
        return true;  // UTF-16 or similar: the markers would not show as bytes
    }
    QByteArray squeezed;
    squeezed.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '&') {
            // A reference may spell any character; it is left out, so that
            // what it splits comes together.
            const qsizetype end = bytes.indexOf(';', i);
            if (end > i && end - i <= 12) {
                i = end;
                continue;
            }
        }
        if (static_cast<unsigned char>(c) > ' ') {
            squeezed += c;
        }
    }
    for (const char* marker :
         {"script", "<iframe", "<frame", "<object", "<embed", "<applet", "<foreignobject",
          "<handler", "http-equiv=refresh", "http-equiv=\"refresh", "http-equiv='refresh"}) {
        if (squeezed.contains(marker)) {
            return true;
        }
    }
    // Event handlers: on...= in a tag.
    for (qsizetype at = bytes.indexOf("on"); at >= 0; at = bytes.indexOf("on", at + 2)) {
        const char before = at > 0 ? bytes[at - 1] : ' ';
        if (static_cast<unsigned char>(before) > ' ' && before != '"' && before != '\'' &&
            before != '/') {
            continue;
        }
        qsizetype end = at + 2;
        while (end < bytes.size() && bytes[end] >= 'a' && bytes[end] <= 'z') {
            ++end;
        }
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) <= ' ') {
            ++end;
        }
        if (end > at + 2 && end < bytes.size() && bytes[end] == '=') {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<QString> HandOverRefusal(const QString& file) {
    const QMimeDatabase types;
    const QMimeType named = types.mimeTypeForFile(file, QMimeDatabase::MatchDefault);
    const QMimeType content = types.mimeTypeForFile(file, QMimeDatabase::MatchContent);
    bool page = false;
    // The content alone may say no more than a container the named type
    // builds on (a .docx is a ZIP, an old .doc an OLE file).
    const struct {
        const QMimeType& type;
        bool containerWillDo;
    } views[] = {{named, false}, {content, true}};
    for (const auto& [type, containerWillDo] : views) {
        const TypeClass kind = Classify(type);
        page = page || kind == TypeClass::Page;
        if (kind == TypeClass::Other || (kind == TypeClass::Container && !containerWillDo)) {
            return QStringLiteral("文書ではない種類のファイル (%1) のため、アプリで開きません。")
                .arg(type.name());
        }
    }
    if (page && PageMayRunSomething(file)) {
        return QStringLiteral("スクリプトなどを含むページのため、アプリで開きません。");
    }
    return std::nullopt;
}

}  // namespace mervok::quorvix
