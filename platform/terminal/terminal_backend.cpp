// Dialogs drawn as text and driven by typed commands, for machines without a
// display: each dialog is printed with its controls in template order, and a
// line of input clicks a control, edits the directory field, or cancels.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/backends.h"
#include "platform/framework/afx.h"

namespace vx {

namespace {

constexpr std::size_t kTextWidth = 64;
constexpr const char* kIndent = "      ";

// Splits `text` into lines of at most `width` characters at spaces, keeping
// the line breaks it holds.
std::vector<std::string> Wrap(std::string_view text, std::size_t width) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view paragraph = text.substr(start, end - start);
        do {
            std::size_t cut = paragraph.size();
            if (cut > width) {
                cut = paragraph.rfind(' ', width);
                if (cut == std::string_view::npos || cut == 0) cut = width;
            }
            lines.emplace_back(paragraph.substr(0, cut));
            paragraph.remove_prefix(cut);
            while (!paragraph.empty() && paragraph.front() == ' ') paragraph.remove_prefix(1);
        } while (!paragraph.empty());
        start = end + 1;
    }
    return lines;
}

std::string Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

bool IsClickable(ControlKind kind) {
    return kind == ControlKind::DefPushButton || kind == ControlKind::PushButton ||
           kind == ControlKind::CheckBox;
}

class TerminalBackend;

class TerminalWindow final : public DialogWindow {
public:
    TerminalWindow(TerminalBackend& backend, const DialogTemplate& dialogTemplate, CDialog& dialog);

    INT_PTR RunModal() override;
    void EndModal(INT_PTR result) override {
        result_ = result;
        ended_ = true;
    }

    void SetCheck(int id, UINT state) override {
        if (Control* c = Find(id)) Change(c->check, state);
    }
    UINT GetCheck(int id) const override {
        const Control* c = Find(id);
        return c ? c->check : BST_UNCHECKED;
    }
    void SetText(int id, std::string_view text) override {
        if (Control* c = Find(id)) Change(c->text, std::string(text));
    }
    std::string GetText(int id) const override {
        const Control* c = Find(id);
        return c ? c->text : std::string();
    }
    void LimitText(int id, int maxChars) override {
        if (Control* c = Find(id)) c->limit = std::max(0, maxChars);
    }
    void SetFocus(int id) override {
        if (Find(id)) Change(focus_, id);
    }
    void SetPicture(int id, const Picture& picture) override {
        if (Control* c = Find(id)) {
            c->pictureWidth = picture.width;
            c->pictureHeight = picture.height;
            dirty_ = true;
        }
    }
    void SetIcon(const Picture&, bool) override {}
    // A text window is never minimised.
    bool IsIconic() const override { return false; }
    void DrawIcon(const Picture&) override {}

private:
    struct Control {
        const ControlTemplate* source;
        std::string text;
        UINT check = BST_UNCHECKED;
        int limit = 0;
        int number = 0;  // what the user types to click it; 0: not clickable
        int pictureWidth = 0;
        int pictureHeight = 0;
    };

    Control* Find(int id);
    const Control* Find(int id) const;
    template <typename T>
    void Change(T& field, const T& value) {
        if (field == value) return;
        field = value;
        dirty_ = true;
    }

    void Draw();
    void DrawControl(const Control& c);
    void PrintHelp(std::ostream& out);
    void Execute(const std::string& line);
    void EditField(std::string text);
    int DefaultButton() const;

    TerminalBackend& backend_;
    const DialogTemplate& template_;
    CDialog& dialog_;
    std::vector<Control> controls_;
    int focus_ = 0;
    bool dirty_ = true;
    bool ended_ = false;
    INT_PTR result_ = IDCANCEL;
    std::uint64_t drawnScreen_ = 0;
};

class TerminalBackend final : public WindowBackend {
public:
    TerminalBackend(std::istream& in, std::ostream& out, bool echoInput)
        : in_(in), out_(out), echoInput_(echoInput) {}

    std::unique_ptr<DialogWindow> CreateDialogWindow(const DialogTemplate& dialogTemplate,
                                                     CDialog& dialog,
                                                     DialogWindow* owner) override {
        return std::make_unique<TerminalWindow>(*this, dialogTemplate, dialog);
    }

    int MessageBox(DialogWindow*, std::string_view text, std::string_view caption, UINT) override {
        Heading(caption);
        for (const std::string& line : Wrap(text, kTextWidth)) Out() << line << '\n';
        // End of input dismisses it as OK would.
        ReadLine("[OK] Press Enter: ");
        return IDOK;
    }

