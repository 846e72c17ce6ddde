// The demo distribution's stand-in for the game on Windows: it says where it
// was started from and what its settings file holds, in a message box, so
// that a launch from the setup program or its shortcut can be seen to have
// happened and to have found the installed settings.
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr const char* kSettingsFile = "vornalux.ini";
constexpr const char* kCaption = "Vornalux! 1.2";

// A section or key list (zero-terminated names ended by an empty one), grown
// until the whole list fits.
std::vector<std::string> ReadList(const char* section) {
    std::vector<char> buffer(1024);
    for (;;) {
        const DWORD length = ::GetPrivateProfileStringA(
            section, nullptr, "", buffer.data(), static_cast<DWORD>(buffer.size()), kSettingsFile);
        // A list that did not fit comes back as the buffer's size less two.
        if (length + 2 < buffer.size() || buffer.size() >= (1u << 20)) {
            std::vector<std::string> names;
            for (std::size_t at = 0; at < length && buffer[at] != '\0';) {
                names.emplace_back(&buffer[at]);
                at += names.back().size() + 1;
            }
            return names;
        }
        buffer.resize(buffer.size() * 4);
    }
}

std::string ReadValue(const std::string& section, const std::string& key) {
    std::vector<char> buffer(4096);
    ::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                               static_cast<DWORD>(buffer.size()), kSettingsFile);
    return buffer.data();
}

std::string Report() {
    std::string report = "Vornalux! 1.2 (the demo's stand-in for the game)\n\n";
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    report += "Started from: " + std::string(path) + "\n";
    if (::GetCurrentDirectoryA(MAX_PATH, path) > 0)
        report += "Current folder: " + std::string(path) + "\n";
    ::GetWindowsDirectoryA(path, MAX_PATH);
    report += "\nSettings file " + std::string(path) + "\\" + kSettingsFile + ":\n";
    const std::vector<std::string> sections = ReadList(nullptr);
    if (sections.empty()) report += "  (missing or empty: run the setup program first)\n";
    for (const std::string& section : sections) {
        report += "  [" + section + "]\n";
        for (const std::string& key : ReadList(section.c_str()))
            report += "    " + key + "=" + ReadValue(section, key) + "\n";
    }
    return report;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::MessageBoxA(nullptr, Report().c_str(), kCaption, MB_OK);
    return 0;
}
