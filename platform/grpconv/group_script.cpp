#include "platform/grpconv/group_script.h"

#include <array>
#include <cctype>
#include <map>

#include "platform/win32_names.h"

namespace vx::grpconv {

namespace {

constexpr std::string_view kGroupsSection = "progman.groups";
constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// Section and key names compare as Windows compares them: ASCII letters
// without regard to case.
std::string Folded(std::string_view text) { return LowerAscii(text); }

struct Line {
    int number;
    std::string_view text;  // trimmed
};

struct Section {
    int headerLine = 0;
    int headers = 0;  // how often the script opens it
    std::vector<Line> lines;
};

std::string AtLine(int number, std::string_view what) {
    return "line " + std::to_string(number) + ": " + std::string(what);
}

// Splits the text at CR LF, LF or lone CR; blank lines and ';' comments are
// dropped. Lines before the first section header belong to no section.
bool SplitSections(std::string_view text, std::map<std::string, Section>& sections,
                   std::string& error) {
    Section* current = nullptr;
    int number = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find_first_of("\r\n", pos);
        const std::string_view raw =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        if (end != std::string_view::npos && text[end] == '\r' && pos < text.size() &&
            text[pos] == '\n')
            ++pos;
        ++number;

        const std::string_view line = Trim(raw);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']') {
                error = AtLine(number, "a section header without its closing bracket");
                return false;
            }
            current = &sections[Folded(Trim(line.substr(1, line.size() - 2)))];
            if (current->headers++ == 0) current->headerLine = number;
            continue;
        }
        if (current) current->lines.push_back({number, line});
    }
    return true;
}

// One field of an item line: quoted (up to the next quote, no quote inside)
// or bare (up to the next comma, blanks around it dropped).
bool ParseItemFields(std::string_view line, std::vector<std::string>& fields) {
    std::size_t pos = 0;
    for (;;) {
        while (pos < line.size() && kBlanks.find(line[pos]) != std::string_view::npos) ++pos;
        std::string_view field;
        if (pos < line.size() && line[pos] == '"') {
            const auto close = line.find('"', pos + 1);
            if (close == std::string_view::npos) return false;
            field = line.substr(pos + 1, close - pos - 1);
            pos = close + 1;
            while (pos < line.size() && kBlanks.find(line[pos]) != std::string_view::npos) ++pos;
            if (pos < line.size() && line[pos] != ',') return false;
        } else {
            const auto comma = line.find(',', pos);
            field = Trim(line.substr(
                pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos));
            if (field.find('"') != std::string_view::npos) return false;
            pos = comma == std::string_view::npos ? line.size() : comma;
        }
        for (const char c : field)
            if (static_cast<unsigned char>(c) < 0x20) return false;
        fields.emplace_back(field);
        if (pos >= line.size()) return true;
        ++pos;  // the comma; a comma at the end leaves one more, empty field
    }
}

bool ParseItem(const Line& line, GroupItem& item, std::string& error) {
    std::vector<std::string> fields;
    if (!ParseItemFields(line.text, fields)) {
        error = AtLine(line.number, "an item line that cannot be read");
        return false;
    }
    if (fields.size() < 2 || fields[0].empty() || fields[1].empty()) {
        error = AtLine(line.number, "an item line without a title and a program");
        return false;
    }
    item.title = fields[0];
    item.shortcutName = item.title + ".lnk";
    if (!IsUsableFileName(item.shortcutName)) {
        error = AtLine(line.number, "the title \"" + item.title + "\" cannot name a shortcut");
        return false;
    }
    item.program = fields[1];
    if (fields.size() > 5) item.workingDirectory = fields[5];
    return true;
}

// A [progman.groups] line: key=name, the name possibly in quotes.
bool ParseGroupEntry(const Line& line, std::string& key, std::string& name, std::string& error) {
    const auto equals = line.text.find('=');
    if (equals == std::string_view::npos) {
        error = AtLine(line.number, "a group entry without '='");
        return false;
    }
    key = Folded(Trim(line.text.substr(0, equals)));
    std::string_view value = Trim(line.text.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    name = value;
    if (key.empty() || name.empty()) {
        error = AtLine(line.number, "a group entry without a section or a name");
        return false;
    }
    return true;
}

}  // namespace

bool IsUsableFileName(std::string_view name) {
    if (name.empty() || name.size() > 255) return false;
    for (const char c : name)
        if (IsForbiddenInName(c)) return false;
    // Windows drops trailing full stops and blanks, so the name would change.
    if (name.back() == '.' || name.back() == ' ') return false;

    // Device names are reserved with any extension.
    const std::string base = Folded(Trim(name.substr(0, name.find('.'))));
    static constexpr std::array<std::string_view, 4> kDevices = {"con", "prn", "aux", "nul"};
    for (const auto device : kDevices)
        if (base == device) return false;
    if (base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) &&
        base[3] >= '1' && base[3] <= '9')
        return false;
    return true;
}

std::optional<std::vector<ProgramGroup>> ParseGroupScript(std::string_view text,
                                                          std::string& error) {
    // A file written with its terminating zero still reads.
    while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    if (text.find('\0') != std::string_view::npos) {
        error = "the script holds a zero byte";
        return std::nullopt;
    }

    std::map<std::string, Section> sections;
    if (!SplitSections(text, sections, error)) return std::nullopt;

    const auto groupsSection = sections.find(std::string(kGroupsSection));
    if (groupsSection == sections.end()) {
        error = "no [progman.groups] section";
        return std::nullopt;
    }

    std::vector<ProgramGroup> groups;
    std::map<std::string, int> keysSeen;
    for (const Line& entry : groupsSection->second.lines) {
        std::string key, name;
        if (!ParseGroupEntry(entry, key, name, error)) return std::nullopt;
        if (keysSeen[key]++ > 0) {
            error = AtLine(entry.number, "the group [" + key + "] is named twice");
            return std::nullopt;
        }

        ProgramGroup group;
        group.name = name;
        const auto end = name.find_last_not_of(". ");
        group.folderName = end == std::string::npos ? std::string() : name.substr(0, end + 1);
        if (!IsUsableFileName(group.folderName)) {
            error = AtLine(entry.number, "the group name \"" + name + "\" cannot name a folder");
            return std::nullopt;
        }

        const auto section = sections.find(key);
        if (section == sections.end() || key == kGroupsSection) {
            error = AtLine(entry.number, "the group [" + key + "] has no section");
            return std::nullopt;
        }
        // Two sections of one name leave it unclear which items are meant.
        if (section->second.headers > 1) {
            error = "the section [" + key + "] appears more than once";
            return std::nullopt;
        }
        for (const Line& line : section->second.lines) {
            GroupItem item;
            if (!ParseItem(line, item, error)) return std::nullopt;
            group.items.push_back(std::move(item));
        }
        groups.push_back(std::move(group));
    }
    if (groupsSection->second.headers > 1) {
        error = "the section [progman.groups] appears more than once";
        return std::nullopt;
    }
    return groups;
}

}  // namespace vx::grpconv
