#include "platform/terminal/screen.h"

#include <curses.h>
#include <fcntl.h>
#include <signal.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <exception>

#include "platform/host/descriptors.h"
#include "platform/text/utf8.h"

// <term.h> defines these as macros for its capability table.
#undef lines
#undef columns

namespace vx::terminal {

namespace {

using host::WriteAll;

// What puts the terminal back in the modes the shell left it in, prepared
// while curses runs so that a signal handler needs only write() and
// tcsetattr(), both safe there.
struct Restore {
    volatile sig_atomic_t active = 0;
    int inFd = -1;
    int outFd = -1;
    termios saved{};
    char sequence[256] = {};
    std::size_t length = 0;
    // Standard error, when it is the terminal, is held back in a file while
    // the dialogs are up (the programs the setup starts write there too) and
    // shown once the terminal is the shell's again.
    int heldErrors = -1;
    int terminalErrors = -1;
    off_t shownErrors = 0;
};
Restore g_restore;

void HoldErrors() {
    if (g_restore.heldErrors >= 0) dup2(g_restore.heldErrors, STDERR_FILENO);
}

void ShowHeldErrors() {
    if (g_restore.heldErrors < 0 || g_restore.terminalErrors < 0) return;
    dup2(g_restore.terminalErrors, STDERR_FILENO);
    static char buffer[4096];
    for (;;) {
        const ssize_t n = pread(g_restore.heldErrors, buffer, sizeof buffer, g_restore.shownErrors);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        WriteAll(STDERR_FILENO, buffer, static_cast<std::size_t>(n));
        g_restore.shownErrors += n;
    }
}

void RestoreNow() {
    if (!g_restore.active) return;
    g_restore.active = 0;
    WriteAll(g_restore.outFd, g_restore.sequence, g_restore.length);
    tcsetattr(g_restore.inFd, TCSANOW, &g_restore.saved);
    ShowHeldErrors();
}

// An unnamed file for what is written to standard error meanwhile; -1 when
// standard error is not the terminal (then nothing needs holding back).
int OpenHeldErrors() {
    if (!isatty(STDERR_FILENO)) return -1;
    const char* folder = std::getenv("TMPDIR");
    if (folder == nullptr || folder[0] == '\0') folder = "/tmp";
    int fd = open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = std::string(folder) + "/vx-errors-XXXXXX";
        fd = mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) unlink(name.c_str());
    }
    return fd;
}

// Every signal whose default action ends the process, besides the real-time ones.
constexpr int kSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT,
                            SIGBUS,  SIGFPE,  SIGUSR1,   SIGSEGV, SIGUSR2, SIGPIPE,
                            SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ, SIGVTALRM,
                            SIGPROF, SIGIO,   SIGPWR,    SIGSYS};
// What each fault signal did before us (the default, or a sanitizer's handler).
struct sigaction g_previous[NSIG];

bool IsFault(int signal) {
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE;
}

void OnSignal(int signal, siginfo_t* info, void*) {
    RestoreNow();
    // Ends the process as the signal would have without us (or curses, whose
    // own handlers would exit with status 1): by the default action, or for
    // a fault by the earlier one. A fault recurs by itself once the handler
    // returns; a signal that was sent is sent again.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, IsFault(signal) ? &g_previous[signal] : &fallback, nullptr);
    if (info == nullptr || info->si_code <= 0 || !IsFault(signal)) raise(signal);
}

void InstallRestoreHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action {};
    action.sa_sigaction = OnSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    auto install = [&](int signal) {
        // A signal the program was started (or chose) to ignore stays ignored.
        if (sigaction(signal, nullptr, &g_previous[signal]) != 0 ||
            g_previous[signal].sa_handler == SIG_IGN)
            return;
        sigaction(signal, &action, nullptr);
    };
    for (int signal : kSignals) install(signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) install(signal);
    std::atexit(RestoreNow);
    static std::terminate_handler previous = std::set_terminate([] {
        RestoreNow();
        if (previous) previous();
        std::abort();
    });
}

void AppendCapability(const char* name) {
    const char* value = tigetstr(const_cast<char*>(name));
    if (value == nullptr || value == reinterpret_cast<const char*>(-1)) return;
    const std::size_t n = std::strlen(value);
    if (g_restore.length + n >= sizeof g_restore.sequence) return;
    std::memcpy(g_restore.sequence + g_restore.length, value, n);
    g_restore.length += n;
}

