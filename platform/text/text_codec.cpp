#include "platform/text/text_codec.h"

#include <iconv.h>

#include <algorithm>

#include "platform/text/utf8.h"

namespace vx {

namespace {

constexpr UINT kShiftJis = 932;

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::optional<std::string> Convert(const std::string& to, const std::string& from,
                                   std::string_view text) {
    if (IsAscii(text)) return std::string(text);
    const iconv_t converter = iconv_open(to.c_str(), from.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* next = out.data();
    std::size_t outLeft = out.size();
    const std::size_t converted = iconv(converter, &in, &inLeft, &next, &outLeft);
    const bool flushed = iconv(converter, nullptr, nullptr, &next, &outLeft) != std::size_t(-1);
    iconv_close(converter);
    if (converted == std::size_t(-1) || !flushed || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

std::string IconvName(UINT codePage) { return "CP" + std::to_string(codePage); }

}  // namespace

std::optional<std::string> TextCodec::ExactUtf8(std::string_view narrow) const {
    if (codePage_ == 0) return std::string(narrow);
    return Convert("UTF-8", IconvName(codePage_), narrow);
}

std::optional<std::string> TextCodec::ExactNarrow(std::string_view utf8) const {
    if (codePage_ == 0) return std::string(utf8);
    return Convert(IconvName(codePage_), "UTF-8", utf8);
}

bool TextCodec::IsLeadByte(unsigned char byte) const {
    if (codePage_ != kShiftJis) return false;
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::size_t TextCodec::CharacterLength(std::string_view narrow, std::size_t at) const {
    if (at >= narrow.size()) return 0;
    return IsLeadByte(static_cast<unsigned char>(narrow[at])) && at + 1 < narrow.size() ? 2 : 1;
}

std::string TextCodec::ToUtf8(std::string_view narrow) const {
    if (std::optional<std::string> whole = ExactUtf8(narrow)) return *whole;
    std::string out;
    for (std::size_t i = 0; i < narrow.size();) {
        const std::size_t n = CharacterLength(narrow, i);
        const std::optional<std::string> one = ExactUtf8(narrow.substr(i, n));
        out += one ? *one : std::string("?");
        i += n;
    }
    return out;
}

std::string TextCodec::ToNarrow(std::string_view utf8) const {
    if (std::optional<std::string> whole = ExactNarrow(utf8)) return *whole;
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t n =
            std::min(Utf8SequenceLength(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
        const std::optional<std::string> one = ExactNarrow(utf8.substr(i, n));
        out += one ? *one : std::string("?");
        i += n;
    }
    return out;
}

}  // namespace vx
