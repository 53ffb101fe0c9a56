#pragma once

#include <QString>

#include <optional>

namespace mervok::quorvix {

// Whether a file written into the private folder may be handed to the
// desktop's application: decided by the desktop's own type of the file, from
// its name and content together (as the desktop's opener will) and from its
// content alone (as `file` would), never by the stored name. Both must be a
// document type: text, PDF, office documents, images, audio and video; the
// content alone may also be a mere container (ZIP, OLE, unknown bytes) that a
// document type builds on. Pages (HTML, XHTML, SVG) pass only without scripts,
// frames, embedded objects, event handlers or refreshes, checked on their bytes, up to
// kMaxCheckedPageBytes (and only when ASCII-compatible); MHT, whose parts
// may be encoded, never passes. Returns why not, in the window's words; none
// when it may be handed over.
std::optional<QString> HandOverRefusal(const QString& file);

inline constexpr qint64 kMaxCheckedPageBytes = 8 << 20;

}  // namespace mervok::quorvix
