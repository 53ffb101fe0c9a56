#pragma once

#include <string>
#include <string_view>

namespace mervok::quorvix {

// The documents of an archive are what the search looks for: "*.TXT" and the
// extensions of "DocType" (the viewer is 1.00 or later, so the list always
// applies), matched case-blind against the last part of an entry's name.
std::string DocumentWildcardsFor(std::string_view docTypes);

// How an entry is shown: as text, as a page, or not at all (a message and the
// desktop's application instead).
enum class EntryKind { Text, Html, Binary };

// By the name's extension (".htm", ".html" are pages) and the first bytes:
// formats with a known signature, and bytes no text has (NULs outside UTF-16,
// control characters), are binary. So an old ".DOC" that is plain text is
// shown as text, and a Word file is not.
EntryKind KindOf(std::string_view name, std::string_view head);

// How many bytes KindOf wants to see.
inline constexpr std::size_t kSniffBytes = 4096;

// True for what would run when handed to the desktop: programs, scripts,
// installers and launchers by the extension of the name as it is written out
// (ExportFileName), and any file that starts like an executable (MZ, ELF,
// "#!"). The desktop's own type of the written file is checked besides
// (open_with_policy).
bool IsExecutable(std::string_view name, std::string_view head);

// An entry's stored name (raw bytes) as UTF-8 for display: kept when it is
// UTF-8 already, else read as Shift-JIS; control characters become '?'.
std::string DisplayName(std::string_view rawName);

// A file name for an entry written out (and suggested by "save as"): the
// last part of its display name, without separators, control characters and
// the marks that reorder text (a right-to-left override), without blanks and
// dots at its end, never "" or dots only ("entry" then), at most 200 bytes.
// Whatever the stored name says (leading '/', "..", '\'), the file lands in
// the folder it is written to.
std::string ExportFileName(std::string_view displayName);

}  // namespace mervok::quorvix
