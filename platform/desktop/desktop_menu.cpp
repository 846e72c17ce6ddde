#include "platform/desktop/desktop_menu.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <utility>

#include "platform/posix/exec.h"
#include "platform/host/host_files.h"
#include "platform/win32_names.h"

namespace vx::posix {

using host::CreateHostFolders;
using host::PendingFile;
using host::ReadAll;
using host::RealPath;
using host::UniqueFd;
using host::WriteAll;

namespace {

constexpr std::string_view kPrefix = "vornalux-setup-";
constexpr std::string_view kKey = "X-Vornalux-Setup-Item";
constexpr std::string_view kFolderRecordHeader = "X-Vornalux-Setup-Folders\n";
// Far above any file of ours; a larger one is not read.
constexpr std::size_t kMaxFileBytes = 1 << 20;

// ---------------------------------------------------------------- text

// FNV-1a: short and the same on every run and machine.
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

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The string escaping of desktop-entry values: the character and the letter
// that follows the backslash for it (a space only needs it at the start).
constexpr std::pair<char, char> kValueEscapes[] = {
    {'\\', '\\'}, {'\n', 'n'}, {'\t', 't'}, {'\r', 'r'}};

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

// Text safe inside an XML comment: no "--", no control character.
std::string CommentText(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '%' || c == '-' || byte < 0x20 || byte == 0x7f) {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

bool IsReservedInExec(char c) {
    return std::string_view(" \t\n\"'\\><~|&;$*?#()`").find(c) != std::string_view::npos;
}

// The value of `key` in a desktop entry of ours; nullopt without it.
std::optional<std::string> KeyValue(std::string_view text, std::string_view key) {
    const std::string marker = "\n" + std::string(key) + "=";
    const std::size_t at = text.find(marker);
    if (at == std::string_view::npos) return std::nullopt;
    const std::size_t start = at + marker.size();
    const std::size_t end = text.find('\n', start);
    return UnescapeValue(text.substr(start, end == std::string_view::npos ? end : end - start));
}

std::optional<std::string> EntryKey(std::string_view text) { return KeyValue(text, kKey); }

std::string MenuKeyComment(const std::string& value) {
    return "<!-- " + std::string(kKey) + " " + CommentText(value) + " -->";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> MenuKey(std::string_view text) {
    const std::string marker = "<!-- " + std::string(kKey) + " ";
    const std::size_t at = text.find(marker);
    if (at == std::string_view::npos) return std::nullopt;
    const std::size_t start = at + marker.size();
    const std::size_t end = text.find(" -->", start);
    if (end == std::string_view::npos) return std::nullopt;
    std::string value;
    for (std::size_t i = start; i < end; ++i) {
        const int high = i + 2 < end ? HexDigit(text[i + 1]) : -1;
        const int low = i + 2 < end ? HexDigit(text[i + 2]) : -1;
        if (text[i] == '%' && high >= 0 && low >= 0) {
            value += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            value += text[i];
        }
    }
    return value;
}

// The machine folder and the Windows path a key names.
struct KeyParts {
    std::string machine;
    std::string item;
};

std::optional<KeyParts> SplitKey(const std::string& value) {
    const std::size_t bar = value.rfind('|');
    if (bar == std::string::npos) return std::nullopt;
    return KeyParts{value.substr(0, bar), value.substr(bar + 1)};
}

std::string ParentWindowsPath(const std::string& path) {
    const std::size_t separator = path.rfind('\\');
    return separator == std::string::npos ? path : path.substr(0, separator);
}

// ---------------------------------------------------------------- PNG

void AppendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xff);
}

std::uint32_t ReadBigEndian(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr std::size_t kAfterHeaderChunk = 8 + 8 + 13 + 4;

// The PNG with an iTXt chunk holding our key after its header chunk; nullopt
// for bytes that do not start as a PNG.
std::optional<std::string> PngWithKey(const std::string& png, const std::string& value) {
    if (png.size() < kAfterHeaderChunk || !png.starts_with(kPngSignature) ||
        png.compare(12, 4, "IHDR") != 0 || ReadBigEndian(png, 8) != 13)
        return std::nullopt;
    std::string data = std::string(kKey) + '\0' + '\0' + '\0' + '\0' + '\0' + value;
    std::string chunk;
    AppendBigEndian(chunk, static_cast<std::uint32_t>(data.size()));
    chunk += "iTXt" + data;
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data() + 4),
                           static_cast<uInt>(chunk.size() - 4));
    AppendBigEndian(chunk, static_cast<std::uint32_t>(crc));
    return png.substr(0, kAfterHeaderChunk) + chunk + png.substr(kAfterHeaderChunk);
}

std::optional<std::string> PngKey(std::string_view png) {
    if (!png.starts_with(kPngSignature)) return std::nullopt;
    const std::string keyword = std::string(kKey) + '\0';
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = ReadBigEndian(png, at);
        if (length > png.size() - at - 12) return std::nullopt;
        const std::string_view type = png.substr(at + 4, 4);
        const std::string_view data = png.substr(at + 8, length);
        if (type == "iTXt" && data.starts_with(keyword)) {
            // Keyword, compression flag and method, empty language and translated keyword.
            const std::size_t text = keyword.size() + 4;
            return text <= data.size() ? std::optional(std::string(data.substr(text)))
                                       : std::nullopt;
        }
        if (type == "IEND") return std::nullopt;
        at += 12 + length;
    }
    return std::nullopt;
}

