#include "results/collation.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include "app/text_decoding.h"
#include "app/text_util.h"

namespace mervok {

namespace {

// Unicode letter case from the C library's built-in UTF-8 locale, the same
// on every machine whatever the user's locale says.
char32_t Lower(char32_t c) {
    if (c < 0x80) {
        return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    }
    // Kana, CJK ideographs, Hangul and half-width kana have no case: most
    // characters of Japanese names skip the look-up.
    if ((c >= 0x3000 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7A3) ||
        (c >= 0xFF61 && c <= 0xFF9F)) {
        return c;
    }
    static const locale_t kUnicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return kUnicode != nullptr ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), kUnicode))
                               : c;
}

void AppendUtf16(std::u16string& key, char32_t c) {
    c = Lower(c);
    if (c < 0x10000) {
        key += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        key += static_cast<char16_t>(0xD800 + (c >> 10));
        key += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

bool DecodeUtf8Key(std::string_view bytes, std::u16string& key) {
    while (!bytes.empty()) {
        const char c = bytes.front();
        if (static_cast<unsigned char>(c) < 0x80) {
            key += static_cast<char16_t>(AsciiLower(c));
            bytes.remove_prefix(1);
            continue;
        }
        const auto decoded = DecodeUtf8(bytes);
        if (!decoded) {
            return false;
        }
        AppendUtf16(key, decoded->codePoint);
        bytes.remove_prefix(decoded->length);
    }
    return true;
}

// Shift-JIS with the vendor characters of Japanese Windows (CP932).
bool DecodeShiftJisKey(std::string_view bytes, std::u16string& key) {
    // One converter per thread, opened on the first name that needs it.
    struct Converter {
        iconv_t cd = OpenIconv("UTF-32LE", "CP932");
        ~Converter() {
            if (cd != reinterpret_cast<iconv_t>(-1)) {
                iconv_close(cd);
            }
        }
    };
    thread_local Converter converter;
    if (converter.cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    iconv(converter.cd, nullptr, nullptr, nullptr, nullptr);
    // iconv takes its input as char*; it does not write to it.
    char* inPointer = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    thread_local std::string out;
    out.resize(bytes.size() * 4);
    char* outPointer = out.data();
    std::size_t outLeft = out.size();
    if (iconv(converter.cd, &inPointer, &inLeft, &outPointer, &outLeft) ==
        static_cast<size_t>(-1)) {
        return false;
    }
    for (std::size_t i = 0; i + 4 <= out.size() - outLeft; i += 4) {
        const auto* unit = reinterpret_cast<const unsigned char*>(out.data() + i);
        AppendUtf16(key, static_cast<char32_t>(unit[0]) | static_cast<char32_t>(unit[1]) << 8 |
                             static_cast<char32_t>(unit[2]) << 16 |
                             static_cast<char32_t>(unit[3]) << 24);
    }
    return true;
}

}  // namespace

std::u16string CollationKey(std::string_view bytes) {
    std::u16string key;
    key.reserve(bytes.size());
    if (DecodeUtf8Key(bytes, key)) {
        return key;
    }
    key.clear();
    if (DecodeShiftJisKey(bytes, key)) {
        return key;
    }
    key.clear();
    for (const char byte : bytes) {
        AppendUtf16(key, static_cast<unsigned char>(byte));
    }
    return key;
}

void SortByFileName(std::vector<FoundArchive>& hits) {
    std::vector<std::u16string> keys;
    keys.reserve(hits.size());
    for (const auto& hit : hits) {
        keys.push_back(CollationKey(hit.fileName));
    }
    std::vector<FoundArchive> sorted;
    sorted.reserve(hits.size());
    for (const std::size_t index : OrderByKeys(keys)) {
        sorted.push_back(std::move(hits[index]));
    }
    hits = std::move(sorted);
}

}  // namespace mervok
