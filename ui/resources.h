// The program's resources: its dialog templates, icon and banner bitmap.
#pragma once

#include <cstddef>

#include "platform/framework/afx.h"
#include "platform/image/image_decoding.h"

namespace vx {

AfxResources ProgramResources();

// Decodes the `width` x `width`, 16-colour image of an icon file, drawn over
// the dialog's face colour through its AND mask; false when there is none.
bool DecodeIcon4(const unsigned char* bytes, std::size_t size, int width, Picture& picture);

}  // namespace vx
