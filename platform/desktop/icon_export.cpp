#include "platform/desktop/icon_export.h"

#include <png.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "platform/image/image_decoding.h"
#include "platform/pe_files/program_icons.h"

namespace vx::desktop {

namespace {

// The sizes a desktop's icon theme is given.
constexpr int kMinSize = 16;
constexpr int kMaxSize = 256;
// The files are anyone's: the images tried and the pixels decoded are
// bounded, whatever their directories say. An icon of all the usual sizes in
// three depths stays well inside both.
constexpr int kMaxImagesTried = 32;
constexpr std::uint64_t kMaxPixels = 1u << 20;

// True when `png` is a whole PNG file that decodes to `size` x `size`.
bool PngDecodesTo(const std::string& png, int size) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
    bool ok = false;
    if (image.width == static_cast<png_uint_32>(size) &&
        image.height == static_cast<png_uint_32>(size)) {
        image.format = PNG_FORMAT_RGBA;
        std::string pixels(PNG_IMAGE_SIZE(image), '\0');
        ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    }
    png_image_free(&image);
    return ok;
}

std::optional<std::string> EncodePng(const IconImage& decoded) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(decoded.width);
    image.height = static_cast<png_uint_32>(decoded.height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(image, size, 0, decoded.pixels.data(), 0, nullptr))
        return std::nullopt;
    std::string png(size, '\0');
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, decoded.pixels.data(), 0, nullptr))
        return std::nullopt;
    png.resize(size);
    return png;
}

// Per square size, the deepest of `entries` that decodes (the first of
// equal depth); `load` gives an entry's stored bytes.
std::vector<IconPng> Export(
    const std::vector<IconEntry>& entries,
    const std::function<std::optional<std::string>(const IconEntry&)>& load) {
    std::vector<const IconEntry*> candidates;
    for (const IconEntry& entry : entries)
        if (entry.width == entry.height && entry.width >= kMinSize && entry.width <= kMaxSize)
            candidates.push_back(&entry);
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const IconEntry* a, const IconEntry* b) { return a->width > b->width; });

    std::map<int, IconImage, std::greater<int>> best;
    int tried = 0;
    std::uint64_t pixels = 0;
    for (const IconEntry* entry : candidates) {
        const std::uint64_t area = std::uint64_t(entry->width) * entry->height;
        if (tried == kMaxImagesTried) break;
        if (pixels + area > kMaxPixels) continue;  // a smaller one may still fit
        ++tried;
        pixels += area;
        const std::optional<std::string> bytes = load(*entry);
        if (!bytes) continue;
        IconImage image;
        if (!DecodeIconImage(reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size(),
                             entry->width, entry->height, image))
            continue;
        if (image.png && !PngDecodesTo(image.pixels, entry->width)) continue;
        const auto known = best.find(entry->width);
        if (known == best.end() || known->second.bitCount < image.bitCount)
            best[entry->width] = std::move(image);
    }

    std::vector<IconPng> out;
    for (const auto& [size, image] : best) {
        std::optional<std::string> png = image.png ? image.pixels : EncodePng(image);
        if (png) out.push_back({size, std::move(*png)});
    }
    return out;
}

}  // namespace

std::vector<IconPng> ProgramIconPngs(const std::string& program) {
    std::vector<IconPng> pngs;
    // A program whose icon group gives no image falls back on the file
    // beside it, as one without a group does.
    (void)pe_files::ReadProgramIcon(program, [&](const pe_files::StoredIcon& icon) {
        pngs = Export(icon.entries, icon.load);
        return !pngs.empty();
    });
    return pngs;
}

}  // namespace vx::desktop
