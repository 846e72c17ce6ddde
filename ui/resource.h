// Resource identifiers of the setup program.
#pragma once

namespace vx {

inline constexpr int IDD_INSTALL_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDB_BANNER = 142;
inline constexpr int IDD_SOUNDCARD = 149;

}  // namespace vx
