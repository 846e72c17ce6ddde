#include "platform/terminal/shell_windows.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/framework/folder_listing.h"
#include "platform/win32_names.h"

namespace vx::terminal {

namespace {

constexpr int kButtonWidth = 10;  // "[   OK   ]", as wide as the windows' 75-pixel buttons

std::string ButtonLabel(const char* label) {
    std::string text;
    for (const char* p = label; *p; ++p)
        if (*p != '&') text += *p;
    return ButtonFace(text, kButtonWidth);
}

char Mnemonic(const char* label) {
    for (const char* p = label; *p; ++p)
        if (*p == '&' && p[1]) return LowerAscii(p[1]);
    return 0;
}

int ButtonColumn(int left, int width, int count, int index) {
    const int total = count * kButtonWidth + (count - 1) * 2;
    return left + std::max(0, (width - total) / 2) + index * (kButtonWidth + 2);
}

// A row of buttons, `focus` the one Enter and Space click.
void DrawButtons(Screen& screen, int row, int left, int width,
                 std::span<const ButtonChoice> buttons, int focus) {
    const int n = static_cast<int>(buttons.size());
    for (int i = 0; i < n; ++i)
        screen.Put(row, ButtonColumn(left, width, n, i), ButtonLabel(buttons[i].label),
                   i == focus ? Look::Selected : Look::Window);
}

class ButtonWindow final : public Layer {
public:
    ButtonWindow(std::string_view text, std::string_view caption,
                 std::span<const ButtonChoice> buttons, int focus)
        : text_(text), caption_(caption), buttons_(buttons), focus_(focus) {}

    Rect Place(int rows, int columns) const override {
        const int textWidth = TextWidth(columns);
        const std::vector<std::string> lines = WrapText(text_, textWidth);
        int width = DisplayWidth(caption_) + 6;
        for (const std::string& line : lines) width = std::max(width, DisplayWidth(line) + 6);
        width = std::max<int>(width, static_cast<int>(buttons_.size()) * (kButtonWidth + 2) + 4);
        const int height = static_cast<int>(lines.size()) + 5;
        return Rect{std::max(0, (rows - height) / 2), std::max(0, (columns - width) / 2), height,
                    width};
    }

    void Draw(Screen& screen, const Rect& at) override {
        screen.Frame(at, Look::Window, caption_);
        const std::vector<std::string> lines = WrapText(text_, at.columns - 6);
        for (std::size_t i = 0; i < lines.size(); ++i)
            screen.Put(at.row + 2 + static_cast<int>(i), at.column + 3, lines[i], Look::Window,
                       at.columns - 6);
        DrawButtons(screen, at.row + at.rows - 2, at.column, at.columns, buttons_, focus_);
    }

    std::optional<std::pair<int, int>> Cursor(const Rect& at) const override {
        return std::pair{
            at.row + at.rows - 2,
            ButtonColumn(at.column, at.columns, static_cast<int>(buttons_.size()), focus_) + 1};
    }

    // The result once a key has chosen a button.
    std::optional<int> HandleKey(const Key& key, int cancelResult) {
        const int n = static_cast<int>(buttons_.size());
        switch (key.kind) {
            case Key::Tab:
            case Key::Right:
            case Key::Down:
                focus_ = (focus_ + 1) % n;
                return std::nullopt;
            case Key::BackTab:
            case Key::Left:
            case Key::Up:
                focus_ = (focus_ + n - 1) % n;
                return std::nullopt;
            case Key::Enter:
            case Key::Space:
                return buttons_[focus_].result;
            case Key::Escape:
            case Key::EndOfInput:
                return cancelResult;
            case Key::Char:
                if (key.text.size() == 1) {
                    const char typed = LowerAscii(key.text[0]);
                    for (const ButtonChoice& b : buttons_)
                        if (Mnemonic(b.label) == typed) return b.result;
                }
                return std::nullopt;
            default:
                return std::nullopt;
        }
    }

private:
    static int TextWidth(int columns) { return std::max(20, std::min(60, columns - 10)); }

