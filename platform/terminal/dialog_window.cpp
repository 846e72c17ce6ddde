#include "platform/terminal/dialog_window.h"

#include <algorithm>

#include "platform/framework/afx.h"

namespace vx::terminal {

namespace {

bool IsTabStop(const ControlTemplate& c) {
    return TakesFocus(c.kind) && (c.style & WS_TABSTOP) != 0;
}

bool IsPushButton(ControlKind kind) {
    return kind == ControlKind::DefPushButton || kind == ControlKind::PushButton;
}

// Dark to light: the banner's bright lettering comes out as ink.
constexpr char kShades[] = " .:-=+*#%@";

}  // namespace

DialogTextWindow::DialogTextWindow(Screen& screen, const DialogTemplate& dialogTemplate,
                                   CDialog& dialog, const TextCodec& codec)
    : TemplateWindow(dialogTemplate, dialog, codec),
      screen_(screen),
      layout_(LayoutDialog(dialogTemplate)) {
    for (std::size_t i = 0; i < dialogTemplate.controls.size(); ++i) {
        const ControlTemplate& source = dialogTemplate.controls[i];
        Control& c = controls_.emplace_back(source, layout_.controls[i], codec_);
        const char* text = source.text ? source.text : "";
        if (c.isField)
            c.edit.SetText(text);
        else
            c.text = text;
        // As the dialog manager does after WM_INITDIALOG returns TRUE.
        if (focus_ == 0 && IsTabStop(source)) focus_ = source.id;
    }
}

DialogTextWindow::~DialogTextWindow() {
    if (shown_) screen_.Pop(this);
}

void DialogTextWindow::Changed() {
    // The status line shows each path while the procedures run.
    if (shown_) screen_.Redraw();
}

INT_PTR DialogTextWindow::RunModal() {
    // A dialog may end itself before it is ever shown.
    if (ended_) return result_;
    screen_.Push(this);
    // The first drawing starts with the dialog's first paint.
    dialog_.OnMessage(WM_PAINT);
    shown_ = true;
    while (!ended_) {
        screen_.Redraw();
        const Key key = screen_.ReadKey();
        if (key.kind == Key::EndOfInput) {
            // No key can come any more: Escape, and closed even if refused.
            dialog_.OnCommand(IDCANCEL);
            if (!ended_) EndModal(IDCANCEL);
            break;
        }
        HandleKey(key);
    }
    shown_ = false;
    screen_.Pop(this);
    return result_;
}

void DialogTextWindow::EndModal(INT_PTR result) {
    result_ = result;
    ended_ = true;
}

void DialogTextWindow::SetCheck(int id, UINT state) {
    Control* c = Find(id);
    if (c == nullptr || c->check == state) return;
    c->check = state;
    Changed();
}

UINT DialogTextWindow::GetCheck(int id) const {
    const Control* c = Find(id);
    return c ? c->check : BST_UNCHECKED;
}

void DialogTextWindow::SetText(int id, std::string_view text) {
    Control* c = Find(id);
    if (c == nullptr || c->Text() == text) return;
    if (c->isField)
        c->edit.SetText(text);
    else
        c->text = std::string(text);
    Changed();
}

std::string DialogTextWindow::GetText(int id) const {
    const Control* c = Find(id);
    return c ? c->Text() : std::string();
}

void DialogTextWindow::LimitText(int id, int maxChars) {
    if (Control* c = Find(id)) c->edit.SetLimit(maxChars);
}

void DialogTextWindow::SetFocus(int id) {
    if (Control* c = Find(id); c && TakesFocus(c->source->kind)) {
        FocusControl(*c);
        Changed();
    }
}

void DialogTextWindow::SetPicture(int id, const Picture& picture) {
    if (Control* c = Find(id)) {
        c->picture = picture;
        Changed();
    }
}

int DialogTextWindow::DefaultButton() const {
    for (const Control& c : controls_)
        if (c.source->kind == ControlKind::DefPushButton) return c.source->id;
    return IDOK;
}

// The push button Enter would click carries the dark frame.
bool DialogTextWindow::Framed(const Control& c) const {
    if (!IsPushButton(c.source->kind)) return false;
    const Control* focused = Find(focus_);
    if (focused && IsPushButton(focused->source->kind)) return focused == &c;
    return c.source->id == DefaultButton();
}

void DialogTextWindow::FocusControl(Control& c) {
    focus_ = c.source->id;
    // A field reached from the keyboard has its whole text selected.
    if (c.isField) c.edit.Focus();
}

void DialogTextWindow::MoveFocus(int step) {
    std::vector<Control*> stops;
    for (Control& c : controls_)
        if (IsTabStop(*c.source)) stops.push_back(&c);
    if (stops.empty()) return;
    std::size_t at = 0;
    while (at < stops.size() && stops[at]->source->id != focus_) ++at;
    const std::size_t n = stops.size();
    const std::size_t next = at == n ? 0 : (at + (step > 0 ? 1 : n - 1)) % n;
    FocusControl(*stops[next]);
}

void DialogTextWindow::HandleKey(const Key& key) {
    Control* focused = Find(focus_);
    switch (key.kind) {
        case Key::Tab:
            return MoveFocus(1);
        case Key::BackTab:
            return MoveFocus(-1);
        case Key::Escape:
            return dialog_.OnCommand(IDCANCEL);
        case Key::Enter:
            if (focused && IsPushButton(focused->source->kind))
                return dialog_.OnCommand(focused->source->id);
            return dialog_.OnCommand(DefaultButton());
        case Key::Up:
            return MoveFocus(-1);
        case Key::Down:
            return MoveFocus(1);
        default:
            break;
    }
    if (focused && focused->isField) {
        focused->edit.HandleKey(key);
        return;
    }
    switch (key.kind) {
        case Key::Left:
            return MoveFocus(-1);
        case Key::Right:
            return MoveFocus(1);
        case Key::Space:
            // Plain boxes: the click goes to the dialog, which sets the mark.
            if (focused && (IsPushButton(focused->source->kind) ||
                            focused->source->kind == ControlKind::CheckBox))
                dialog_.OnCommand(focused->source->id);
            return;
        default:
            return;
    }
}

Rect DialogTextWindow::Place(int rows, int columns) const {
    const int height = layout_.rows + 2, width = layout_.columns + 2;
    return Rect{std::max(0, (rows - height) / 2), std::max(0, (columns - width) / 2), height,
                width};
}

void DialogTextWindow::Draw(Screen& screen, const Rect& at) {
    screen.Frame(at, Look::Window, template_.caption);
    const Rect inner{at.row + 1, at.column + 1, at.rows - 2, at.columns - 2};
    for (Control& c : controls_) {
        const Cells& cells = c.layout.cells;
        const int row = inner.row + cells.row, column = inner.column + cells.column;
        const bool focused = c.source->id == focus_;
        const std::string text = codec_.ToUtf8(c.Text());
        switch (c.source->kind) {
            case ControlKind::DefPushButton:
            case ControlKind::PushButton: {
                screen.Put(row, column, ButtonFace(text, cells.columns),
                           focused     ? Look::Selected
                           : Framed(c) ? Look::Framed
                                       : Look::Window);
                break;
            }
            case ControlKind::CheckBox: {
                const char* mark = c.check == BST_CHECKED ? "[x] " : c.check == 0 ? "[ ] " : "[-] ";
                screen.Put(row, column, mark, Look::Window);
                screen.Put(row, column + 4, text, focused ? Look::Selected : Look::Window,
                           cells.columns - 4);
                break;
            }
            case ControlKind::Edit:
                c.edit.Draw(screen, row, column, cells.columns, focused);
                break;
            case ControlKind::StaticLeft:
            case ControlKind::StaticCenter: {
                const std::vector<std::string> lines = WrapText(text, cells.columns);
                const int shown = std::min<int>(static_cast<int>(lines.size()), c.layout.maxRows);
                for (int i = 0; i < shown; ++i) {
                    int indent = 0;
                    if (c.source->kind == ControlKind::StaticCenter)
                        indent = std::max(0, (cells.columns - DisplayWidth(lines[i])) / 2);
                    screen.Put(row + i, column + indent, lines[i], Look::Window,
                               cells.columns - indent);
                }
                break;
            }
            case ControlKind::Bitmap:
                DrawPicture(screen, c, inner);
                break;
        }
    }
    if (screen.rows() < at.rows || screen.columns() < at.columns)
        screen.Put(0, 0,
                   "Make the terminal at least " + std::to_string(at.columns) + " x " +
                       std::to_string(at.rows) + " to see the whole window.",
                   Look::Selected);
}

void DialogTextWindow::DrawPicture(Screen& screen, const Control& c, const Rect& inner) {
    const Picture& p = c.picture;
    if (!p.HasPixels()) return;
    const Cells cells = PictureCells(c.layout.cells.row, c.layout.cells.column, p.width, p.height);
    const int rows = std::min(cells.rows, inner.rows - cells.row);
    const int columns = std::min(cells.columns, inner.columns - cells.column);
    for (int r = 0; r < rows; ++r) {
        std::string line;
        for (int k = 0; k < columns; ++k) {
            // The average brightness of the pixels under the cell.
            const int x0 = k * p.width / cells.columns,
                      x1 = std::max(x0 + 1, (k + 1) * p.width / cells.columns);
            const int y0 = r * p.height / cells.rows,
                      y1 = std::max(y0 + 1, (r + 1) * p.height / cells.rows);
            long sum = 0, count = 0;
            for (int y = y0; y < y1 && y < p.height; ++y)
                for (int x = x0; x < x1 && x < p.width; ++x) {
                    const auto* px = reinterpret_cast<const unsigned char*>(
                        p.rgb.data() + (static_cast<std::size_t>(y) * p.width + x) * 3);
                    sum += 299 * px[0] + 587 * px[1] + 114 * px[2];
                    ++count;
                }
            const long brightness = count ? sum / count / 1000 : 255;  // 0..255
            const int shade = static_cast<int>(brightness * (sizeof kShades - 2) / 255);
            line += kShades[shade];
        }
        screen.Put(inner.row + cells.row + r, inner.column + cells.column, line, Look::Window);
    }
}

std::optional<std::pair<int, int>> DialogTextWindow::Cursor(const Rect& at) const {
    const Control* c = Find(focus_);
    if (c == nullptr) return std::nullopt;
    const int row = at.row + 1 + c->layout.cells.row;
    const int column = at.column + 1 + c->layout.cells.column;
    switch (c->source->kind) {
        case ControlKind::CheckBox:
            return std::pair{row, column + 1};
        case ControlKind::Edit:
            return std::pair{row, column + c->edit.CaretColumn(c->layout.cells.columns)};
        default:
            return std::pair{row, column + 1};
    }
}

}  // namespace vx::terminal