// The machine folder the key of a file of ours names, whatever its kind.
std::optional<std::string> OwningMachine(const std::string& bytes) {
    auto value = EntryKey(bytes);
    if (!value) value = PngKey(bytes);
    if (!value) value = MenuKey(bytes);
    const auto parts = value ? SplitKey(*value) : std::nullopt;
    return parts ? std::optional(parts->machine) : std::nullopt;
}

// ---------------------------------------------------------------- folders

int OpenBase(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The folder `relative` ("a/b/c") below the open folder `base`, reached
// without following a link; created where missing when `created` is given,
// each new folder's relative path appended to it.
UniqueFd OpenBelow(int base, const std::string& relative, std::vector<std::string>* created) {
    UniqueFd current(::fcntl(base, F_DUPFD_CLOEXEC, 0));
    std::size_t start = 0;
    while (current && start < relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string name = relative.substr(start, end - start);
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(current.get(), name.c_str(), flags);
        if (next < 0 && errno == ENOENT && created) {
            if (::mkdirat(current.get(), name.c_str(), 0777) == 0) {
                // The new name outlives a power cut only once its folder is flushed.
                ::fsync(current.get());
                created->push_back(relative.substr(0, end));
            }
            next = ::openat(current.get(), name.c_str(), flags);
        }
        current.reset(next);
        start = end + 1;
    }
    return current;
}

std::vector<std::string> ListFolder(int folder) {
    std::vector<std::string> names;
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0) return names;
    DIR* stream = ::fdopendir(listed);
    if (!stream) {
        ::close(listed);
        return names;
    }
    while (const dirent* entry = ::readdir(stream))
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    ::closedir(stream);
    std::sort(names.begin(), names.end());
    return names;
}

// A regular file's bytes, never through a link; nullopt otherwise.
std::optional<std::string> ReadAt(int folder, const std::string& name) {
    const UniqueFd fd(
        ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) > kMaxFileBytes)
        return std::nullopt;
    return ReadAll(fd.get(), kMaxFileBytes);
}