    std::string text_;
    std::string caption_;
    std::span<const ButtonChoice> buttons_;
    int focus_;
};

}  // namespace

int RunButtonWindow(Screen& screen, const ButtonBox& box) {
    if (box.buttons.empty()) return box.cancelResult;
    // The focus starts on the default button (the first when none is).
    int focus = 0;
    for (std::size_t i = 0; i < box.buttons.size(); ++i)
        if (box.buttons[i].result == box.defaultResult) focus = static_cast<int>(i);
    ButtonWindow window(box.text, box.caption, box.buttons, focus);
    screen.Push(&window);
    std::optional<int> result;
    while (!result) {
        screen.Redraw();
        result = window.HandleKey(screen.ReadKey(), box.cancelResult);
    }
    screen.Pop(&window);
    return *result;
}

ProgressWindow::ProgressWindow(Screen& screen, std::string utf8Text)
    : screen_(screen), text_(std::move(utf8Text)) {}

ProgressWindow::~ProgressWindow() {
    if (shown_) screen_.Pop(this);
}

void ProgressWindow::Update(std::uint64_t done, std::uint64_t total) {
    percent_ = total > 0 ? static_cast<int>(std::min(done, total) * 100 / total) : 100;
    const ProgressPacing::Step step = pacing_.Next(done, total);
    if (step.appears) {
        screen_.Push(this);
        shown_ = true;
    }
    if (shown_ && step.draws) screen_.Redraw();
}

Rect ProgressWindow::Place(int rows, int columns) const {
    const int width = std::min(64, std::max(30, columns - 4));
    return Rect{std::max(0, (rows - 7) / 2), std::max(0, (columns - width) / 2), 7, width};
}

void ProgressWindow::Draw(Screen& screen, const Rect& at) {
    screen.Frame(at, Look::Window, "Copying...");
    const int width = at.columns - 6;
    const std::vector<std::string> lines = WrapText(text_, width);
    for (int i = 0; i < std::min<int>(2, static_cast<int>(lines.size())); ++i)
        screen.Put(at.row + 1 + i, at.column + 3, lines[i], Look::Window, width);
    const std::string number = " " + std::to_string(percent_) + "%";
    const int bar = std::max(1, width - 2 - static_cast<int>(number.size()));
    const int filled = bar * percent_ / 100;
    screen.Put(at.row + 4, at.column + 3,
               "[" + std::string(filled, '#') + std::string(bar - filled, '.') + "]" + number,
               Look::Window, width);
}

namespace {

struct Entry {
    std::string shown;  // UTF-8
    std::string path;   // the Windows path, narrow
};

// One folder level of the chooser: the folders side by side, one highlighted.
struct Level {
    std::string parent;  // the folder they are in; empty for the drives
    std::vector<Entry> entries;
    int selected = 0;
    int top = 0;  // the first one in view
};

class FolderChooser final : public Layer {
public:
    FolderChooser(SystemServices& sys, const TextCodec& codec) : sys_(sys), codec_(codec) {
        Level drives;
        for (const std::string& root : ListDrives(sys))
            drives.entries.push_back(Entry{codec_.ToUtf8(root.substr(0, 2)), root});
        levels_.push_back(std::move(drives));
    }

    Rect Place(int rows, int columns) const override {
        const int width = std::min(72, std::max(40, columns - 4));
        const int height = std::min(20, std::max(10, rows - 2));
        return Rect{std::max(0, (rows - height) / 2), std::max(0, (columns - width) / 2), height,
                    width};
    }

    void Draw(Screen& screen, const Rect& at) override {
        screen.Frame(at, Look::Window, "Browse for Folder");
        const int left = at.column + 2, width = at.columns - 4;
        const std::optional<std::string> path = SelectedPath();
        screen.Put(at.row + 1, left, "Folder: " + (path ? codec_.ToUtf8(*path) : std::string()),
                   Look::Window, width);
        const Rect list = ListArea(at);
        screen.Frame(list, Look::Window, "");
        Level& level = levels_.back();
        const int rows = list.rows - 2;
        level.top = std::clamp(level.top, std::max(0, level.selected - rows + 1),
                               std::max(0, level.selected));
        if (level.entries.empty())
            screen.Put(list.row + 1, list.column + 2, "(no folders)", Look::Window);
        for (int i = 0; i < rows && level.top + i < static_cast<int>(level.entries.size()); ++i) {
            const int index = level.top + i;
            const bool highlighted = index == level.selected;
            screen.Fill(Rect{list.row + 1 + i, list.column + 1, 1, list.columns - 2},
                        highlighted && focus_ == 0 ? Look::Selected : Look::Window);
            screen.Put(list.row + 1 + i, list.column + 2, level.entries[index].shown,
                       highlighted ? Look::Selected : Look::Window, list.columns - 4);
        }
        screen.Put(at.row + at.rows - 4, left,
                   "Right: open the folder   Left: back   Enter: OK   Esc: Cancel", Look::Window,
                   width);
        DrawButtons(screen, at.row + at.rows - 2, at.column, at.columns, kButtons, focus_ - 1);
    }

