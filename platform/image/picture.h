// A picture as the dialogs show it: 8-bit or true-colour pixels.
#pragma once

#include <string>

namespace vx {

// A picture a control or window shows: 8-bit or true-colour pixels.
struct Picture {
    int width = 0;
    int height = 0;
    std::string rgb;  // width * height * 3 bytes, top row first
    // What it shows, in words, for screen readers (narrow text; may be empty).
    std::string description;
};

}  // namespace vx
