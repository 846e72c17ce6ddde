#include "platform/pe_files/pe_resources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vx::pe_files {

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr std::uint32_t kNameIsStringFlag = 0x80000000u;
// The loader's limit; it also bounds the work of every address mapped.
constexpr std::uint32_t kMaxSections = 96;
constexpr std::uint32_t kSectionHeaderSize = 40;

std::uint32_t Le32(const unsigned char* b) {
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

}  // namespace

// Without blocking: a FIFO in a file's place must not stall the reader; it
// is refused as not regular.
FileReader::FileReader(const std::string& path)
    : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
    struct stat st {};
    if (fd_ >= 0 && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = st.st_size;
}

FileReader::~FileReader() {
    if (fd_ >= 0) close(fd_);
}

bool FileReader::Read(std::uint64_t offset, void* out, std::size_t count) const {
    if (offset > size_ || count > size_ - offset) return false;
    auto* bytes = static_cast<char*>(out);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got =
            pread(fd_, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::optional<std::uint16_t> FileReader::U16(std::uint64_t offset) const {
    unsigned char b[2];
    if (!Read(offset, b, sizeof b)) return std::nullopt;
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

std::optional<std::uint32_t> FileReader::U32(std::uint64_t offset) const {
    unsigned char b[4];
    if (!Read(offset, b, sizeof b)) return std::nullopt;
    return Le32(b);
}

PeResources::PeResources(const FileReader& file) : file_(file) { ok_ = ReadHeaders(); }

std::optional<ResourceSpan> PeResources::Find(std::uint32_t type, std::optional<std::uint32_t> id,
                                              std::uint32_t minSize, std::uint32_t maxSize) const {
    if (!ok_) return std::nullopt;
    const auto names = FindEntry(0, type);
    if (!names || !(*names & kSubdirectoryFlag)) return std::nullopt;
    const std::uint32_t nameDirectory = *names & ~kSubdirectoryFlag;
    const auto languages = id ? FindEntry(nameDirectory, *id) : FirstEntry(nameDirectory);
    if (!languages || !(*languages & kSubdirectoryFlag)) return std::nullopt;
    const auto data = FirstEntry(*languages & ~kSubdirectoryFlag);
    if (!data || (*data & kSubdirectoryFlag)) return std::nullopt;

    const auto rva = TreeU32(*data);
    const auto size = TreeU32(std::uint64_t{*data} + 4);
    if (!rva || !size || *size < minSize || *size > maxSize || *size == 0) return std::nullopt;
    const auto offset = MapRva(*rva, *size);
    if (!offset) return std::nullopt;
    unsigned char probe[1];
    // MapRva keeps the span inside a section's raw data; the file may
    // still end before it.
    if (!file_.Read(*offset + *size - 1, probe, 1)) return std::nullopt;
    return ResourceSpan{*offset, *size};
}

bool PeResources::ReadHeaders() {
    const auto mz = file_.U16(0);
    const auto peOffset = file_.U32(0x3C);
    if (!mz || *mz != 0x5A4D || !peOffset) return false;
    const auto signature = file_.U32(*peOffset);
    if (!signature || *signature != 0x00004550) return false;
    const std::uint64_t fileHeader = std::uint64_t{*peOffset} + 4;
    const auto sectionCount = file_.U16(fileHeader + 2);
    const auto optionalSize = file_.U16(fileHeader + 16);
    if (!sectionCount || !optionalSize) return false;
    const std::uint64_t optional = fileHeader + 20;
    const auto magic = file_.U16(optional);
    if (!magic) return false;
    std::uint64_t countField = 0;
    if (*magic == kPe32Magic)
        countField = 92;
    else if (*magic == kPe32PlusMagic)
        countField = 108;
    else
        return false;
    const auto directoryCount = file_.U32(optional + countField);
    const std::uint64_t resourceEntry = countField + 4 + 8 * kResourceDirectoryIndex;
    if (!directoryCount || *directoryCount <= kResourceDirectoryIndex ||
        resourceEntry + 8 > *optionalSize)
        return false;
    const auto rva = file_.U32(optional + resourceEntry);
    const auto size = file_.U32(optional + resourceEntry + 4);
    if (!rva || !size || *rva == 0 || *size == 0) return false;
    resourceRva_ = *rva;
    resourceSize_ = *size;
    // Read once: every step through the tree maps an address through them.
    if (*sectionCount > kMaxSections) return false;
    unsigned char table[kMaxSections * kSectionHeaderSize];
    if (!file_.Read(optional + *optionalSize, table, *sectionCount * kSectionHeaderSize))
        return false;
    for (std::uint32_t i = 0; i < *sectionCount; ++i) {
        const unsigned char* h = table + i * kSectionHeaderSize;
        sections_.push_back({Le32(h + 12), Le32(h + 16), Le32(h + 20)});
    }
    return true;
}

// The file offset of `count` bytes at `rva`, all inside one section's raw data.
std::optional<std::uint64_t> PeResources::MapRva(std::uint32_t rva, std::uint32_t count) const {
    for (const Section& section : sections_) {
        if (rva < section.virtualAddress) continue;
        const std::uint64_t into = std::uint64_t{rva} - section.virtualAddress;
        if (into + count > section.rawSize) continue;
        return std::uint64_t{section.rawOffset} + into;
    }
    return std::nullopt;
}

// The file offset of `count` bytes at `offset` into the resource tree, which
// must stay inside the resource directory's declared size.
std::optional<std::uint64_t> PeResources::MapTree(std::uint64_t offset, std::uint32_t count) const {
    if (offset > resourceSize_ || resourceSize_ - offset < count) return std::nullopt;
    const std::uint64_t rva = resourceRva_ + offset;
    if (rva > 0xFFFFFFFFu) return std::nullopt;
    return MapRva(static_cast<std::uint32_t>(rva), count);
}

std::optional<std::uint32_t> PeResources::TreeU32(std::uint64_t offset) const {
    const auto at = MapTree(offset, 4);
    return at ? file_.U32(*at) : std::nullopt;
}

std::optional<std::uint16_t> PeResources::TreeU16(std::uint64_t offset) const {
    const auto at = MapTree(offset, 2);
    return at ? file_.U16(*at) : std::nullopt;
}

std::optional<PeResources::DirectoryCounts> PeResources::Counts(std::uint32_t directory) const {
    const auto named = TreeU16(std::uint64_t{directory} + 12);
    const auto ids = TreeU16(std::uint64_t{directory} + 14);
    if (!named || !ids) return std::nullopt;
    return DirectoryCounts{*named, *ids};
}

// The target of the entry of `directory` with the numeric id `id`. The id
// entries are read at once: a tree may hold 65535 of them.
std::optional<std::uint32_t> PeResources::FindEntry(std::uint32_t directory,
                                                    std::uint32_t id) const {
    const auto counts = Counts(directory);
    if (!counts || counts->ids == 0) return std::nullopt;
    const std::uint64_t first = std::uint64_t{directory} + 16 + std::uint64_t{counts->named} * 8;
    const auto at = MapTree(first, counts->ids * 8);
    std::vector<unsigned char> entries(counts->ids * 8);
    if (!at || !file_.Read(*at, entries.data(), entries.size())) return std::nullopt;
    for (std::size_t entry = 0; entry < entries.size(); entry += 8) {
        const std::uint32_t name = Le32(&entries[entry]);
        if (!(name & kNameIsStringFlag) && name == id) return Le32(&entries[entry + 4]);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> PeResources::FirstEntry(std::uint32_t directory) const {
    const auto counts = Counts(directory);
    if (!counts || counts->named + counts->ids == 0) return std::nullopt;
    return TreeU32(std::uint64_t{directory} + 20);
}

}  // namespace vx::pe_files
