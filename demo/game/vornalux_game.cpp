// The demo distribution's stand-in for the game: it says where it was started
// from and what its settings file holds, in a window when a display is
// available and on standard output always, so that a launch from the setup
// program can be seen to have happened and to have found the installed settings.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/posix_system_services.h"

#ifdef VX_GAME_WITH_FLTK
#include <cstdlib>
#include <memory>

#include "ui/resource.h"
#include "ui/resources.h"
// Last: the X headers define macros (None, Status) that clash with names above.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Text_Display.H>
#include <FL/x.H>
#endif

namespace {

constexpr const char* kSettingsFile = "vornalux.ini";

// The names of a profile list: zero-terminated entries ended by an empty one.
std::vector<std::string> SplitList(const std::vector<char>& buffer, vx::DWORD length) {
    std::vector<std::string> names;
    const std::size_t end = std::min<std::size_t>(length, buffer.size());
    for (std::size_t at = 0; at < end;) {
        const std::size_t n = strnlen(&buffer[at], end - at);
        if (n == 0) break;
        names.emplace_back(&buffer[at], n);
        at += n + 1;
    }
    return names;
}

// A section or key list, grown until the whole list fits.
std::vector<std::string> ReadList(vx::SystemServices& sys, const char* section) {
    std::vector<char> buffer(1024);
    for (;;) {
        const vx::DWORD length =
            sys.GetPrivateProfileStringA(section, nullptr, "", buffer.data(),
                                         static_cast<vx::DWORD>(buffer.size()), kSettingsFile);
        // A list that did not fit comes back as the buffer's size less two.
        if (length + 2 < buffer.size() || buffer.size() >= (1u << 20))
            return SplitList(buffer, length);
        buffer.resize(buffer.size() * 4);
    }
}

std::string ReadValue(vx::SystemServices& sys, const std::string& section, const std::string& key) {
    std::vector<char> buffer(4096);
    sys.GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                 static_cast<vx::DWORD>(buffer.size()), kSettingsFile);
    return buffer.data();
}

std::string WindowsPathOf(const vx::posix::PosixSystemServices& sys, const std::string& host) {
    return sys.machine().ToWindowsPath(host).value_or(host);
}

std::string Report(vx::posix::PosixSystemServices& sys) {
    std::string report = "Vornalux! 1.2 (the demo's stand-in for the game)\n\n";

    char module[vx::MAX_PATH] = {};
    sys.GetModuleFileNameA(module, vx::MAX_PATH);
    report += "Started from: " + std::string(module) + "\n";
    std::vector<char> cwd(4096);
    if (getcwd(cwd.data(), cwd.size()) != nullptr)
        report += "Current folder: " + WindowsPathOf(sys, cwd.data()) + "\n";
    report += "Machine: " + sys.machine().folder() + "\n";

    char windows[vx::MAX_PATH] = {};
    sys.GetWindowsDirectoryA(windows, vx::MAX_PATH);
    report += "\nSettings file " + std::string(windows) + "\\" + kSettingsFile + ":\n";
    const std::vector<std::string> sections = ReadList(sys, nullptr);
    if (sections.empty()) report += "  (missing or empty: run the setup program first)\n";
    for (const std::string& section : sections) {
        report += "  [" + section + "]\n";
        for (const std::string& key : ReadList(sys, section.c_str()))
            report += "    " + key + "=" + ReadValue(sys, section, key) + "\n";
    }
    return report;
}

#ifdef VX_GAME_WITH_FLTK
// Shows the report with the setup program's banner; false when no display opens.
bool ShowWindow(const std::string& report) {
    const char* displayName = std::getenv("DISPLAY");
    if (displayName == nullptr || *displayName == '\0') return false;
    // FLTK ends the process when it cannot open the display; ask first.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    fl_open_display(display);

    constexpr int kWidth = 520, kHeight = 480, kMargin = 10;
    Fl_Double_Window window(kWidth, kHeight, "Vornalux! 1.2");
    Fl_Box banner(kMargin, kMargin, kWidth - 2 * kMargin, 96);
    const vx::Picture* picture = vx::ProgramResources().loadImage(vx::IDB_BANNER);
    std::unique_ptr<Fl_RGB_Image> image;
    if (picture != nullptr) {
        image = std::make_unique<Fl_RGB_Image>(
            reinterpret_cast<const unsigned char*>(picture->rgb.data()), picture->width,
            picture->height, 3);
        banner.image(image.get());
    }
    Fl_Text_Buffer buffer;
    buffer.text(report.c_str());
    Fl_Text_Display text(kMargin, 116, kWidth - 2 * kMargin, kHeight - 116 - 44);
    text.buffer(&buffer);
    text.textfont(FL_COURIER);
    text.textsize(12);
    Fl_Return_Button quit(kWidth - kMargin - 90, kHeight - 34, 90, 24, "Quit");
    quit.callback([](Fl_Widget* w, void*) { w->window()->hide(); });
    window.end();
    window.show();
    Fl::run();
    text.buffer(nullptr);
    return true;
}
#endif

}  // namespace

int main() {
    vx::posix::PosixSystemServices sys;
    const std::string report = Report(sys);
    std::fputs(report.c_str(), stdout);
    std::fflush(stdout);
#ifdef VX_GAME_WITH_FLTK
    if (ShowWindow(report)) return 0;
#endif
    std::fputs("\n(no display: the game's window would show the same)\n", stdout);
    return 0;
}
