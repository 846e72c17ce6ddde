// The program's resources: its dialog templates, icon and banner bitmap.
#pragma once

#include "platform/framework/afx.h"

namespace vx {

AfxResources ProgramResources();

// Decodes an uncompressed 8-bit BMP (a BITMAPFILEHEADER and BITMAPINFOHEADER
// followed by a 256-entry palette); false for any other form.
bool DecodeBmp8(const unsigned char* bytes, std::size_t size, Picture& picture);

}  // namespace vx
