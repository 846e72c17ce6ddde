// The program icon for the desktop: the input is taken as the icon file
// beside a host program and as a Windows program with icon resources. Every
// PNG produced must decode to its size, sizes largest first and each once.
#include <png.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/desktop/icon_export.h"

namespace {

using vx::fuzz::Fail;

void Check(const std::vector<vx::desktop::IconPng>& pngs) {
    int previous = 257;
    for (const vx::desktop::IconPng& png : pngs) {
        if (png.size < 16 || png.size >= previous)
            Fail("sizes lie in 16..256, largest first, each once", std::to_string(png.size));
        previous = png.size;
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, png.png.data(), png.png.size()))
            Fail("every PNG decodes", image.message);
        if (image.width != static_cast<png_uint_32>(png.size) ||
            image.height != static_cast<png_uint_32>(png.size))
            Fail("every PNG is size x size", std::to_string(png.size));
        image.format = PNG_FORMAT_RGBA;
        std::string pixels(PNG_IMAGE_SIZE(image), '\0');
        if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
            Fail("every PNG decodes", image.message);
        png_image_free(&image);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = vx::fuzz::ScratchFolder();
    static const bool once = [] {
        // A host program: its icon is the file beside it.
        vx::fuzz::WriteHostFile(folder + "/game", "#!/bin/sh\n");
        return true;
    }();
    (void)once;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    vx::fuzz::WriteHostFile(folder + "/game.ico", bytes);
    Check(vx::desktop::ProgramIconPngs(folder + "/game"));
    vx::fuzz::WriteHostFile(folder + "/program.exe", bytes);
    Check(vx::desktop::ProgramIconPngs(folder + "/program.exe"));
    return 0;
}