bool Exists(int folder, const std::string& name) {
    struct stat st {};
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool WriteAt(int folder, const std::string& name, std::string_view bytes) {
    PendingFile file;
    return file.OpenAt(folder, name, 0644) == 0 &&
           WriteAll(file.fd(), bytes.data(), bytes.size()) && file.Commit() == 0;
}

// Removes the regular file `name` when `isOurs` says so of its bytes.
bool RemoveIfOurs(int folder, const std::string& name,
                  const std::function<bool(const std::string&)>& isOurs) {
    const auto bytes = ReadAt(folder, name);
    return bytes && isOurs(*bytes) && ::unlinkat(folder, name.c_str(), 0) == 0;
}

void TouchIconTheme(int data) {
    const UniqueFd icons = OpenBelow(data, "icons", nullptr);
    // Desktops look for new icons when the theme's folder changes.
    if (icons) ::utimensat(icons.get(), "hicolor", nullptr, AT_SYMLINK_NOFOLLOW);
}

std::string FolderRecordName(const std::string& machineHash) {
    return std::string(kPrefix) + machineHash + "-folders";
}

// Adds the folders a publication created to the machine's record of them,
// as "data/..." and "config/..." lines.
void RecordFolders(int data, const std::string& machineHash, const std::vector<std::string>& made) {
    if (made.empty()) return;
    const std::string name = FolderRecordName(machineHash);
    std::string record = ReadAt(data, name).value_or(std::string(kFolderRecordHeader));
    if (!record.starts_with(kFolderRecordHeader)) return;
    for (const std::string& folder : made)
        if (record.find("\n" + folder + "\n") == std::string::npos) record += folder + "\n";
    WriteAt(data, name, record);
}

// Removes the recorded folders that are empty now, deepest first, and drops
// them (and those already gone) from each record.
void RemoveEmptyRecordedFolders(int data, int config) {
    for (const std::string& name : ListFolder(data)) {
        if (!name.starts_with(kPrefix) || !name.ends_with("-folders")) continue;
        const auto record = ReadAt(data, name);
        if (!record || !record->starts_with(kFolderRecordHeader)) continue;
        std::vector<std::string> folders;
        std::size_t at = kFolderRecordHeader.size();
        while (at < record->size()) {
            const std::size_t end = record->find('\n', at);
            if (end == std::string::npos) break;
            if (end > at) folders.push_back(record->substr(at, end - at));
            at = end + 1;
        }
        std::sort(folders.begin(), folders.end(),
                  [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
        std::string kept(kFolderRecordHeader);
        for (const std::string& folder : folders) {
            const bool inData = folder.starts_with("data/");
            if (!inData && !folder.starts_with("config/")) continue;
            const std::string relative = folder.substr(folder.find('/') + 1);
            const std::size_t slash = relative.rfind('/');
            const UniqueFd parent =
                OpenBelow(inData ? data : config,
                          slash == std::string::npos ? "" : relative.substr(0, slash), nullptr);
            const std::string last =
                slash == std::string::npos ? relative : relative.substr(slash + 1);
            if (parent && ::unlinkat(parent.get(), last.c_str(), AT_REMOVEDIR) != 0 &&
                errno != ENOENT)
                kept += folder + "\n";
        }
        if (kept == kFolderRecordHeader)
            ::unlinkat(data, name.c_str(), 0);
        else if (kept != *record)
            WriteAt(data, name, kept);
    }
}

// Withdraws every entry of ours for which `isGone(machine, item)` holds, then
// what no entry of ours needs any more: orphaned menu files, folder files no
// menu file names, icons no entry names, and the empty folders we made.
void Withdraw(const MenuFolders& folders,
              const std::function<bool(const std::string&, const std::string&)>& isGone) {
    const UniqueFd data(OpenBase(folders.data));
    const UniqueFd config(OpenBase(folders.config));
    if (!data || !config) return;
    // A folder that is there but cannot be read (a link, say) hides what
    // refers to our other files: then nothing is taken.
    const UniqueFd applications = OpenBelow(data.get(), "applications", nullptr);
    if (!applications && errno != ENOENT) return;
    const UniqueFd merged = OpenBelow(config.get(), "menus/applications-merged", nullptr);
    if (!merged && errno != ENOENT) return;

    std::set<std::string> entries, icons;
    if (applications) {
        for (const std::string& name : ListFolder(applications.get())) {
            if (!name.starts_with(kPrefix) || !name.ends_with(".desktop")) continue;
            const auto bytes = ReadAt(applications.get(), name);
            const auto key = bytes ? EntryKey(*bytes) : std::nullopt;
            const auto parts = key ? SplitKey(*key) : std::nullopt;
            if (!parts) continue;
            if (isGone(parts->machine, parts->item) &&
                ::unlinkat(applications.get(), name.c_str(), 0) == 0)
                continue;
            entries.insert(name.substr(0, name.size() - 8));
            if (const auto icon = KeyValue(*bytes, "Icon")) icons.insert(*icon);
        }
    }
    std::string menuTexts;
    if (merged) {
        for (const std::string& name : ListFolder(merged.get())) {
            if (!name.ends_with(".menu")) continue;
            const auto bytes = ReadAt(merged.get(), name);
            if (!bytes) continue;
            const bool ours = name.starts_with(kPrefix) && MenuKey(*bytes);
            if (ours && !entries.count(name.substr(0, name.size() - 5)) &&
                ::unlinkat(merged.get(), name.c_str(), 0) == 0)
                continue;
            menuTexts += *bytes;
        }
    }
    if (const UniqueFd directories = OpenBelow(data.get(), "desktop-directories", nullptr)) {
        for (const std::string& name : ListFolder(directories.get()))
            if (name.starts_with(kPrefix) && name.ends_with(".directory") &&
                menuTexts.find("<Directory>" + XmlText(name) + "</Directory>") == std::string::npos)
                RemoveIfOurs(directories.get(), name,
                             [](const std::string& bytes) { return EntryKey(bytes).has_value(); });
    }
    if (const UniqueFd hicolor = OpenBelow(data.get(), "icons/hicolor", nullptr)) {
        bool changed = false;
        for (const std::string& size : ListFolder(hicolor.get())) {
            const UniqueFd apps = OpenBelow(hicolor.get(), size + "/apps", nullptr);
            if (!apps) continue;
            for (const std::string& name : ListFolder(apps.get()))
                if (name.starts_with(kPrefix) && name.ends_with(".png") &&
                    !icons.count(name.substr(0, name.size() - 4)))
                    changed |= RemoveIfOurs(apps.get(), name, [](const std::string& bytes) {
                        return PngKey(bytes).has_value();
                    });
        }
        if (changed) TouchIconTheme(data.get());
    }
    RemoveEmptyRecordedFolders(data.get(), config.get());
}

std::string MachineKey(const Machine& machine) {
    return RealPath(machine.folder()).value_or(machine.folder());
}

// The desktop entry of one shortcut.
struct EntryFiles {
    std::string id;  // without ".desktop"
    std::string desktop;
    std::string menu;
    std::vector<std::pair<std::string, std::string>> directories;  // name, bytes
};

std::string DirectoryFile(const std::string& name, const std::string& icon,
                          const std::string& key) {
    return "[Desktop Entry]\nType=Directory\nVersion=1.0\nName=" + EscapeValue(name) +
           "\nIcon=" + icon + "\n" + std::string(kKey) + "=" + EscapeValue(key) + "\n";
}

// One menu folder around the entry: the menu's name as Wine names it, our
// folder file, the folder's name and the Windows folder it stands for.
struct MenuLevel {
    std::string menu, directory, name, item;
};

// The menu file that nests the entry `desktopId` in `levels`. Each level
// names our folder file first and Wine's second: the last one found names the
// folder, so the Wine folder of a prefix keeps the name Wine gave it.
template <std::size_t N>
std::string MenuFileText(const MenuLevel (&levels)[N], const std::string& desktopId,
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
    for (std::size_t i = N; i > 0; --i) {
        indent.resize(indent.size() - 2);
        menu += indent + "</Menu>\n";
    }
    return menu + "</Menu>\n";
}

}  // namespace

std::optional<MenuFolders> UserMenuFolders() {
    // Relative values are invalid by the base-directory rules and ignored.
    const auto absolute = [](const char* name) -> std::string {
        const char* value = std::getenv(name);
        return value && value[0] == '/' ? value : "";
    };
    const std::string home = absolute("HOME");
    MenuFolders folders{absolute("XDG_DATA_HOME"), absolute("XDG_CONFIG_HOME")};
    if (folders.data.empty() && !home.empty()) folders.data = home + "/.local/share";
    if (folders.config.empty() && !home.empty()) folders.config = home + "/.config";
    if (folders.data.empty() || folders.config.empty()) return std::nullopt;
    return folders;
}

std::string DesktopExecLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        std::string quoted;
        const bool quote =
            argument.empty() || std::any_of(argument.begin(), argument.end(), IsReservedInExec);
        if (quote) quoted += '"';
        for (const char c : argument) {
            if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) quoted += '\\';
            quoted += c;
            if (c == '%') quoted += '%';
        }
        if (quote) quoted += '"';
        if (!line.empty()) line += ' ';
        line += quoted;
    }
    return EscapeValue(line);
}

