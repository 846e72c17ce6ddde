// An edit control drawn in character cells: its narrow text, the caret,
// the sideways scroll and the whole-text selection, edited from the
// keyboard as the Windows edit control is.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/terminal/screen.h"
#include "platform/text/text_codec.h"

namespace vx::terminal {

class EditField {
public:
    explicit EditField(const TextCodec& codec) : codec_(&codec) {}

    const std::string& text() const { return text_; }
    // As SetWindowText leaves an edit control: caret and view at the start.
    void SetText(std::string_view narrow);
    // The longest text typing makes (0: no limit).
    void SetLimit(int maxChars);
    // Reached from the keyboard: the whole text selected, the caret at its end.
    void Focus();
    // A key for the field; false when the field has no use for it.
    bool HandleKey(const Key& key);

    // Draws the field in `width` cells at `row`, `column`; a focused field
    // scrolls so that the caret stays in view.
    void Draw(Screen& screen, int row, int column, int width, bool focused);
    // The caret's cell from the field's first one, within `width` cells.
    int CaretColumn(int width) const;

private:
    void Insert(const std::string& narrow);

    const TextCodec* codec_;
    std::string text_;  // narrow, in the machine's code page
    int limit_ = 0;
    // The caret as a byte offset, the first character shown, and whether
    // the whole text is selected.
    std::size_t caret_ = 0;
    std::size_t scroll_ = 0;
    bool selectAll_ = false;
};

}  // namespace vx::terminal
