#include "platform/terminal/cells.h"

#include <algorithm>
#include <cwchar>

#include "platform/text/utf8.h"

namespace vx::terminal {

namespace {

bool g_utf8 = false;

// Calls `glyph(bytes, cells)` for each character of `text` as the terminal
// shows it: one it cannot show becomes '?'.
template <typename F>
void ForEachGlyph(std::string_view text, F glyph) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const long cp = DecodeUtf8(text, i);
        if (cp >= 0x20 && cp < 0x7F) {
            glyph(text.substr(start, i - start), 1);
            continue;
        }
        const int cells = cp >= 0xA0 && g_utf8 ? wcwidth(static_cast<wchar_t>(cp)) : -1;
        if (cells < 0)
            glyph("?", 1);
        else
            glyph(text.substr(start, i - start), cells);
    }
}

}  // namespace

void SetTerminalShowsUtf8(bool shows) { g_utf8 = shows; }

int DisplayWidth(std::string_view text) {
    int width = 0;
    ForEachGlyph(text, [&](std::string_view, int cells) { width += cells; });
    return width;
}

std::string FitToWidth(std::string_view text, int width) {
    std::string out;
    int used = 0;
    bool full = false;
    ForEachGlyph(text, [&](std::string_view glyph, int cells) {
        if (full || used + cells > width) {
            full = true;
            return;
        }
        out += glyph;
        used += cells;
    });
    return out;
}

std::string ButtonFace(std::string_view text, int width) {
    const int room = width - 2;
    const int pad = std::max(0, (room - DisplayWidth(text)) / 2);
    std::string face = "[" + std::string(pad, ' ') + FitToWidth(text, room);
    face += std::string(std::max(0, width - 1 - DisplayWidth(face)), ' ') + "]";
    return face;
}

std::vector<std::string> WrapText(std::string_view text, int width) {
    std::vector<std::string> lines;
    if (width < 1) width = 1;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view rest = text.substr(start, end - start);
        do {
            std::string line = FitToWidth(rest, width);
            std::size_t cut = line.size();
            if (cut < rest.size()) {
                // Break at the last space that leaves something on the line.
                const std::size_t space = rest.substr(0, cut + 1).rfind(' ');
                if (space != std::string_view::npos && space > 0) cut = space;
            }
            if (cut == 0) cut = std::min<std::size_t>(1, rest.size());
            std::string_view piece = rest.substr(0, cut);
            while (!piece.empty() && piece.back() == ' ') piece.remove_suffix(1);
            lines.emplace_back(piece);
            rest.remove_prefix(cut);
            while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        } while (!rest.empty());
        start = end + 1;
    }
    return lines;
}

}  // namespace vx::terminal
