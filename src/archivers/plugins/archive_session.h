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
