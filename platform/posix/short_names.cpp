#include "platform/posix/short_names.h"

#include <dirent.h>

#include <algorithm>
#include <memory>
#include <set>

#include "platform/win32_names.h"

namespace vx::posix {

namespace {

bool IsShortNameChar(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= 'a' && c <= 'z') return true;
    if (c >= '0' && c <= '9') return true;
    return std::string_view("!#$%&'()-@^_`{}~").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

// The characters of `part` an 8.3 name can hold: spaces and dots dropped,
// + , ; = [ ] and every non-ASCII character (one per UTF-8 sequence) as '_'.
std::string CleanPart(std::string_view part) {
    std::string clean;
    for (std::size_t i = 0; i < part.size(); ++i) {
        const auto c = static_cast<unsigned char>(part[i]);
        if (c == ' ' || c == '.') continue;
        if (c >= 0x80) {
            if ((c & 0xC0) == 0x80) continue;  // continuation byte of the one already replaced
            clean += '_';
            continue;
        }
        clean += IsShortNameChar(c) ? static_cast<char>(c) : '_';
    }
    return UpperAscii(clean);
}

struct Stem {
    std::string base;
    std::string extension;  // at most three characters, may be empty
};

// The base and extension a generated short name is built from: the extension
// is what follows the last dot, a name with nothing before its dot uses the
// rest as its base (".profile" -> PROFIL~1).
Stem StemOf(std::string_view name) {
    Stem stem;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        stem.base = CleanPart(name);
    } else {
        stem.base = CleanPart(name.substr(0, dot));
        stem.extension = CleanPart(name.substr(dot + 1));
    }
    if (stem.base.empty()) std::swap(stem.base, stem.extension);
    if (stem.base.empty()) stem.base = "_";
    if (stem.extension.size() > 3) stem.extension.resize(3);
    return stem;
}

std::string Generate(const Stem& stem, unsigned number) {
    const std::string tail = "~" + std::to_string(number);
    const std::size_t room = tail.size() < 8 ? 8 - tail.size() : 0;
    std::string name = stem.base.substr(0, std::min<std::size_t>(6, room)) + tail;
    if (!stem.extension.empty()) name += "." + stem.extension;
    return name;
}

}  // namespace

bool IsValidShortName(std::string_view name) {
    if (name == "." || name == "..") return false;
    const std::size_t dot = name.find('.');
    const std::string_view base = name.substr(0, dot);
    if (base.empty() || base.size() > 8) return false;
    if (dot != std::string_view::npos) {
        const std::string_view extension = name.substr(dot + 1);
        if (extension.empty() || extension.size() > 3) return false;
        if (extension.find('.') != std::string_view::npos) return false;
        for (const char c : extension)
            if (!IsShortNameChar(static_cast<unsigned char>(c))) return false;
    }
    for (const char c : base)
        if (!IsShortNameChar(static_cast<unsigned char>(c))) return false;
    return true;
}

std::map<std::string, std::string> ShortNamesOf(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());

    // Names that are their own short names are taken before any is generated,
    // so a generated name never shadows an existing entry.
    std::set<std::string> taken;
    std::map<std::string, std::string> shortNames;
    for (const std::string& name : names) {
        if (!IsValidShortName(name)) continue;
        taken.insert(UpperAscii(name));
        shortNames.emplace(name, name);
    }
    for (const std::string& name : names) {
        if (shortNames.count(name)) continue;
        const Stem stem = StemOf(name);
        std::string candidate;
        for (unsigned number = 1;; ++number) {
            candidate = Generate(stem, number);
            if (!taken.count(candidate)) break;
        }
        taken.insert(candidate);
        shortNames.emplace(name, std::move(candidate));
    }
    return shortNames;
}

std::map<std::string, std::string> ShortNamesOfFolder(const std::string& hostFolder) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(hostFolder.c_str()), closedir);
    if (!dir) return {};
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        names.emplace_back(name);
    }
    return ShortNamesOf(std::move(names));
}

}  // namespace vx::posix
