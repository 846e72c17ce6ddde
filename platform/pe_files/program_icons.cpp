#include "platform/pe_files/program_icons.h"

#include <filesystem>

#include "platform/pe_files/pe_resources.h"
#include "platform/win32_names.h"

namespace vx::pe_files {

namespace {

namespace fs = std::filesystem;

// A stored image of 256 x 256 pixels at 32 bits with its mask is ~270 KB.
constexpr std::uint32_t kMaxImageBytes = 1u << 20;
constexpr std::uint64_t kMaxIconFileBytes = 8u << 20;
constexpr std::uint32_t kMaxGroupBytes = 6 + 14 * 0xFFFF;
constexpr std::uint32_t kGroupHeaderSize = 6;

std::optional<std::string> ReadSpan(const FileReader& file, std::uint64_t offset,
                                    std::uint32_t size) {
    std::string bytes(size, '\0');
    if (!file.Read(offset, bytes.data(), size)) return std::nullopt;
    return bytes;
}

bool ReadEntries(const std::optional<std::string>& bytes, bool group,
                 std::vector<IconEntry>& entries) {
    return bytes && ReadIconDirectory(reinterpret_cast<const unsigned char*>(bytes->data()),
                                      bytes->size(), group, entries);
}

// The first icon group of a Windows program, offered to `use`; false when
// it has none.
bool OfferIconGroup(const FileReader& file, const std::function<bool(const StoredIcon&)>& use) {
    const PeResources resources(file);
    const auto group = resources.Find(kRtGroupIcon, std::nullopt, kGroupHeaderSize, kMaxGroupBytes);
    if (!group) return false;
    StoredIcon icon;
    if (!ReadEntries(ReadSpan(file, group->offset, group->size), true, icon.entries)) return false;
    icon.load = [&](const IconEntry& entry) -> std::optional<std::string> {
        const auto image = resources.Find(kRtIcon, entry.where, 1, kMaxImageBytes);
        return image ? ReadSpan(file, image->offset, image->size) : std::nullopt;
    };
    return use(icon);
}

// The icon file beside `program` with its base name, the name's case aside;
// an exact match first.
std::optional<std::string> IconFileBeside(const std::string& program) {
    const fs::path path(program);
    const std::string wanted = path.stem().string() + ".ico";
    std::error_code ec;
    std::optional<std::string> found;
    for (fs::directory_iterator it(path.parent_path().empty() ? "." : path.parent_path(), ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name == wanted) return it->path().string();
        if (EqualsIgnoringCase(name, wanted) && (!found || it->path().string() < *found))
            found = it->path().string();
    }
    return found;
}

bool OfferIconFile(const std::string& path, const std::function<bool(const StoredIcon&)>& use) {
    const FileReader file(path);
    if (!file.ok() || file.size() > kMaxIconFileBytes) return false;
    const auto bytes = ReadSpan(file, 0, static_cast<std::uint32_t>(file.size()));
    StoredIcon icon;
    if (!ReadEntries(bytes, false, icon.entries)) return false;
    icon.load = [&](const IconEntry& entry) -> std::optional<std::string> {
        if (entry.where > bytes->size() || entry.size > bytes->size() - entry.where)
            return std::nullopt;
        return bytes->substr(entry.where, entry.size);
    };
    return use(icon);
}

}  // namespace

bool ReadProgramIcon(const std::string& program,
                     const std::function<bool(const StoredIcon&)>& use) {
    {
        const FileReader file(program);
        if (file.ok() && OfferIconGroup(file, use)) return true;
    }
    const std::optional<std::string> iconFile = IconFileBeside(program);
    return iconFile && OfferIconFile(*iconFile, use);
}

}  // namespace vx::pe_files
