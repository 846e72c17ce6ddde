// The bitmap and icon decoding: the input is taken as a BMP file and as an
// icon file, the latter at the sizes the program asks for and at the size
// its own first entry names.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "ui/resources.h"

namespace {

void CheckPicture(const vx::Picture& picture, int width, int height) {
    if (picture.width <= 0 || picture.height <= 0 || (width && picture.width != width) ||
        (height && picture.height != height) ||
        picture.rgb.size() != static_cast<std::size_t>(picture.width) * picture.height * 3)
        vx::fuzz::Fail("a decoded picture holds its width times its height in pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vx::Picture picture;
    if (vx::DecodeBmp8(data, size, picture)) CheckPicture(picture, 0, 0);

    int widths[] = {32, 16, 0};
    if (size > 6) widths[2] = data[6] == 0 ? 256 : data[6];
    for (const int width : widths) {
        vx::Picture icon;
        if (vx::DecodeIcon4(data, size, width, icon)) CheckPicture(icon, width, width);
    }
    return 0;
}
