#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/text_decoding.h"

namespace mervok {

constexpr bool IsUtf16(TextEncoding encoding) {
    return encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be;
}

// The forms of a UTF-8 text in encoding, without a byte-order mark: one per
// table a document may have been written with where they differ (EUC-JP by
// the JIS table and by Microsoft's, which adds the NEC and IBM rows); none
// when no table has every character, or the text is not UTF-8.
std::vector<std::string> EncodeText(std::string_view utf8, TextEncoding encoding);

// An archive entry's stored name (raw bytes) as UTF-8 for display: kept when
// it is UTF-8 already, else read as Shift-JIS; control characters become '?'.
std::string EntryNameText(std::string_view rawName);

}  // namespace mervok
