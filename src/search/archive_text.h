#pragma once

#include <string>

#include "search/cancel_token.h"
#include "search/found_archive.h"
#include "search/search_options.h"
#include "search/text_scan.h"

namespace mervok {

// Reads the documents of the archive at path (of kind, plain or behind a
// stub) through the archive readers, one piece at a time, and scans each for
// the query. Documents are chosen by the document wildcards from their
// headers before anything is inflated. Encrypted and damaged documents are
// counted and passed over; reading ends at the inflation caps (a bomb), at
// the first match when firstMatchOnly, or soon after an abort.
TextFindings FindTextInArchive(const std::string& path, ArchiveKind kind,
                               const std::string& documentWildcards, const TextQuery& query,
                               const TextSearchLimits& limits, bool firstMatchOnly,
                               const CancelToken& cancel);

}  // namespace mervok
