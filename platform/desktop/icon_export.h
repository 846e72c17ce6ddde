// A program's icon as the PNG files a desktop's icon theme holds: one per
// square size, taken from the program's own icon group when it is a Windows
// program, otherwise from the icon file beside it with the same base name.
#pragma once

#include <string>
#include <vector>

namespace vx::desktop {

struct IconPng {
    int size = 0;     // width and height in pixels
    std::string png;  // a complete PNG file
};

// The icon of the program at the host path `program`, largest first, one
// entry per size; empty when it has none that can be read.
std::vector<IconPng> ProgramIconPngs(const std::string& program);

}  // namespace vx::desktop
