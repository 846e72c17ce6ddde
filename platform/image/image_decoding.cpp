#include "platform/image/image_decoding.h"

#include <algorithm>
#include <optional>

namespace vx {

namespace {

// A view of untrusted bytes whose reads fail instead of leaving the buffer.
class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t size() const { return size_; }
    bool Has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    std::uint32_t U16(std::size_t offset) const {
        return static_cast<std::uint32_t>(data_[offset]) |
               static_cast<std::uint32_t>(data_[offset + 1]) << 8;
    }
    std::uint32_t U32(std::size_t offset) const { return U16(offset) | U16(offset + 2) << 16; }
    std::uint32_t U32BigEndian(std::size_t offset) const {
        return static_cast<std::uint32_t>(data_[offset]) << 24 |
               static_cast<std::uint32_t>(data_[offset + 1]) << 16 |
               static_cast<std::uint32_t>(data_[offset + 2]) << 8 | data_[offset + 3];
    }
    std::int32_t I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
    unsigned char At(std::size_t offset) const { return data_[offset]; }
    const unsigned char* data() const { return data_; }

private:
    const unsigned char* data_;
    std::size_t size_;
};

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
// Larger pictures are not resources of ours; the bound keeps sizes far from overflow.
constexpr std::int64_t kMaxSide = 16384;
constexpr std::size_t kIconDirectorySize = 6;
constexpr std::size_t kFileEntrySize = 16;
constexpr std::size_t kGroupEntrySize = 14;
constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The signature, the IHDR chunk's length and type, then its fields.
constexpr std::size_t kPngHeaderSize = 8 + 8 + 13;

struct InfoHeader {
    std::int64_t width;
    std::int64_t height;  // negative: rows stored top-down
    std::uint32_t bitCount;
    std::uint32_t compression;
    std::uint32_t colorsUsed;
    std::uint32_t headerSize;
};

std::optional<InfoHeader> ReadInfoHeader(const Bytes& b, std::size_t at) {
    if (!b.Has(at, kInfoHeaderSize)) return std::nullopt;
    InfoHeader h{b.I32(at + 4),  b.I32(at + 8),  b.U16(at + 14),
                 b.U32(at + 16), b.U32(at + 32), b.U32(at)};
    if (h.headerSize < kInfoHeaderSize || !b.Has(at, h.headerSize)) return std::nullopt;
    if (b.U16(at + 12) != 1 || h.compression != kBiRgb) return std::nullopt;
    if (h.width <= 0 || h.width > kMaxSide || h.height == 0 || h.height > kMaxSide ||
        h.height < -kMaxSide)
        return std::nullopt;
    return h;
}

// Bytes per stored row: rows are padded to four bytes.
std::uint64_t Stride(std::int64_t width, std::uint32_t bitCount) {
    return ((static_cast<std::uint64_t>(width) * bitCount + 31) / 32) * 4;
}

// Reads `count` palette entries (blue, green, red, unused) into rgb triples.
bool ReadPalette(const Bytes& b, std::uint64_t at, std::uint32_t count,
                 unsigned char (*palette)[3]) {
    if (!b.Has(at, std::uint64_t{count} * 4)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = static_cast<std::size_t>(at) + i * 4;
        palette[i][0] = b.At(entry + 2);
        palette[i][1] = b.At(entry + 1);
        palette[i][2] = b.At(entry);
    }
    return true;
}

// A PNG file's header: its size must be the directory's; the rest of the
// file is left to a PNG decoder.
bool ReadPngHeader(const Bytes& b, int width, int height, IconImage& image) {
    if (!b.Has(0, kPngHeaderSize)) return false;
    if (b.U32BigEndian(8) != 13 || b.U32BigEndian(12) != 0x49484452) return false;  // "IHDR"
    if (b.U32BigEndian(16) != static_cast<std::uint32_t>(width) ||
        b.U32BigEndian(20) != static_cast<std::uint32_t>(height))
        return false;
    int channels = 0;
    switch (b.At(25)) {  // colour type
        case 0:
            channels = 1;
            break;  // grey
        case 2:
            channels = 3;
            break;  // RGB
        case 3:
            channels = 1;
            break;  // palette
        case 4:
            channels = 2;
            break;  // grey and alpha
        case 6:
            channels = 4;
            break;  // RGBA
        default:
            return false;
    }
    image.width = width;
    image.height = height;
    image.bitCount = channels * b.At(24);
    image.png = true;
    image.pixels.assign(reinterpret_cast<const char*>(b.data()), b.size());
    return true;
}

bool DecodeDib(const Bytes& b, int width, int height, IconImage& image) {
    const std::optional<InfoHeader> h = ReadInfoHeader(b, 0);
    if (!h || h->width != width || h->height != 2 * std::int64_t{height}) return false;
    const std::uint32_t bits = h->bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
    // A palette for the indexed forms; the others may carry an unused one.
    const std::uint32_t colors = bits <= 8 && h->colorsUsed == 0 ? 1u << bits : h->colorsUsed;
    if (colors > (bits <= 8 ? 1u << bits : 256u)) return false;
    unsigned char palette[256][3] = {};  // indices past the palette show black
    if (!ReadPalette(b, h->headerSize, colors, palette)) return false;

    const std::uint64_t colourAt = std::uint64_t{h->headerSize} + std::uint64_t{colors} * 4;
    const std::uint64_t colourStride = Stride(width, bits);
    const std::uint64_t maskAt = colourAt + colourStride * height;
    const std::uint64_t maskStride = Stride(width, 1);
    if (!b.Has(colourAt, colourStride * height) || !b.Has(maskAt, maskStride * height))
        return false;

    // A 32-bit image with any alpha at all is drawn by its alpha; one with
    // none (older programs left it zero) by its mask.
    bool hasAlpha = false;
    if (bits == 32)
        for (int y = 0; y < height && !hasAlpha; ++y)
            for (int x = 0; x < width && !hasAlpha; ++x)
                hasAlpha = b.At(static_cast<std::size_t>(colourAt + y * colourStride) + x * 4 + 3);

    std::string pixels(static_cast<std::size_t>(width) * height * 4, '\0');
    for (int y = 0; y < height; ++y) {
        const int stored = height - 1 - y;  // bottom-up
        const auto colourRow = static_cast<std::size_t>(colourAt + stored * colourStride);
        const auto maskRow = static_cast<std::size_t>(maskAt + stored * maskStride);
        for (int x = 0; x < width; ++x) {
            unsigned char rgba[4] = {0, 0, 0, 255};
            if (bits <= 8) {
                const unsigned char packed = b.At(colourRow + x * bits / 8);
                const int shift = 8 - bits - (x * bits) % 8;
                const unsigned index = (packed >> shift) & ((1u << bits) - 1);
                for (int c = 0; c < 3; ++c) rgba[c] = palette[index][c];
            } else {
                const std::size_t at = colourRow + x * (bits / 8);
                rgba[0] = b.At(at + 2);
                rgba[1] = b.At(at + 1);
                rgba[2] = b.At(at);
                if (hasAlpha) rgba[3] = b.At(at + 3);
            }
            if (!hasAlpha && (b.At(maskRow + x / 8) & (0x80 >> (x % 8)))) rgba[3] = 0;
            const std::size_t to = (static_cast<std::size_t>(y) * width + x) * 4;
            for (int c = 0; c < 4; ++c) pixels[to + c] = static_cast<char>(rgba[c]);
        }
    }
    image.width = width;
    image.height = height;
    image.bitCount = static_cast<int>(bits);
    image.png = false;
    image.pixels = std::move(pixels);
    return true;
}

}  // namespace

