#include "app/text_encoding.h"

#include "app/text_decoding.h"

#include <iconv.h>

#include <algorithm>
#include <optional>

namespace mervok {

namespace {

const iconv_t kNoHandle = reinterpret_cast<iconv_t>(-1);

// iconv's names of the tables documents in encoding are written with.
std::vector<const char*> Tables(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return {"UTF-8"};
        case TextEncoding::Utf16Le:
            return {"UTF-16LE"};
        case TextEncoding::Utf16Be:
            return {"UTF-16BE"};
        case TextEncoding::ShiftJis:
            return {"CP932"};
        case TextEncoding::EucJp:
            return {"EUC-JP", "EUC-JP-MS"};
        case TextEncoding::Iso2022Jp:
            break;
    }
    return {"ISO-2022-JP-3"};
}

std::optional<std::string> Encode(std::string_view utf8, const char* table) {
    const iconv_t handle = OpenIconv(table, "UTF-8");
    if (handle == kNoHandle) {
        return std::nullopt;
    }
    std::string out(utf8.size() * 4 + 16, '\0');  // room for the longest forms
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* to = out.data();
    std::size_t toLeft = out.size();
    const bool done =
        ::iconv(handle, &in, &inLeft, &to, &toLeft) != static_cast<std::size_t>(-1) &&
        ::iconv(handle, nullptr, nullptr, &to, &toLeft) != static_cast<std::size_t>(-1);
    ::iconv_close(handle);
    if (!done) {
        return std::nullopt;
    }
    out.resize(out.size() - toLeft);
    return out;
}

}  // namespace

std::vector<std::string> EncodeText(std::string_view utf8, TextEncoding encoding) {
    std::vector<std::string> forms;
    if (!IsUtf8(utf8)) {
        return forms;
    }
    for (const char* table : Tables(encoding)) {
        auto form = Encode(utf8, table);
        if (form && std::find(forms.begin(), forms.end(), *form) == forms.end()) {
            forms.push_back(std::move(*form));
        }
    }
    return forms;
}

std::string EntryNameText(std::string_view rawName) {
    std::string name =
        DecodeText(rawName, IsUtf8(rawName) ? TextEncoding::Utf8 : TextEncoding::ShiftJis).utf8;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
    return name;
}

}  // namespace mervok