DesktopMenu::DesktopMenu(const Machine& machine, MenuFolders folders)
    : machine_(machine),
      folders_(std::move(folders)),
      machineKey_(MachineKey(machine)),
      machineHash_(ShortHash(machineKey_)) {}

bool DesktopMenu::Publish(const MenuShortcut& shortcut, std::string& error) {
    if (const char* off = std::getenv(kNoDesktopMenuVariable); off && *off) return true;
    const auto shortcutPath = machine_.ToUtf8(shortcut.path);
    const std::string programText = machine_.ToUtf8(shortcut.program).value_or(shortcut.program);
    const auto target = machine_.Map(shortcut.program);
    if (!shortcutPath || !target || !target->exists) {
        error = "the program " + programText + " is not there";
        return false;
    }
    // Started the way the launch button starts a program of its kind.
    // Without the drive links in between, as the user would name the files.
    const std::string programHost = RealPath(target->path).value_or(target->path);
    // The long form: Wine numbers short names its own way.
    const auto longPath = machine_.ToWindowsPath(programHost);
    const auto longUtf8 = longPath ? machine_.ToUtf8(*longPath) : std::nullopt;
    std::vector<std::string> command{"env", "WINEPREFIX=" + machine_.folder()};
    if (IsWindowsProgram(programHost)) {
        const auto wine = WineLauncher();
        if (!wine || !longUtf8) {
            error = "no Wine to start " + programText + " with";
            return false;
        }
        command.insert(command.end(), {*wine, *longUtf8});
    } else {
        command.push_back(programHost);
    }
    std::string workingFolder;
    if (!shortcut.workingDirectory.empty())
        if (const auto narrow = machine_.ToNarrow(shortcut.workingDirectory))
            if (const auto mapped = machine_.Map(*narrow); mapped && mapped->exists)
                workingFolder = RealPath(mapped->path).value_or(mapped->path);

    const std::string stem = std::string(kPrefix) + machineHash_ + "-";
    const std::string id = stem + ShortHash(UpperAscii(*shortcutPath));
    const std::string icon = stem + ShortHash(programHost);
    const std::string groupPath = ParentWindowsPath(*shortcutPath);
    const std::string programsPath = ParentWindowsPath(groupPath);
    const std::string startMenuPath = ParentWindowsPath(programsPath);
    const auto key = [this](const std::string& item) { return machineKey_ + "|" + item; };
    const std::string fileName = programHost.substr(programHost.rfind('/') + 1);

    const MenuLevel levels[] = {
        {"wine-wine", stem + "wine.directory", "Wine", startMenuPath},
        {"wine-Programs", stem + "programs.directory", "Programs", programsPath},
        {"wine-Programs-" + shortcut.groupFolder,
         stem + ShortHash(UpperAscii(shortcut.groupFolder)) + ".directory", shortcut.groupFolder,
         groupPath},
    };
    const std::string menu = MenuFileText(levels, id + ".desktop", key(*shortcutPath));
    std::string desktop =
        "[Desktop Entry]\nType=Application\nVersion=1.0\nName=" + EscapeValue(shortcut.title) +
        "\nExec=" + DesktopExecLine(command) + "\n";
    if (!workingFolder.empty()) desktop += "Path=" + EscapeValue(workingFolder) + "\n";
    if (!shortcut.icons.empty()) desktop += "Icon=" + icon + "\n";
    desktop += "Categories=Game;\nStartupNotify=true\nStartupWMClass=" +
               EscapeValue(LowerAscii(fileName)) + "\nTerminal=false\n" + std::string(kKey) + "=" +
               EscapeValue(key(*shortcutPath)) + "\n";

    // Every folder we make is recorded, so that a withdrawal can take it away
    // again once it is empty; the base folders themselves are the user's.
    for (const std::string& base : {folders_.data, folders_.config})
        if (CreateHostFolders(base) != 0) {
            error = "cannot create " + base;
            return false;
        }
    const UniqueFd data(OpenBase(folders_.data));
    const UniqueFd config(OpenBase(folders_.config));
    std::vector<std::string> made;
    const auto fail = [&](const std::string& what) {
        RecordFolders(data.get(), machineHash_, made);
        error = "cannot write " + what;
        return false;
    };
    // Replaces a file of ours, or writes a new one; another's stays.
    const auto place = [&](int folder, const std::string& name, const std::string& bytes) {
        if (Exists(folder, name)) {
            // Ours, and this machine's: a file of another is never replaced.
            const auto old = ReadAt(folder, name);
            if (!old || OwningMachine(*old) != machineKey_) return false;
            if (*old == bytes) return true;
        }
        return WriteAt(folder, name, bytes);
    };
    if (!data || !config) return fail(folders_.data);

    bool iconsChanged = false;
    for (const IconPng& png : shortcut.icons) {
        const std::string size = std::to_string(png.size);
        const std::string relative = "icons/hicolor/" + size + "x" + size + "/apps";
        std::vector<std::string> created;
        const UniqueFd apps = OpenBelow(data.get(), relative, &created);
        for (const std::string& folder : created) made.push_back("data/" + folder);
        const auto marked = PngWithKey(png.png, key(longUtf8.value_or(programHost)));
        if (!apps || !marked || !place(apps.get(), icon + ".png", *marked))
            return fail(folders_.data + "/" + relative + "/" + icon + ".png");
        iconsChanged = true;
    }
    if (iconsChanged) TouchIconTheme(data.get());

    std::vector<std::string> created;
    const UniqueFd directories = OpenBelow(data.get(), "desktop-directories", &created);
    const UniqueFd applications = OpenBelow(data.get(), "applications", &created);
    for (const std::string& folder : created) made.push_back("data/" + folder);
    created.clear();
    const UniqueFd merged = OpenBelow(config.get(), "menus/applications-merged", &created);
    for (const std::string& folder : created) made.push_back("config/" + folder);
    if (!directories || !applications || !merged) return fail("the menu folders");
    for (const MenuLevel& level : levels)
        if (!place(directories.get(), level.directory,
                   DirectoryFile(level.name, "folder", key(level.item))))
            return fail(folders_.data + "/desktop-directories/" + level.directory);
    if (!place(applications.get(), id + ".desktop", desktop))
        return fail(folders_.data + "/applications/" + id + ".desktop");
    if (!place(merged.get(), id + ".menu", menu))
        return fail(folders_.config + "/menus/applications-merged/" + id + ".menu");
    RecordFolders(data.get(), machineHash_, made);
    return true;
}

