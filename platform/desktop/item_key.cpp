#include "platform/desktop/item_key.h"

#include <zlib.h>

#include <cstdint>

#include "platform/desktop/entry_text.h"

namespace vx::desktop {

namespace {

// Text safe inside an XML comment: no "--", no control character.
std::string CommentText(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '%' || c == '-' || byte < 0x20 || byte == 0x7f) {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xff);
}

std::uint32_t ReadBigEndian(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr std::size_t kAfterHeaderChunk = 8 + 8 + 13 + 4;

}  // namespace

std::optional<KeyParts> SplitKey(const std::string& value) {
    const std::size_t bar = value.rfind('|');
    if (bar == std::string::npos) return std::nullopt;
    return KeyParts{value.substr(0, bar), value.substr(bar + 1)};
}

std::optional<std::string> EntryKey(std::string_view text) { return KeyValue(text, kKey); }

std::string MenuKeyComment(const std::string& value) {
    return "<!-- " + std::string(kKey) + " " + CommentText(value) + " -->";
}

std::optional<std::string> MenuKey(std::string_view text) {
    const std::string marker = "<!-- " + std::string(kKey) + " ";
    const std::size_t at = text.find(marker);
    if (at == std::string_view::npos) return std::nullopt;
    const std::size_t start = at + marker.size();
    const std::size_t end = text.find(" -->", start);
    if (end == std::string_view::npos) return std::nullopt;
    std::string value;
    for (std::size_t i = start; i < end; ++i) {
        const int high = i + 2 < end ? HexDigit(text[i + 1]) : -1;
        const int low = i + 2 < end ? HexDigit(text[i + 2]) : -1;
        if (text[i] == '%' && high >= 0 && low >= 0) {
            value += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            value += text[i];
        }
    }
    return value;
}

std::optional<std::string> PngWithKey(const std::string& png, const std::string& value) {
    if (png.size() < kAfterHeaderChunk || !png.starts_with(kPngSignature) ||
        png.compare(12, 4, "IHDR") != 0 || ReadBigEndian(png, 8) != 13)
        return std::nullopt;
    std::string data = std::string(kKey) + '\0' + '\0' + '\0' + '\0' + '\0' + value;
    std::string chunk;
    AppendBigEndian(chunk, static_cast<std::uint32_t>(data.size()));
    chunk += "iTXt" + data;
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data() + 4),
                           static_cast<uInt>(chunk.size() - 4));
    AppendBigEndian(chunk, static_cast<std::uint32_t>(crc));
    return png.substr(0, kAfterHeaderChunk) + chunk + png.substr(kAfterHeaderChunk);
}

std::optional<std::string> PngKey(std::string_view png) {
    if (!png.starts_with(kPngSignature)) return std::nullopt;
    const std::string keyword = std::string(kKey) + '\0';
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = ReadBigEndian(png, at);
        if (length > png.size() - at - 12) return std::nullopt;
        const std::string_view type = png.substr(at + 4, 4);
        const std::string_view data = png.substr(at + 8, length);
        if (type == "iTXt" && data.starts_with(keyword)) {
            // Keyword, compression flag and method, empty language and translated keyword.
            const std::size_t text = keyword.size() + 4;
            return text <= data.size() ? std::optional(std::string(data.substr(text)))
                                       : std::nullopt;
        }
        if (type == "IEND") return std::nullopt;
        at += 12 + length;
    }
    return std::nullopt;
}

std::optional<std::string> OwningMachine(const std::string& bytes) {
    auto value = EntryKey(bytes);
    if (!value) value = PngKey(bytes);
    if (!value) value = MenuKey(bytes);
    const auto parts = value ? SplitKey(*value) : std::nullopt;
    return parts ? std::optional(parts->machine) : std::nullopt;
}

}  // namespace vx::desktop
