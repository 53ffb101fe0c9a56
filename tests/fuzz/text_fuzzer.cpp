// Feeds arbitrary bytes to the viewer's text decoding, detected and forced to
// each encoding: it must neither crash nor hang (a text of line breaks in a
// JIS run once took minutes), must give valid UTF-8 with LF line ends, and
// must read a text handed over in pieces as it reads the whole.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "quorvix/text_decoding.h"

using namespace mervok::quorvix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // The first byte picks the encoding (or detection), the second the size
    // of the pieces.
    const std::size_t choice = data[0] % (std::size(kAllEncodings) + 1);
    const std::size_t step = 1 + data[1] * 257u;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    DeclaredHtmlEncoding(bytes);
    const DecodedText whole =
        DecodeText(bytes, choice < std::size(kAllEncodings) ? std::optional(kAllEncodings[choice])
                                                            : std::nullopt);
    if (!IsUtf8(whole.utf8) || whole.utf8.find('\r') != std::string::npos) {
        __builtin_trap();
    }
    TextDecoder decoder(whole.encoding);
    std::string pieces;
    std::size_t invalid = 0;
    for (std::size_t at = 0; at < bytes.size(); at += step) {
        invalid += decoder.Decode(bytes.substr(at, step), at + step >= bytes.size(), pieces);
    }
    if (bytes.empty()) {
        invalid += decoder.Decode({}, true, pieces);
    }
    if (pieces != whole.utf8 || invalid != whole.invalidSequences) {
        __builtin_trap();
    }
    return 0;
}
