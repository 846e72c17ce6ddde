// Pictures as resource sections and icon files store them: BMP files, and
// icon directories whose images are DIBs (colour bits and an AND mask) or
// PNG files. The bytes are untrusted: every read is checked against them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/image/picture.h"

namespace vx {

// Decodes an uncompressed 8-bit BMP (a BITMAPFILEHEADER and BITMAPINFOHEADER
// followed by a 256-entry palette); false for any other form.
bool DecodeBmp8(const unsigned char* bytes, std::size_t size, Picture& picture);

// One entry of an icon directory.
struct IconEntry {
    int width = 0;  // 1..256 (a stored 0 means 256)
    int height = 0;
    std::uint32_t size = 0;  // bytes of the image
    // An icon file's entry: the image's offset in the file. An icon group
    // resource's entry: the id of the icon resource holding the image.
    std::uint32_t where = 0;
};

// The entries of an icon file's directory, or with `group` of an icon group
// resource's; false when the header is not one or the entries are cut short.
bool ReadIconDirectory(const unsigned char* bytes, std::size_t size, bool group,
                       std::vector<IconEntry>& entries);

// One image of an icon.
struct IconImage {
    int width = 0;
    int height = 0;
    int bitCount = 0;  // as stored: 1, 4, 8, 24 or 32 for a DIB; a PNG's bits per pixel
    bool png = false;
    // A PNG: the file as stored (only its header has been read). A DIB:
    // straight RGBA, top row first; a pixel the AND mask leaves transparent
    // has alpha 0 and keeps its colour bits, which the screen would XOR.
    std::string pixels;
};

// Decodes one stored icon image of `width` x `height` pixels (what its
// directory entry says): a PNG file, recognised by its signature, or a DIB
// whose header counts the colour rows and the mask's rows.
bool DecodeIconImage(const unsigned char* bytes, std::size_t size, int width, int height,
                     IconImage& image);

}  // namespace vx