void DesktopMenu::WithdrawGone() {
    Withdraw(folders_, [this](const std::string& machine, const std::string& item) {
        if (machine != machineKey_) return false;
        const auto narrow = machine_.ToNarrow(item);
        const auto mapped = narrow ? machine_.Map(*narrow) : std::nullopt;
        return !mapped || !mapped->exists;
    });
}

void WithdrawVanishedMachines(const MenuFolders& folders) {
    std::map<std::string, bool> gone;
    Withdraw(folders, [&gone](const std::string& machine, const std::string&) {
        const auto [known, added] = gone.try_emplace(machine, false);
        if (added) {
            struct stat st {};
            known->second = machine.starts_with('/') && ::stat(machine.c_str(), &st) != 0 &&
                            (errno == ENOENT || errno == ENOTDIR);
        }
        return known->second;
    });
}

void WithdrawGoneShortcuts(const Machine& machine) {
    if (const auto folders = UserMenuFolders()) DesktopMenu(machine, *folders).WithdrawGone();
}

void TidyDesktopMenu(const Machine& machine) {
    const auto folders = UserMenuFolders();
    if (!folders) return;
    WithdrawVanishedMachines(*folders);
    DesktopMenu(machine, *folders).WithdrawGone();
}

}  // namespace vx::posix