    bool AskConfirmation(DialogWindow*, std::string_view text, std::string_view caption) override {
        Heading(caption);
        for (const std::string& line : Wrap(text, kTextWidth)) Out() << line << '\n';
        for (;;) {
            const std::optional<std::string> answer = ReadLine("[Y/n] ");
            if (!answer) return false;  // nobody left to say yes
            const std::string a = Trim(*answer);
            if (a.empty() || a == "y" || a == "Y" || a == "yes" || a == "Yes") return true;
            if (a == "n" || a == "N" || a == "no" || a == "No") return false;
            Out() << "Please answer y or n.\n";
        }
    }

    void BeginProgress(DialogWindow*, std::string_view text) override {
        Out() << "(Copying...) " << text << '\n';
    }
    void UpdateProgress(std::uint64_t, std::uint64_t) override {}
    void EndProgress() override {}

    std::optional<std::string> BrowseForFolder(DialogWindow*, SystemServices& sys) override {
        Heading("Browse for Folder");
        Out() << "Type a folder as a Windows path, such as C:\\Games\\Vornalux.\n"
                 "Enter alone cancels.\n";
        for (;;) {
            const std::optional<std::string> line = ReadLine("Folder: ");
            if (!line) return std::nullopt;
            std::string folder = Trim(*line);
            if (folder.empty()) return std::nullopt;
            if (folder.size() == 2 && folder[1] == ':') folder += '\\';
            // The chooser only offers folders that exist, named from their drive.
            const bool hasDrive = folder.size() >= 3 && folder[1] == ':' &&
                                  (folder[2] == '\\' || folder[2] == '/') &&
                                  std::isalpha(static_cast<unsigned char>(folder[0]));
            const DWORD attributes = hasDrive && folder.size() < MAX_PATH
                                         ? sys.GetFileAttributesA(folder.c_str())
                                         : INVALID_FILE_ATTRIBUTES;
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                return folder;
            Out() << "There is no folder '" << folder << "'.\n";
        }
    }

    // Everything another window prints goes through here, so that a dialog
    // knows to draw itself again before its next prompt.
    std::ostream& Out() {
        ++screen_;
        return out_;
    }
    // What a dialog says about its own commands, and the echo of input,
    // which leave its drawing in view.
    std::ostream& Note() { return out_; }
    std::uint64_t screen() const { return screen_; }

