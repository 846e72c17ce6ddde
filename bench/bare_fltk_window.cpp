// The yardstick for the setup program's first window: the least an FLTK
// program does to put up a window of a given size. With --plain-display it
// opens the display itself first, as the window plugin does, which spares
// FLTK's own opening (the user's locale, and with it the input method's
// compose tables).
// Usage: bare_fltk_window width height [--plain-display]
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/x.H>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    if (argc > 3 && std::strcmp(argv[3], "--plain-display") == 0) {
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr) return 1;
        fl_open_display(display);
    }
    Fl_Double_Window window(std::atoi(argv[1]), std::atoi(argv[2]), "Bare FLTK window");
    window.end();
    window.show();
    return Fl::run();
}
