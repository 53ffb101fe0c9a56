#pragma once

#include <cstddef>
#include <memory>
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

// Decodes a text that comes in pieces cut anywhere, line ends kept as they
// are: a sequence or an escape cut by a piece's end waits for the next piece.
// A byte that does not decode becomes U+FFFD.
class PieceDecoder {
  public:
    explicit PieceDecoder(TextEncoding encoding);
    ~PieceDecoder();
    PieceDecoder(const PieceDecoder&) = delete;
    PieceDecoder& operator=(const PieceDecoder&) = delete;

    // Appends the UTF-8 of piece to out; with last, a sequence cut by its end
    // becomes U+FFFD.
    void Decode(std::string_view piece, bool last, std::string& out);

  private:
    void* mHandle;       // iconv's
    std::string mCarry;  // the start of a sequence cut by the last piece's end
};

}  // namespace mervok
