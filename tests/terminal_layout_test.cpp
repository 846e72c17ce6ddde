// The dialogs on a grid of character cells: whole texts, no control over
// another, and room on an 80 x 24 terminal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/terminal/dialog_layout.h"
#include "platform/terminal/screen.h"
#include "ui/dialog_templates.h"

namespace vx::terminal {
namespace {

bool Overlap(const Cells& a, const Cells& b) {
    return a.row < b.bottom() && b.row < a.bottom() && a.column < b.end() && b.column < a.end();
}

TEST(TerminalLayoutTest, BothDialogsFitWithEveryTextWholeAndNothingOverlapping) {
    for (const DialogTemplate* t : {&InstallDialogTemplate(), &SoundCardDialogTemplate()}) {
        SCOPED_TRACE(t->caption);
        const DialogLayout layout = LayoutDialog(*t);
        ASSERT_EQ(layout.controls.size(), t->controls.size());
        EXPECT_LE(layout.columns + 2, 80);
        EXPECT_LE(layout.rows + 2, 24);
        for (std::size_t i = 0; i < t->controls.size(); ++i) {
            const ControlTemplate& c = t->controls[i];
            const Cells& cells = layout.controls[i].cells;
            SCOPED_TRACE(c.text ? c.text : "");
            EXPECT_GE(cells.row, 0);
            EXPECT_GE(cells.column, 0);
            EXPECT_LE(cells.end(), layout.columns);
            EXPECT_LE(cells.bottom(), layout.rows);
            const int length = c.text ? static_cast<int>(std::strlen(c.text)) : 0;
            if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::PushButton ||
                c.kind == ControlKind::DefPushButton) {
                EXPECT_GE(cells.columns, length + 4) << "mark or brackets and the whole text";
            }
            if (c.kind == ControlKind::StaticLeft || c.kind == ControlKind::StaticCenter) {
                const auto lines = WrapText(c.text, cells.columns);
                EXPECT_LE(static_cast<int>(lines.size()), layout.controls[i].maxRows)
                    << "the text is shown whole";
            }
            for (std::size_t j = 0; j < i; ++j)
                EXPECT_FALSE(Overlap(cells, layout.controls[j].cells))
                    << "over " << (t->controls[j].text ? t->controls[j].text : "");
            // Lower in the template is never higher on the screen.
            for (std::size_t j = 0; j < t->controls.size(); ++j) {
                if (t->controls[j].y + t->controls[j].cy <= c.y) {
                    EXPECT_LE(layout.controls[j].cells.row, cells.row);
                }
            }
        }
    }
}

TEST(TerminalLayoutTest, TheBannerFitsBetweenTheBoxesAndTheRightsNotice) {
    const DialogTemplate& t = InstallDialogTemplate();
    const DialogLayout layout = LayoutDialog(t);
    const Cells* banner = nullptr;
    for (std::size_t i = 0; i < t.controls.size(); ++i)
        if (t.controls[i].kind == ControlKind::Bitmap) banner = &layout.controls[i].cells;
    ASSERT_NE(banner, nullptr);
    // 256 x 96 pixels, as the bitmap resource holds it.
    const Cells picture = PictureCells(banner->row, banner->column, 256, 96);
    EXPECT_GT(picture.columns, 40);
    EXPECT_GT(picture.rows, 4);
    EXPECT_LE(picture.end(), layout.columns);
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        if (t.controls[i].kind == ControlKind::Bitmap) continue;
        SCOPED_TRACE(t.controls[i].text);
        EXPECT_FALSE(Overlap(picture, layout.controls[i].cells));
    }
}

TEST(TerminalLayoutTest, TextIsWrappedAtSpacesAndCutToItsCells) {
    const auto lines = WrapText("one two three\nfour fivesixseveneight", 9);
    const std::vector<std::string> expected = {"one two", "three", "four", "fivesixse", "veneight"};
    EXPECT_EQ(lines, expected);
    for (const std::string& line : lines) EXPECT_LE(DisplayWidth(line), 9);
    EXPECT_EQ(WrapText("", 5), std::vector<std::string>{""});
    EXPECT_EQ(FitToWidth("c:\\vornalux\\", 4), "c:\\v");
    // Control characters never reach the terminal.
    EXPECT_EQ(FitToWidth("a\tb\x1b[2Jc", 20), "a?b?[2Jc");
    EXPECT_EQ(DisplayWidth("a\tb"), 3);
}

}  // namespace
}  // namespace vx::terminal
