#include "platform/terminal/edit_field.h"

#include <algorithm>
#include <vector>

namespace vx::terminal {

namespace {

struct Glyph {
    std::size_t offset;  // in the narrow text
    std::string utf8;
    int cells;
};

std::vector<Glyph> Glyphs(const TextCodec& codec, const std::string& narrow) {
    std::vector<Glyph> glyphs;
    for (std::size_t i = 0; i < narrow.size();) {
        const std::size_t n = codec.CharacterLength(narrow, i);
        std::string utf8 = codec.ToUtf8(std::string_view(narrow).substr(i, n));
        const int cells = std::max(1, DisplayWidth(utf8));
        glyphs.push_back(Glyph{i, std::move(utf8), cells});
        i += n;
    }
    return glyphs;
}

std::size_t GlyphAt(const std::vector<Glyph>& glyphs, std::size_t offset) {
    std::size_t index = 0;
    while (index < glyphs.size() && glyphs[index].offset < offset) ++index;
    return index;
}

}  // namespace

void EditField::SetText(std::string_view narrow) {
    text_ = std::string(narrow);
    caret_ = 0;
    scroll_ = 0;
    selectAll_ = false;
}

void EditField::SetLimit(int maxChars) { limit_ = std::max(0, maxChars); }

void EditField::Focus() {
    selectAll_ = !text_.empty();
    caret_ = text_.size();
}

bool EditField::HandleKey(const Key& key) {
    const std::vector<Glyph> glyphs = Glyphs(*codec_, text_);
    const std::size_t index = GlyphAt(glyphs, caret_);
    auto offsetOf = [&](std::size_t i) {
        return i < glyphs.size() ? glyphs[i].offset : text_.size();
    };
    const bool selection = selectAll_ && !text_.empty();
    switch (key.kind) {
        case Key::Char:
            Insert(codec_->ToNarrow(key.text));
            return true;
        case Key::Space:
            Insert(" ");
            return true;
        case Key::Left:
            caret_ = selection ? 0 : offsetOf(index == 0 ? 0 : index - 1);
            break;
        case Key::Right:
            caret_ = selection ? text_.size() : offsetOf(std::min(index + 1, glyphs.size()));
            break;
        case Key::Home:
            caret_ = 0;
            break;
        case Key::End:
            caret_ = text_.size();
            break;
        case Key::Backspace:
        case Key::Delete:
            if (selection) {
                text_.clear();
                caret_ = 0;
            } else if (key.kind == Key::Backspace && index > 0) {
                const std::size_t from = offsetOf(index - 1);
                text_.erase(from, caret_ - from);
                caret_ = from;
            } else if (key.kind == Key::Delete && index < glyphs.size()) {
                text_.erase(caret_, offsetOf(index + 1) - caret_);
            }
            break;
        default:
            return false;
    }
    selectAll_ = false;
    return true;
}

void EditField::Insert(const std::string& narrow) {
    if (narrow.empty()) return;
    if (selectAll_) {
        text_.clear();
        caret_ = 0;
        selectAll_ = false;
    }
    // Typing stops at the field's limit, as in the window.
    if (limit_ > 0 && text_.size() + narrow.size() > static_cast<std::size_t>(limit_)) return;
    text_.insert(caret_, narrow);
    caret_ += narrow.size();
}

void EditField::Draw(Screen& screen, int row, int column, int width, bool focused) {
    screen.Fill(Rect{row, column, 1, width}, Look::Field);
    const std::vector<Glyph> glyphs = Glyphs(*codec_, text_);
    if (focused) {
        // Scroll sideways so that the caret stays in view.
        const std::size_t caret = GlyphAt(glyphs, caret_);
        scroll_ = std::min(scroll_, caret);
        auto cellsFrom = [&](std::size_t from) {
            int cells = 1;  // the caret's own cell
            for (std::size_t i = from; i < caret && i < glyphs.size(); ++i)
                cells += glyphs[i].cells;
            return cells;
        };
        while (scroll_ < caret && cellsFrom(scroll_) > width) ++scroll_;
    }
    const Look look = focused && selectAll_ ? Look::Selected : Look::Field;
    int used = 0;
    for (std::size_t i = std::min(scroll_, glyphs.size()); i < glyphs.size(); ++i) {
        if (used + glyphs[i].cells > width) break;
        screen.Put(row, column + used, glyphs[i].utf8, look, glyphs[i].cells);
        used += glyphs[i].cells;
    }
}

int EditField::CaretColumn(int width) const {
    const std::vector<Glyph> glyphs = Glyphs(*codec_, text_);
    const std::size_t caret = GlyphAt(glyphs, caret_);
    int cells = 0;
    for (std::size_t i = std::min(scroll_, glyphs.size()); i < caret; ++i) cells += glyphs[i].cells;
    return std::min(cells, width - 1);
}

}  // namespace vx::terminal
