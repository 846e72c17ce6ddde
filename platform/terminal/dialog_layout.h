// Dialog templates on a grid of character cells: a cell is 3 dialog units
// wide and 8 high, so both dialogs fit an 80 x 24 terminal with every text
// whole.
#pragma once

#include <vector>

#include "platform/framework/dialog_template.h"

namespace vx::terminal {

struct Cells {
    int row = 0, column = 0, rows = 1, columns = 1;
    int end() const { return column + columns; }
    int bottom() const { return row + rows; }
};

struct ControlCells {
    Cells cells;
    // How far a wrapping text may run down before it meets the control
    // below it or the dialog's edge.
    int maxRows = 1;
};

struct DialogLayout {
    int rows = 0, columns = 0;           // inside the frame
    std::vector<ControlCells> controls;  // in template order
};

DialogLayout LayoutDialog(const DialogTemplate& dialogTemplate);

// The cells a picture of `width` x `height` pixels covers, through the
// dialog units it takes at the windows' 6 x 13 base units.
Cells PictureCells(int row, int column, int width, int height);

}  // namespace vx::terminal
