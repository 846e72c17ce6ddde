#include "platform/terminal/screen.h"

#include <curses.h>
#include <fcntl.h>
#include <term.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <span>

#include "platform/terminal/restore.h"
#include "platform/text/utf8.h"

// <term.h> defines these as macros for its capability table.
#undef lines
#undef columns

namespace vx::terminal {

namespace {

enum Pair : short { kDesktop = 1, kWindow, kCaption, kField, kSelected };

// The terminal's string for the capability `name`, or nothing.
const char* Capability(const char* name) {
    const char* value = tigetstr(const_cast<char*>(name));
    if (value == nullptr || value == reinterpret_cast<const char*>(-1)) return nullptr;
    return value;
}

// Where the dialogs draw: standard output, or when that is redirected the
// terminal the keys come from; nullptr when there is none.
FILE* OpenOutput() {
    if (isatty(STDOUT_FILENO)) return stdout;
    const int fd = open(ttyname(STDIN_FILENO), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    return fd >= 0 ? fdopen(fd, "w") : nullptr;
}

// Curses' input modes for the dialogs, and what restores the shell's output modes.
void SetModes() {
    for (const char* name : {"sgr0", "cnorm", "rmkx", "rmcup"})
        if (const char* sequence = Capability(name)) AddRestoreSequence(sequence);
    cbreak();
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    keypad(stdscr, TRUE);
    set_escdelay(25);
}

bool StartColours() {
    if (!has_colors() || start_color() != OK) return false;
    init_pair(kDesktop, COLOR_BLACK, COLOR_CYAN);
    init_pair(kWindow, COLOR_BLACK, COLOR_WHITE);
    init_pair(kCaption, COLOR_WHITE, COLOR_BLUE);
    init_pair(kField, COLOR_BLACK, COLOR_CYAN);
    init_pair(kSelected, COLOR_WHITE, COLOR_BLACK);
    return true;
}

}  // namespace

std::unique_ptr<Screen> Screen::Open() {
    if (!isatty(STDIN_FILENO)) return nullptr;
    // Characters are read and shown in the terminal's own encoding; only the
    // character type follows the user's locale, nothing else.
    std::setlocale(LC_CTYPE, "");
    SetTerminalShowsUtf8(MB_CUR_MAX > 1);

    FILE* out = OpenOutput();
    if (out == nullptr) return nullptr;
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return nullptr;
    SCREEN* session = newterm(nullptr, out, stdin);
    if (session == nullptr) return nullptr;
    if (Capability("cup") == nullptr) {
        // A terminal that cannot place the cursor cannot show a dialog.
        endwin();
        delscreen(session);
        return nullptr;
    }
    PrepareRestore(STDIN_FILENO, fileno(out), saved);
    SetModes();

    std::unique_ptr<Screen> screen(new Screen);
    screen->colours_ = StartColours();
    screen->active_ = true;
    ArmRestore();
    InstallRestoreHandlers();
    return screen;
}

Screen::~Screen() {
    Leave();
    RestoreNow();
}

void Screen::Enter() {
    if (active_) return;
    active_ = true;
    ArmRestore();
    // After endwin, the next refresh takes the terminal back.
    refresh();
}

void Screen::Leave() {
    if (!active_) return;
    active_ = false;
    DisarmRestore();
    curs_set(1);
    endwin();
    ShowHeldErrors();
}

void Screen::Push(Layer* layer) { layers_.push_back(layer); }

int Screen::rows() const { return LINES; }
int Screen::columns() const { return COLS; }

void Screen::Pop(Layer* layer) {
    std::erase(layers_, layer);
    if (layers_.empty()) {
        // Back to the shell's terminal between windows, and for good at the end.
        Leave();
        return;
    }
    Redraw();
}

namespace {

attr_t Attributes(Look look, bool colours) {
    if (colours) {
        switch (look) {
            case Look::Desktop:
                return COLOR_PAIR(kDesktop);
            case Look::Window:
                return COLOR_PAIR(kWindow);
            case Look::Caption:
                return COLOR_PAIR(kCaption) | A_BOLD;
            case Look::Field:
                return COLOR_PAIR(kField);
            case Look::Selected:
                return COLOR_PAIR(kSelected) | A_BOLD;
            case Look::Framed:
                return COLOR_PAIR(kWindow) | A_BOLD;
        }
    }
    switch (look) {
        case Look::Desktop:
        case Look::Window:
            return A_NORMAL;
        case Look::Caption:
        case Look::Selected:
            return A_REVERSE;
        case Look::Field:
            return A_UNDERLINE;
        case Look::Framed:
            return A_BOLD;
    }
    return A_NORMAL;
}

}  // namespace

void Screen::Redraw() {
    if (layers_.empty()) return;
    Enter();
    Fill(Rect{0, 0, LINES, COLS}, Look::Desktop);
    Rect top;
    for (Layer* layer : layers_) {
        top = layer->Place(LINES, COLS);
        layer->Draw(*this, top);
    }
    const std::optional<std::pair<int, int>> cursor = layers_.back()->Cursor(top);
    if (cursor && cursor->first >= 0 && cursor->first < LINES && cursor->second >= 0 &&
        cursor->second < COLS) {
        curs_set(1);
        move(cursor->first, cursor->second);
    } else {
        curs_set(0);
        move(LINES - 1, COLS - 1);
    }
    refresh();
}

namespace {

struct KeyName {
    wint_t code;
    Key::Kind kind;
};

// The keys curses names, and the control characters the dialogs use.
constexpr KeyName kFunctionKeys[] = {
    {KEY_UP, Key::Up},        {KEY_DOWN, Key::Down},           {KEY_LEFT, Key::Left},
    {KEY_RIGHT, Key::Right},  {KEY_HOME, Key::Home},           {KEY_END, Key::End},
    {KEY_PPAGE, Key::PageUp}, {KEY_NPAGE, Key::PageDown},      {KEY_BTAB, Key::BackTab},
    {KEY_ENTER, Key::Enter},  {KEY_BACKSPACE, Key::Backspace}, {KEY_DC, Key::Delete},
};
constexpr KeyName kControlKeys[] = {
    {'\t', Key::Tab},      {'\r', Key::Enter},  {'\n', Key::Enter}, {27, Key::Escape},
    {127, Key::Backspace}, {8, Key::Backspace}, {' ', Key::Space},
};
constexpr wint_t kCtrlL = 12;

std::optional<Key::Kind> Lookup(std::span<const KeyName> names, wint_t code) {
    for (const KeyName& name : names)
        if (name.code == code) return name.kind;
    return std::nullopt;
}

// A typed character: the dialogs' control keys, or text.
Key CharacterKey(wint_t ch) {
    if (const std::optional<Key::Kind> kind = Lookup(kControlKeys, ch)) return Key{*kind};
    if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0)) return Key{Key::Other};
    return Key{Key::Char, EncodeUtf8(static_cast<char32_t>(ch))};
}

}  // namespace

