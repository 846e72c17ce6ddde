#include "platform/terminal/dialog_layout.h"

#include <algorithm>
#include <cstring>

namespace vx::terminal {

namespace {

constexpr int kUnitsPerColumn = 3;
constexpr int kUnitsPerRow = 8;

int Columns(int units) { return (units + kUnitsPerColumn / 2) / kUnitsPerColumn; }
int Rows(int units) { return (units + kUnitsPerRow / 2) / kUnitsPerRow; }

int TextLength(const ControlTemplate& c) {
    return c.text ? static_cast<int>(std::strlen(c.text)) : 0;
}

// The cells a control needs to show its text whole.
int NeededColumns(const ControlTemplate& c) {
    switch (c.kind) {
        case ControlKind::DefPushButton:
        case ControlKind::PushButton:
            return TextLength(c) + 4;  // "[ text ]"
        case ControlKind::CheckBox:
            return TextLength(c) + 4;  // "[x] text"
        default:
            return 1;
    }
}

bool SingleRow(ControlKind kind) {
    return kind == ControlKind::DefPushButton || kind == ControlKind::PushButton ||
           kind == ControlKind::CheckBox || kind == ControlKind::Edit;
}

bool Overlap(const Cells& a, const Cells& b) {
    return a.row < b.bottom() && b.row < a.bottom() && a.column < b.end() && b.column < a.end();
}

}  // namespace

DialogLayout LayoutDialog(const DialogTemplate& t) {
    DialogLayout layout;
    layout.controls.resize(t.controls.size());
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        const ControlTemplate& c = t.controls[i];
        Cells& cells = layout.controls[i].cells;
        cells.row = Rows(c.y);
        cells.column = Columns(c.x);
        cells.columns = std::max({1, Columns(c.cx), NeededColumns(c)});
        cells.rows = SingleRow(c.kind) ? 1 : std::max(1, Rows(c.cy));
    }
    // A control that grew to show its text pushes the ones beside it to the
    // right, leaving a blank cell between them.
    std::vector<std::size_t> order(t.controls.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return layout.controls[a].cells.column < layout.controls[b].cells.column;
    });
    for (std::size_t k = 0; k < order.size(); ++k) {
        Cells& cells = layout.controls[order[k]].cells;
        for (bool moved = true; moved;) {
            moved = false;
            for (std::size_t j = 0; j < k; ++j) {
                const Cells& left = layout.controls[order[j]].cells;
                Cells widened = cells;
                widened.column -= 1;
                widened.columns += 1;
                if (Overlap(left, widened)) {
                    cells.column = left.end() + 1;
                    moved = true;
                }
            }
        }
    }
    layout.columns = Columns(t.cx);
    layout.rows = Rows(t.cy);
    for (const ControlCells& c : layout.controls) {
        layout.columns = std::max(layout.columns, c.cells.end() + 1);
        layout.rows = std::max(layout.rows, c.cells.bottom());
    }
    for (ControlCells& c : layout.controls) {
        c.maxRows = layout.rows - c.cells.row;
        for (const ControlCells& other : layout.controls) {
            if (&other == &c || other.cells.row < c.cells.bottom()) continue;
            if (other.cells.column < c.cells.end() && c.cells.column < other.cells.end())
                c.maxRows = std::min(c.maxRows, other.cells.row - c.cells.row);
        }
        c.maxRows = std::max(c.maxRows, c.cells.rows);
    }
    return layout;
}

Cells PictureCells(int row, int column, int width, int height) {
    // Pixels to dialog units (4 per base-unit width, 8 per height), then cells.
    const int unitsX = MulDiv(width, 4, 6);
    const int unitsY = MulDiv(height, 8, 13);
    return Cells{row, column, std::max(1, Rows(unitsY)), std::max(1, Columns(unitsX))};
}

}  // namespace vx::terminal