bool DecodeBmp8(const unsigned char* bytes, std::size_t size, Picture& picture) {
    if (bytes == nullptr) return false;
    const Bytes b(bytes, size);
    if (!b.Has(0, kFileHeaderSize) || b.At(0) != 'B' || b.At(1) != 'M') return false;
    const std::uint32_t pixelOffset = b.U32(10);
    const std::optional<InfoHeader> h = ReadInfoHeader(b, kFileHeaderSize);
    if (!h || h->bitCount != 8) return false;
    const std::uint32_t colors = h->colorsUsed == 0 ? 256 : h->colorsUsed;
    if (colors > 256) return false;

    unsigned char palette[256][3] = {};  // indices past the palette show black
    const std::uint64_t paletteAt = kFileHeaderSize + std::uint64_t{h->headerSize};
    if (!ReadPalette(b, paletteAt, colors, palette)) return false;
    if (pixelOffset < paletteAt + std::uint64_t{colors} * 4) return false;

    const std::uint64_t stride = Stride(h->width, 8);
    const std::int64_t rows = h->height < 0 ? -h->height : h->height;
    if (!b.Has(pixelOffset, stride * static_cast<std::uint64_t>(rows))) return false;

    Picture out;
    out.width = static_cast<int>(h->width);
    out.height = static_cast<int>(rows);
    out.rgb.resize(static_cast<std::size_t>(h->width * rows * 3));
    const bool bottomUp = h->height > 0;
    for (std::int64_t y = 0; y < rows; ++y) {
        const std::int64_t stored = bottomUp ? rows - 1 - y : y;
        const std::size_t row = pixelOffset + static_cast<std::size_t>(stored * stride);
        for (std::int64_t x = 0; x < h->width; ++x) {
            const unsigned char* rgb = palette[b.At(row + static_cast<std::size_t>(x))];
            const std::size_t to = static_cast<std::size_t>((y * h->width + x) * 3);
            out.rgb[to] = static_cast<char>(rgb[0]);
            out.rgb[to + 1] = static_cast<char>(rgb[1]);
            out.rgb[to + 2] = static_cast<char>(rgb[2]);
        }
    }
    picture = std::move(out);
    return true;
}

bool ReadIconDirectory(const unsigned char* bytes, std::size_t size, bool group,
                       std::vector<IconEntry>& entries) {
    if (bytes == nullptr) return false;
    const Bytes b(bytes, size);
    if (!b.Has(0, kIconDirectorySize) || b.U16(0) != 0 || b.U16(2) != 1) return false;
    const std::uint32_t count = b.U16(4);
    const std::size_t entrySize = group ? kGroupEntrySize : kFileEntrySize;
    if (!b.Has(kIconDirectorySize, std::uint64_t{count} * entrySize)) return false;
    std::vector<IconEntry> out;
    out.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = kIconDirectorySize + i * entrySize;
        IconEntry e;
        e.width = b.At(entry) == 0 ? 256 : b.At(entry);
        e.height = b.At(entry + 1) == 0 ? 256 : b.At(entry + 1);
        e.size = b.U32(entry + 8);
        e.where = group ? b.U16(entry + 12) : b.U32(entry + 12);
        out.push_back(e);
    }
    entries = std::move(out);
    return true;
}

bool DecodeIconImage(const unsigned char* bytes, std::size_t size, int width, int height,
                     IconImage& image) {
    if (bytes == nullptr || width <= 0 || width > 256 || height <= 0 || height > 256) return false;
    const Bytes b(bytes, size);
    if (b.Has(0, sizeof kPngSignature) &&
        std::equal(kPngSignature, kPngSignature + sizeof kPngSignature, bytes))
        return ReadPngHeader(b, width, height, image);
    return DecodeDib(b, width, height, image);
}

}  // namespace vx