    std::optional<std::pair<int, int>> Cursor(const Rect& at) const override {
        if (focus_ > 0)
            return std::pair{at.row + at.rows - 2,
                             ButtonColumn(at.column, at.columns, 2, focus_ - 1) + 1};
        const Level& level = levels_.back();
        return std::pair{ListArea(at).row + 1 + std::max(0, level.selected - level.top),
                         ListArea(at).column + 2};
    }

    // Whether the chooser is done; `picked` then holds the answer, if any.
    bool HandleKey(const Key& key, std::optional<std::string>& picked) {
        if (const std::optional<bool> done = HandleDialogKey(key, picked)) return *done;
        if (focus_ != 0)
            MoveAmongButtons(key);
        else
            HandleListKey(key);
        return false;
    }

private:
    static constexpr ButtonChoice kButtons[] = {{"OK", 1}, {"Cancel", 0}};

    static Rect ListArea(const Rect& at) {
        return Rect{at.row + 2, at.column + 2, std::max(3, at.rows - 7), at.columns - 4};
    }

    std::optional<std::string> SelectedPath() const {
        const Level& level = levels_.back();
        if (level.selected < 0 || level.selected >= static_cast<int>(level.entries.size()))
            return std::nullopt;
        return level.entries[level.selected].path;
    }

    // The keys the whole chooser answers: Escape, Tab, Enter and Space.
    std::optional<bool> HandleDialogKey(const Key& key, std::optional<std::string>& picked) {
        switch (key.kind) {
            case Key::Escape:
            case Key::EndOfInput:
                return true;
            case Key::Tab:
                focus_ = (focus_ + 1) % 3;
                return false;
            case Key::BackTab:
                focus_ = (focus_ + 2) % 3;
                return false;
            case Key::Enter:
            case Key::Space:
                if (focus_ == 2) return true;
                if (key.kind == Key::Space && focus_ == 0) return false;
                picked = SelectedPath();
                return picked.has_value();
            default:
                return std::nullopt;
        }
    }

    // Any arrow moves the focus to the other button.
    void MoveAmongButtons(const Key& key) {
        if (key.kind == Key::Left || key.kind == Key::Up || key.kind == Key::Right ||
            key.kind == Key::Down)
            focus_ = focus_ == 1 ? 2 : 1;
    }

    void HandleListKey(const Key& key) {
        // How far each key moves the highlight; Home and End go all the way.
        static constexpr struct {
            Key::Kind kind;
            int step;
        } kMoves[] = {{Key::Up, -1},       {Key::Down, 1},           {Key::PageUp, -10},
                      {Key::PageDown, 10}, {Key::Home, INT_MIN / 2}, {Key::End, INT_MAX / 2}};
        Level& level = levels_.back();
        const int last = std::max(0, static_cast<int>(level.entries.size()) - 1);
        for (const auto& move : kMoves)
            if (move.kind == key.kind)
                level.selected = std::clamp(level.selected + move.step, 0, last);
        if (key.kind == Key::Right) Open();
        if ((key.kind == Key::Left || key.kind == Key::Backspace) && levels_.size() > 1)
            levels_.pop_back();
        if (key.kind == Key::Char && key.text.size() == 1) SelectByLetter(key.text[0]);
    }

    // A letter goes to the next folder starting with it.
    void SelectByLetter(char letter) {
        Level& level = levels_.back();
        const int count = static_cast<int>(level.entries.size());
        const char typed = LowerAscii(letter);
        for (int step = 1; step <= count; ++step) {
            const int i = (level.selected + step) % count;
            if (LowerAscii(level.entries[i].shown[0]) == typed) {
                level.selected = i;
                return;
            }
        }
    }

    // Goes down into the highlighted folder when it holds folders.
    void Open() {
        const std::optional<std::string> path = SelectedPath();
        if (!path) return;
        Level inside;
        inside.parent = *path;
        for (const std::string& name : ListSubfolders(sys_, *path))
            inside.entries.push_back(Entry{codec_.ToUtf8(name), JoinWindowsPath(*path, name)});
        if (!inside.entries.empty()) levels_.push_back(std::move(inside));
    }

    SystemServices& sys_;
    const TextCodec& codec_;
    std::vector<Level> levels_;
    int focus_ = 0;  // 0 the list, 1 OK, 2 Cancel
};

}  // namespace

std::optional<std::string> ChooseFolder(Screen& screen, SystemServices& sys,
                                        const TextCodec& codec) {
    FolderChooser chooser(sys, codec);
    screen.Push(&chooser);
    std::optional<std::string> picked;
    for (bool done = false; !done;) {
        screen.Redraw();
        done = chooser.HandleKey(screen.ReadKey(), picked);
    }
    screen.Pop(&chooser);
    return picked;
}

}  // namespace vx::terminal