enum Pair : short { kDesktop = 1, kWindow, kCaption, kField, kSelected };

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

std::unique_ptr<Screen> Screen::Open() {
    if (!isatty(STDIN_FILENO)) return nullptr;
    // Characters are read and shown in the terminal's own encoding; only the
    // character type follows the user's locale, nothing else.
    std::setlocale(LC_CTYPE, "");
    g_utf8 = MB_CUR_MAX > 1;

    FILE* out = stdout;
    if (!isatty(STDOUT_FILENO)) {
        // Output redirected: draw on the terminal the keys come from.
        const int fd = open(ttyname(STDIN_FILENO), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        out = fd >= 0 ? fdopen(fd, "w") : nullptr;
        if (out == nullptr) return nullptr;
    }
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return nullptr;
    SCREEN* session = newterm(nullptr, out, stdin);
    if (session == nullptr) return nullptr;
    const char* address = tigetstr(const_cast<char*>("cup"));
    if (address == nullptr || address == reinterpret_cast<const char*>(-1)) {
        // A terminal that cannot place the cursor cannot show a dialog.
        endwin();
        delscreen(session);
        return nullptr;
    }

    g_restore.inFd = STDIN_FILENO;
    g_restore.outFd = fileno(out);
    g_restore.saved = saved;
    g_restore.length = 0;
    if (g_restore.heldErrors < 0) {
        g_restore.heldErrors = OpenHeldErrors();
        g_restore.terminalErrors =
            g_restore.heldErrors >= 0 ? fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3) : -1;
    }
    AppendCapability("sgr0");
    AppendCapability("cnorm");
    AppendCapability("rmkx");
    AppendCapability("rmcup");

    cbreak();
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    keypad(stdscr, TRUE);
    set_escdelay(25);

    std::unique_ptr<Screen> screen(new Screen);
    if (has_colors() && start_color() == OK) {
        screen->colours_ = true;
        init_pair(kDesktop, COLOR_BLACK, COLOR_CYAN);
        init_pair(kWindow, COLOR_BLACK, COLOR_WHITE);
        init_pair(kCaption, COLOR_WHITE, COLOR_BLUE);
        init_pair(kField, COLOR_BLACK, COLOR_CYAN);
        init_pair(kSelected, COLOR_WHITE, COLOR_BLACK);
    }
    screen->active_ = true;
    g_restore.active = 1;
    HoldErrors();
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
    g_restore.active = 1;
    HoldErrors();
    // After endwin, the next refresh takes the terminal back.
    refresh();
}

void Screen::Leave() {
    if (!active_) return;
    active_ = false;
    g_restore.active = 0;
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

Key Screen::ReadKey() {
    for (;;) {
        if (!active_) Redraw();
        wint_t ch = 0;
        const int kind = get_wch(&ch);
        if (kind == ERR) {
            if (errno == EINTR) continue;
            return Key{Key::EndOfInput};
        }
        if (kind == KEY_CODE_YES) {
            switch (ch) {
                case KEY_RESIZE:
                    Redraw();
                    continue;
                case KEY_UP:
                    return Key{Key::Up};
                case KEY_DOWN:
                    return Key{Key::Down};
                case KEY_LEFT:
                    return Key{Key::Left};
                case KEY_RIGHT:
                    return Key{Key::Right};
                case KEY_HOME:
                    return Key{Key::Home};
                case KEY_END:
                    return Key{Key::End};
                case KEY_PPAGE:
                    return Key{Key::PageUp};
                case KEY_NPAGE:
                    return Key{Key::PageDown};
                case KEY_BTAB:
                    return Key{Key::BackTab};
                case KEY_ENTER:
                    return Key{Key::Enter};
                case KEY_BACKSPACE:
                    return Key{Key::Backspace};
                case KEY_DC:
                    return Key{Key::Delete};
                default:
                    return Key{Key::Other};
            }
        }
        switch (ch) {
            case 12:
                // Ctrl+L paints the whole screen again, after anything else wrote on it.
                clearok(curscr, TRUE);
                Redraw();
                continue;
            case '\t':
                return Key{Key::Tab};
            case '\r':
            case '\n':
                return Key{Key::Enter};
            case 27:
                return Key{Key::Escape};
            case 127:
            case 8:
                return Key{Key::Backspace};
            case ' ':
                return Key{Key::Space};
            default:
                break;
        }
        if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0)) return Key{Key::Other};
        return Key{Key::Char, EncodeUtf8(static_cast<char32_t>(ch))};
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
