// The terminal as the text dialogs draw on it: one curses session, the
// windows stacked in the order they opened (the top one takes the keys),
// and the guarantee that the terminal is given back in its own modes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/terminal/cells.h"

namespace vx::terminal {

// A key press as the dialogs see it.
struct Key {
    enum Kind {
        Char,  // `text` holds the character, UTF-8
        Tab,
        BackTab,
        Enter,
        Escape,
        Space,
        Up,
        Down,
        Left,
        Right,
        Home,
        End,
        PageUp,
        PageDown,
        Backspace,
        Delete,
        Resize,
        Other,
        EndOfInput,  // the terminal gives no more keys
    };
    Key() = default;
    Key(Kind k, std::string t = {}) : kind(k), text(std::move(t)) {}

    Kind kind = Other;
    std::string text;
};

// How a cell looks.
enum class Look {
    Desktop,  // behind every window
    Window,
    Caption,
    Field,
    Selected,  // the focus, a selection, the chooser's highlighted line
    Framed,    // the push button Enter clicks
};

struct Rect {
    int row = 0, column = 0, rows = 0, columns = 0;
};

class Screen;

// One window on the screen.
class Layer {
public:
    virtual ~Layer() = default;
    // Its cells on a screen of `rows` x `columns`.
    virtual Rect Place(int rows, int columns) const = 0;
    virtual void Draw(Screen& screen, const Rect& at) = 0;
    // Where the terminal's cursor stands while this window is on top
    // (screen row and column); nothing hides it.
    virtual std::optional<std::pair<int, int>> Cursor(const Rect& at) const { return std::nullopt; }
};

class Screen {
public:
    // Takes the terminal on standard input; nothing when it cannot show a
    // full-screen interface (no terminal, or one without cursor addressing).
    static std::unique_ptr<Screen> Open();
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    // A window opens on top (drawn at the next Redraw), or closes. The
    // terminal is in the dialogs' mode only while a window is open.
    void Push(Layer* layer);
    void Pop(Layer* layer);
    // Draws every window again, bottom to top, and shows the result.
    void Redraw();
    // Waits for the next key press for the top window.
    Key ReadKey();

    int rows() const;
    int columns() const;

    // Drawing, for the windows' Draw: text is UTF-8 and is cut at
    // `width` cells (and at the screen's edge).
    void Fill(const Rect& area, Look look);
    void Put(int row, int column, std::string_view text, Look look, int width = -1);
    void Frame(const Rect& area, Look look, std::string_view caption);

private:
    Screen() = default;
    void Enter();
    void Leave();

    std::vector<Layer*> layers_;
    bool active_ = false;
    bool colours_ = false;
};

}  // namespace vx::terminal
