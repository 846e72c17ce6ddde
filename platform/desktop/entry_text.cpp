#include "platform/desktop/entry_text.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/desktop/item_key.h"

namespace vx::desktop {

namespace {

// The string escaping of desktop-entry values: the character and the letter
// that follows the backslash for it (a space only needs it at the start).
constexpr std::pair<char, char> kValueEscapes[] = {
    {'\\', '\\'}, {'\n', 'n'}, {'\t', 't'}, {'\r', 'r'}};

bool IsReservedInExec(char c) {
    return std::string_view(" \t\n\"'\\><~|&;$*?#()`").find(c) != std::string_view::npos;
}

std::string ExecArgument(const std::string& argument) {
    const bool quote =
        argument.empty() || std::any_of(argument.begin(), argument.end(), IsReservedInExec);
    std::string quoted = quote ? "\"" : "";
    for (const char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) quoted += '\\';
        quoted += c;
        if (c == '%') quoted += '%';
    }
    return quote ? quoted + '"' : quoted;
}

}  // namespace

std::string ShortHash(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex(8, '0');
    for (int i = 7; i >= 0; --i, hash >>= 4) hex[static_cast<std::size_t>(i)] = kDigits[hash & 15];
    return hex;
}

std::string EscapeValue(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto escape = std::find_if(std::begin(kValueEscapes), std::end(kValueEscapes),
                                         [&](const auto& pair) { return pair.first == text[i]; });
        if (escape != std::end(kValueEscapes))
            out += {'\\', escape->second};
        else
            out += i == 0 && text[i] == ' ' ? std::string("\\s") : std::string(1, text[i]);
    }
    return out;
}

std::string UnescapeValue(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char code = text[++i];
        const auto escape = std::find_if(std::begin(kValueEscapes), std::end(kValueEscapes),
                                         [&](const auto& pair) { return pair.second == code; });
        out += escape != std::end(kValueEscapes) ? escape->first : code == 's' ? ' ' : code;
    }
    return out;
}

std::string XmlText(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string DesktopExecLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += ' ';
        line += ExecArgument(argument);
    }
    return EscapeValue(line);
}

std::string ApplicationEntryText(const ApplicationEntry& entry) {
    std::string text =
        "[Desktop Entry]\nType=Application\nVersion=1.0\nName=" + EscapeValue(entry.name) +
        "\nExec=" + DesktopExecLine(entry.command) + "\n";
    if (!entry.workingFolder.empty()) text += "Path=" + EscapeValue(entry.workingFolder) + "\n";
    if (!entry.icon.empty()) text += "Icon=" + entry.icon + "\n";
    return text + "Categories=Game;\nStartupNotify=true\nStartupWMClass=" +
           EscapeValue(entry.windowClass) + "\nTerminal=false\n" + std::string(kKey) + "=" +
           EscapeValue(entry.key) + "\n";
}

std::string DirectoryFile(const std::string& name, const std::string& icon,
                          const std::string& key) {
    return "[Desktop Entry]\nType=Directory\nVersion=1.0\nName=" + EscapeValue(name) +
           "\nIcon=" + icon + "\n" + std::string(kKey) + "=" + EscapeValue(key) + "\n";
}

// Each level names our folder file first and Wine's second: the last one
// found names the folder, so the Wine folder of a prefix keeps the name Wine
// gave it.
std::string MenuFileText(const std::vector<MenuLevel>& levels, const std::string& desktopId,
                         const std::string& key) {
    std::string menu =
        "<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
        "\"http://www.freedesktop.org/standards/menu-spec/menu-1.0.dtd\">\n" +
        MenuKeyComment(key) + "\n<Menu>\n  <Name>Applications</Name>\n";
    std::string indent = "  ";
    for (const MenuLevel& level : levels) {
        menu += indent + "<Menu>\n" + indent + "  <Name>" + XmlText(level.menu) + "</Name>\n" +
                indent + "  <Directory>" + XmlText(level.directory) + "</Directory>\n" + indent +
                "  <Directory>" + XmlText(level.menu) + ".directory</Directory>\n";
        indent += "  ";
    }
    menu += indent + "<Include>\n" + indent + "  <Filename>" + XmlText(desktopId) +
            "</Filename>\n" + indent + "</Include>\n";
    for (std::size_t i = levels.size(); i > 0; --i) {
        indent.resize(indent.size() - 2);
        menu += indent + "</Menu>\n";
    }
    return menu + "</Menu>\n";
}

std::optional<std::string> KeyValue(std::string_view text, std::string_view key) {
    const std::string marker = "\n" + std::string(key) + "=";
    const std::size_t at = text.find(marker);
    if (at == std::string_view::npos) return std::nullopt;
    const std::size_t start = at + marker.size();
    const std::size_t end = text.find('\n', start);
    return UnescapeValue(text.substr(start, end == std::string_view::npos ? end : end - start));
}

}  // namespace vx::desktop
