// The Linux program's entry: the best windowing backend this session
// offers, the Windows machine stand-in, then the framework's entry.
#include <dlfcn.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/install_app.h"
#include "platform/backends.h"
#include "platform/desktop/desktop_menu.h"
#include "platform/host/host_paths.h"
#include "platform/posix/posix_system_services.h"
#include "ui/resources.h"
#include "vx_build_stamp.h"

namespace {

vx::CInstallApp theApp;

enum class Windows { Created, NoDisplay, NotLoaded };

// The windows from a plugin beside the program. The plugin stays loaded
// for the life of the process: the backend's code lives in it.
Windows LoadWindows(const char* pluginName, vx::UINT codePage,
                    std::unique_ptr<vx::WindowBackend>* backend, std::string* reason) {
    const std::string program = vx::host::RealPath("/proc/self/exe").value_or("");
    const std::string plugin = program.substr(0, program.rfind('/') + 1) + pluginName;
    void* library = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        // The loader names the plugin, or only the library it lacks.
        const char* error = dlerror();
        const std::string said = error ? error : "cannot be loaded";
        *reason = said.rfind(plugin + ":", 0) == 0 ? said : plugin + ": " + said;
        return Windows::NotLoaded;
    }
    const auto entry =
        reinterpret_cast<vx::WindowPluginEntry>(dlsym(library, vx::kWindowPluginEntry));
    if (entry == nullptr) {
        *reason = plugin + ": no " + vx::kWindowPluginEntry + " in it";
        return Windows::NotLoaded;
    }
    vx::WindowBackend* created = nullptr;
    switch (entry(VX_BUILD_STAMP, codePage, &created)) {
        case vx::kWindowPluginCreated:
            if (created == nullptr) break;
            backend->reset(created);
            return Windows::Created;
        case vx::kWindowPluginNoDisplay:
            *reason = plugin + ": no display could be opened";
            return Windows::NoDisplay;
        default:
            break;
    }
    *reason = plugin + ": from another build of this program";
    return Windows::NotLoaded;
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// The windows this session offers, tried in order: GTK on Wayland or X11,
// then FLTK on X11; VORNALUX_WINDOWS names one of them, or the text. A
// plugin passed over says nothing unless none came up; then `reasons` holds
// a line for each one tried, and `anyNotLoaded` tells whether one of them
// failed for another reason than the display.
std::unique_ptr<vx::WindowBackend> ChooseWindows(vx::UINT codePage,
                                                 std::vector<std::string>* reasons,
                                                 bool* anyNotLoaded) {
    const char* forced = std::getenv(vx::kWindowsChoiceVariable);
    const std::string choice = forced ? forced : "";
    if (!choice.empty() && choice != "gtk" && choice != "fltk" && choice != "text")
        std::fprintf(stderr, "%s=%s is none of gtk, fltk and text; choosing as usual.\n",
                     vx::kWindowsChoiceVariable, choice.c_str());
    const struct {
        const char* name;
        const char* plugin;
        bool hasDisplay;
    } plugins[] = {
        {"gtk", vx::kGtkWindowPluginName, IsSet("WAYLAND_DISPLAY") || IsSet("DISPLAY")},
        {"fltk", vx::kWindowPluginName, IsSet("DISPLAY")},
    };
    const bool automatic = choice != "gtk" && choice != "fltk" && choice != "text";
    std::unique_ptr<vx::WindowBackend> backend;
    for (const auto& p : plugins) {
        if (!automatic && choice != p.name) continue;
        if (!p.hasDisplay) continue;
        std::string reason;
        const Windows windows = LoadWindows(p.plugin, codePage, &backend, &reason);
        if (windows == Windows::Created) return backend;
        if (windows == Windows::NotLoaded) *anyNotLoaded = true;
        reasons->push_back(reason);
    }
    return nullptr;
}

}  // namespace

int main() {
    // A write past a file-size limit, or into a closed pipe, then fails like
    // a full disk and is reported, instead of ending the program silently.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    // Decided before the machine is touched: without a way to ask the user,
    // nothing may be done.
    const vx::posix::MachineOptions options;
    const auto codePage = static_cast<vx::UINT>(options.codePage);
    std::vector<std::string> reasons;
    bool anyNotLoaded = false;
    std::unique_ptr<vx::WindowBackend> backend = ChooseWindows(codePage, &reasons, &anyNotLoaded);
    if (!backend) {
        const bool terminal = isatty(STDIN_FILENO);
        const char* forced = std::getenv(vx::kWindowsChoiceVariable);
        if (forced != nullptr && std::string(forced) == "text") {
            if (!terminal)
                std::fputs(
                    "The text interface was asked for and standard input is not a "
                    "terminal; nothing was done.\n",
                    stderr);
        } else if (anyNotLoaded) {
            std::fputs(terminal ? "The window interface could not be loaded; using the text "
                                  "interface.\n"
                                : "The window interface could not be loaded and standard input "
                                  "is not a terminal; nothing was done.\n",
                       stderr);
        } else {
            std::fputs(terminal ? "No display could be opened; using the text interface.\n"
                                : "No display could be opened and standard input is not a "
                                  "terminal; nothing was done.\n",
                       stderr);
        }
        for (const std::string& reason : reasons) std::fprintf(stderr, "%s\n", reason.c_str());
        if (!terminal) return 1;
        backend = vx::CreateTerminalBackend(codePage);
        if (!backend) {
            std::fputs(
                "This terminal cannot show the text interface (check TERM); "
                "nothing was done.\n",
                stderr);
            return 1;
        }
    }
    vx::posix::PosixSystemServices sys(options);
    // Menu entries of machines deleted by hand, or of shortcuts gone, go
    // first; nothing here can stop the program.
    vx::desktop::TidyDesktopMenu(sys.machine());
    // The desktop menu follows the Start menu: after a delete there, the
    // entries whose shortcut is gone go too.
    sys.SetStartMenuDeleteHook(
        [&sys](std::string_view) { vx::desktop::WithdrawGoneShortcuts(sys.machine()); });
    vx::AfxSetResources(vx::ProgramResources());
    vx::AfxSetPlatform(backend.get(), &sys);
    return vx::AfxWinMain();
}
