#pragma once

#include <memory>

#include "archive_reader.h"
#include "archiver.h"
#include "wildcard.h"

namespace mervok::plugin {

// One open archive behind a HARC: FindFirst and FindNext walk the format's
// reader and match wildcards, whatever the format.
class ArchiveSession {
  public:
    static std::unique_ptr<ArchiveSession> Open(const char* path, Format format);
    // CheckArchive: whether path opens as an archive of the format. The
    // session found is kept for an OpenChecked of the same path from the same
    // thread, which callers usually send next, so that the file is opened and
    // located once: on a network share that saves several round trips. The
    // next Check or OpenChecked on the thread, or the thread's end, lets it go.
    static bool Check(const char* path, Format format);
    // OpenArchive: the session Check kept, while the path still names the
    // same unchanged file; otherwise a fresh Open.
    static std::unique_ptr<ArchiveSession> OpenChecked(const char* path, Format format);

    // 0: an entry matching was found (and info filled); -1: none.
    int FindFirst(const char* wildcards, INDIVIDUALINFO* info);
    int FindNext(INDIVIDUALINFO* info);

  private:
    explicit ArchiveSession(std::unique_ptr<ArchiveReader> reader) : mReader(std::move(reader)) {}
    int Search(INDIVIDUALINFO* info);

    std::unique_ptr<ArchiveReader> mReader;
    std::unique_ptr<WildcardList> mWildcards;
};

}  // namespace mervok::plugin
