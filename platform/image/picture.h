// A picture as the dialogs show it: 8-bit or true-colour pixels.
#pragma once

#include <cstddef>
#include <string>

namespace vx {

// A picture a control or window shows: 8-bit or true-colour pixels.
struct Picture {
    int width = 0;
    int height = 0;
    std::string rgb;  // width * height * 3 bytes, top row first
    // What it shows, in words, for screen readers (narrow text; may be empty).
    std::string description;

    std::size_t PixelBytes() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    }
    // Whether there are pixels and as many bytes as the size needs.
    bool HasPixels() const { return width > 0 && height > 0 && rgb.size() >= PixelBytes(); }
};

}  // namespace vx