Key Screen::ReadKey() {
    for (;;) {
        if (!active_) Redraw();
        wint_t ch = 0;
        const int kind = get_wch(&ch);
        if (kind == ERR) {
            if (errno == EINTR) continue;
            return Key{Key::EndOfInput};
        }
        if (kind == KEY_CODE_YES && ch == KEY_RESIZE) {
            Redraw();
            continue;
        }
        if (kind == KEY_CODE_YES) return Key{Lookup(kFunctionKeys, ch).value_or(Key::Other)};
        if (ch == kCtrlL) {
            // Ctrl+L paints the whole screen again, after anything else wrote on it.
            clearok(curscr, TRUE);
            Redraw();
            continue;
        }
        return CharacterKey(ch);
    }
}

void Screen::Fill(const Rect& area, Look look) {
    attrset(Attributes(look, colours_));
    const int first = std::max(0, area.column);
    const int last = std::min(COLS, area.column + area.columns);
    if (last <= first) return;
    for (int row = std::max(0, area.row); row < std::min(LINES, area.row + area.rows); ++row)
        mvhline(row, first, ' ', last - first);
}

void Screen::Put(int row, int column, std::string_view text, Look look, int width) {
    if (row < 0 || row >= LINES || column < 0 || column >= COLS) return;
    const int room = width < 0 ? COLS - column : std::min(width, COLS - column);
    if (room <= 0) return;
    attrset(Attributes(look, colours_));
    mvaddstr(row, column, FitToWidth(text, room).c_str());
}

void Screen::Frame(const Rect& area, Look look, std::string_view caption) {
    if (area.rows < 2 || area.columns < 2) return;
    Fill(area, look);
    attrset(Attributes(look, colours_));
    const int top = area.row, bottom = area.row + area.rows - 1;
    const int left = area.column, right = area.column + area.columns - 1;
    auto at = [](int row, int column, chtype ch) {
        if (row >= 0 && row < LINES && column >= 0 && column < COLS) mvaddch(row, column, ch);
    };
    for (int column = left + 1; column < right; ++column) {
        at(top, column, ACS_HLINE);
        at(bottom, column, ACS_HLINE);
    }
    for (int row = top + 1; row < bottom; ++row) {
        at(row, left, ACS_VLINE);
        at(row, right, ACS_VLINE);
    }
    at(top, left, ACS_ULCORNER);
    at(top, right, ACS_URCORNER);
    at(bottom, left, ACS_LLCORNER);
    at(bottom, right, ACS_LRCORNER);
    if (!caption.empty() && area.columns > 6) {
        const std::string title = " " + std::string(caption) + " ";
        Put(top, left + 2, title, Look::Caption, area.columns - 4);
    }
}

}  // namespace vx::terminal
