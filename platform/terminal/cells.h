// Text measured in the terminal's character cells: how wide a text shows,
// where it is cut, how it wraps.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vx::terminal {

// Whether the terminal shows characters beyond ASCII (its locale's
// character type is UTF-8); until said, it shows ASCII only.
void SetTerminalShowsUtf8(bool shows);

// The number of cells `text` (UTF-8) takes; a character the terminal
// cannot show counts as one, shown as '?'.
int DisplayWidth(std::string_view text);
// The first characters of `text` that fit in `width` cells.
std::string FitToWidth(std::string_view text, int width);
// A push button's face: `text` centred between brackets, `width` cells in all.
std::string ButtonFace(std::string_view text, int width);
// `text` split into lines of at most `width` cells at spaces; its own
// line breaks kept.
std::vector<std::string> WrapText(std::string_view text, int width);

}  // namespace vx::terminal
