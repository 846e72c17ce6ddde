#include "ui/resources.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "ui/dialog_templates.h"
#include "ui/resource.h"
#include "ui/resource_data.h"

namespace vx {

namespace {

// The dialog's face colour, what an icon's transparent pixels show.
constexpr unsigned char kFace[3] = {192, 192, 192};

const Picture* LoadBanner() {
    static const std::optional<Picture> banner = [] {
        Picture picture;
        if (!DecodeBmp8(resource_data::kBannerBmp, resource_data::kBannerBmpSize, picture))
            return std::optional<Picture>();
        picture.description = "Vornalux! 1.2";
        return std::optional<Picture>(std::move(picture));
    }();
    return banner ? &*banner : nullptr;
}

const Picture* LoadMainIcon() {
    static const std::optional<Picture> icon = [] {
        Picture picture;
        if (!DecodeIcon4(resource_data::kIconIco, resource_data::kIconIcoSize, 32, picture))
            return std::optional<Picture>();
        return std::optional<Picture>(std::move(picture));
    }();
    return icon ? &*icon : nullptr;
}

const Picture* LoadProgramImage(int id) {
    if (id == IDB_BANNER) return LoadBanner();
    if (id == IDR_MAINFRAME) return LoadMainIcon();
    return nullptr;
}

}  // namespace

AfxResources ProgramResources() { return {&FindDialogTemplate, &LoadProgramImage}; }

bool DecodeIcon4(const unsigned char* bytes, std::size_t size, int width, Picture& picture) {
    if (bytes == nullptr || width <= 0 || width > 256) return false;
    std::vector<IconEntry> entries;
    if (!ReadIconDirectory(bytes, size, false, entries)) return false;
    for (const IconEntry& entry : entries) {
        if (entry.width != width || entry.height != width) continue;
        if (entry.where > size || entry.size > size - entry.where) return false;
        IconImage image;
        if (!DecodeIconImage(bytes + entry.where, entry.size, width, width, image) || image.png ||
            image.bitCount != 4)
            return false;
        Picture out;
        out.width = width;
        out.height = width;
        out.rgb.resize(static_cast<std::size_t>(width) * width * 3);
        for (std::size_t i = 0; i < out.rgb.size() / 3; ++i) {
            // As the screen draws it: the background kept through the mask, then the colour.
            const bool keepsScreen = image.pixels[i * 4 + 3] == 0;
            for (int c = 0; c < 3; ++c)
                out.rgb[i * 3 + c] =
                    static_cast<char>((keepsScreen ? kFace[c] : 0) ^
                                      static_cast<unsigned char>(image.pixels[i * 4 + c]));
        }
        picture = std::move(out);
        return true;
    }
    return false;
}

}  // namespace vx
