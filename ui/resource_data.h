// The resource files embedded at build time (generated from ui/banner.bmp and
// ui/icon.ico by ui/embed_resources.cmake).
#pragma once

#include <cstddef>

namespace vx::resource_data {

extern const unsigned char kBannerBmp[];
extern const std::size_t kBannerBmpSize;
extern const unsigned char kIconIco[];
extern const std::size_t kIconIcoSize;

}  // namespace vx::resource_data