    std::optional<std::string> ReadLine(std::string_view prompt) {
        out_ << prompt << std::flush;
        std::string line;
        if (!std::getline(in_, line)) {
            out_ << "\n(end of input)\n";
            return std::nullopt;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Typed commands are echoed by the terminal; piped ones are not.
        if (echoInput_) out_ << line << '\n';
        return line;
    }

private:
    void Heading(std::string_view caption) { Out() << "\n-- " << caption << " --\n"; }

    std::istream& in_;
    std::ostream& out_;
    bool echoInput_;
    std::uint64_t screen_ = 1;
};

TerminalWindow::TerminalWindow(TerminalBackend& backend, const DialogTemplate& dialogTemplate,
                               CDialog& dialog)
    : backend_(backend), template_(dialogTemplate), dialog_(dialog) {
    int number = 0;
    for (const ControlTemplate& source : dialogTemplate.controls) {
        Control c{&source, source.text ? source.text : ""};
        if (IsClickable(source.kind)) c.number = ++number;
        if (focus_ == 0 && TakesFocus(source.kind)) focus_ = source.id;
        controls_.push_back(std::move(c));
    }
}

TerminalWindow::Control* TerminalWindow::Find(int id) {
    if (id == -1) return nullptr;  // the unaddressed statics
    for (Control& c : controls_)
        if (c.source->id == id) return &c;
    return nullptr;
}

const TerminalWindow::Control* TerminalWindow::Find(int id) const {
    return const_cast<TerminalWindow*>(this)->Find(id);
}

int TerminalWindow::DefaultButton() const {
    for (const Control& c : controls_)
        if (c.source->kind == ControlKind::DefPushButton) return c.source->id;
    return IDOK;
}

INT_PTR TerminalWindow::RunModal() {
    // A dialog may end itself before it is ever shown.
    if (ended_) return result_;
    dialog_.OnMessage(WM_PAINT);
    while (!ended_) {
        if (dirty_ || drawnScreen_ != backend_.screen()) Draw();
        const std::optional<std::string> line = backend_.ReadLine("> ");
        if (!line) {
            // End of input is Escape; a dialog that refuses it is closed anyway,
            // since no further command can come.
            dialog_.OnCommand(IDCANCEL);
            if (!ended_) EndModal(IDCANCEL);
            break;
        }
        Execute(*line);
    }
    return result_;
}

void TerminalWindow::Draw() {
    std::ostream& out = backend_.Out();
    const std::string rule(kTextWidth + 6, '=');
    out << '\n' << rule << '\n' << "  " << template_.caption << '\n' << rule << '\n';
    for (const Control& c : controls_) DrawControl(c);
    out << rule << '\n';
    PrintHelp(out);
    dirty_ = false;
    drawnScreen_ = backend_.screen();
}

void TerminalWindow::DrawControl(const Control& c) {
    std::ostream& out = backend_.Out();
    const bool focused = c.source->id == focus_;
    std::string lead = focused ? " >" : "  ";
    if (c.number > 0)
        lead += "[" + std::to_string(c.number) + "]";
    else if (c.source->kind == ControlKind::Edit)
        lead += "[e]";
    lead.resize(std::string(kIndent).size(), ' ');

    switch (c.source->kind) {
        case ControlKind::DefPushButton:
            out << lead << "< " << c.text << " >  (Enter)\n";
            break;
        case ControlKind::PushButton:
            out << lead << "< " << c.text << " >\n";
            break;
        case ControlKind::CheckBox: {
            const char* mark = c.check == BST_CHECKED ? "[x] " : c.check == 0 ? "[ ] " : "[-] ";
            out << lead << mark << c.text << '\n';
            break;
        }
        case ControlKind::Edit:
            out << lead << '"' << c.text << '"' << '\n';
            break;
        case ControlKind::StaticLeft:
            for (const std::string& line : Wrap(c.text, kTextWidth)) out << kIndent << line << '\n';
            break;
        case ControlKind::StaticCenter:
            for (const std::string& line : Wrap(c.text, kTextWidth)) {
                const std::size_t pad = (kTextWidth - std::min(kTextWidth, line.size())) / 2;
                out << kIndent << std::string(pad, ' ') << line << '\n';
            }
            break;
        case ControlKind::Bitmap:
            if (c.pictureWidth > 0)
                out << kIndent << "(picture, " << c.pictureWidth << " x " << c.pictureHeight
                    << ")\n";
            break;
    }
}

void TerminalWindow::PrintHelp(std::ostream& out) {
    std::string help = "Type a number to click";
    if (Find(DefaultButton())) help += ", Enter alone for \"" + Find(DefaultButton())->text + "\"";
    for (const Control& c : controls_)
        if (c.source->kind == ControlKind::Edit) {
            help += ", e TEXT to set the field";
            break;
        }
    help += ", q to cancel.";
    for (const std::string& line : Wrap(help, kTextWidth + 6)) out << line << '\n';
}

void TerminalWindow::Execute(const std::string& line) {
    const std::string command = Trim(line);
    if (command.empty()) return dialog_.OnCommand(DefaultButton());
    if (command == "q" || command == "quit" || command == "escape")
        return dialog_.OnCommand(IDCANCEL);
    if (command == "e" || command.rfind("e ", 0) == 0) {
        // The field's text as typed after "e ", spaces inside and at the end kept.
        const std::size_t at = line.find('e');
        return EditField(line.size() > at + 2 ? line.substr(at + 2) : std::string());
    }
    if (std::all_of(command.begin(), command.end(),
                    [](unsigned char ch) { return std::isdigit(ch); }) &&
        command.size() <= 4) {
        const int number = std::stoi(command);
        for (const Control& c : controls_)
            if (c.number == number) return dialog_.OnCommand(c.source->id);
    }
    backend_.Note() << "Unknown command '" << command << "'.\n";
    PrintHelp(backend_.Note());
}

void TerminalWindow::EditField(std::string text) {
    for (Control& c : controls_) {
        if (c.source->kind != ControlKind::Edit) continue;
        // As in the window, typing stops at the field's limit.
        if (c.limit > 0 && text.size() > static_cast<std::size_t>(c.limit)) {
            text.resize(static_cast<std::size_t>(c.limit));
            backend_.Note() << "(the field takes at most " << c.limit << " characters)\n";
        }
        Change(c.text, text);
        focus_ = c.source->id;
        dirty_ = true;
        return;
    }
    backend_.Note() << "This dialog has no field to edit.\n";
}

}  // namespace

std::unique_ptr<WindowBackend> CreateTerminalBackend() {
    return std::make_unique<TerminalBackend>(std::cin, std::cout, isatty(STDIN_FILENO) == 0);
}

}  // namespace vx
