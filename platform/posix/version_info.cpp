// The version resource of a PE file, read from the file itself: the headers,
// the section table and the resource tree are walked with every offset and
// size checked against the file, since the file may be anything at all.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string_view>

#include "platform/posix/posix_system_services.h"

namespace vx::posix {

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr std::uint32_t kNameIsStringFlag = 0x80000000u;
// A version block's length is a WORD; anything larger is not one.
constexpr std::uint32_t kMaxVersionBlock = 0xFFFF;
// Offset of the fixed file information: three WORDs, the key
// L"VS_VERSION_INFO" with its terminator (32 bytes), padded to 32 bits.
constexpr std::size_t kFixedInfoOffset = 40;
constexpr std::size_t kBlockHeaderSize = 6;

class FileReader {
public:
    explicit FileReader(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat st {};
        if (fd_ >= 0 && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = st.st_size;
    }
    ~FileReader() {
        if (fd_ >= 0) close(fd_);
    }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    bool ok() const { return fd_ >= 0 && size_ > 0; }

    // Reads exactly `count` bytes at `offset`, or fails: never past the end.
    bool Read(std::uint64_t offset, void* out, std::size_t count) const {
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
    std::optional<std::uint16_t> U16(std::uint64_t offset) const {
        unsigned char b[2];
        if (!Read(offset, b, sizeof b)) return std::nullopt;
        return static_cast<std::uint16_t>(b[0] | b[1] << 8);
    }
    std::optional<std::uint32_t> U32(std::uint64_t offset) const {
        unsigned char b[4];
        if (!Read(offset, b, sizeof b)) return std::nullopt;
        return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
               static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    }

private:
    int fd_;
    std::uint64_t size_ = 0;
};

// Where the version resource's bytes lie in the file.
struct ResourceSpan {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
};

class PeImage {
public:
    explicit PeImage(const FileReader& file) : file_(file) {}

    std::optional<ResourceSpan> FindVersionResource() {
        if (!ReadHeaders()) return std::nullopt;
        // Type RT_VERSION, then the first name and the first language.
        const auto names = FindEntry(0, kRtVersion);
        if (!names || !(*names & kSubdirectoryFlag)) return std::nullopt;
        const auto languages = FirstEntry(*names & ~kSubdirectoryFlag);
        if (!languages || !(*languages & kSubdirectoryFlag)) return std::nullopt;
        const auto data = FirstEntry(*languages & ~kSubdirectoryFlag);
        if (!data || (*data & kSubdirectoryFlag)) return std::nullopt;
        return ReadDataEntry(*data);
    }

private:
    bool ReadHeaders() {
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
        sectionTable_ = optional + *optionalSize;
        sectionCount_ = *sectionCount;
        return true;
    }

    // The file offset of `count` bytes at `rva`, all inside one section's
    // raw data.
    std::optional<std::uint64_t> MapRva(std::uint32_t rva, std::uint32_t count) const {
        for (std::uint32_t i = 0; i < sectionCount_; ++i) {
            const std::uint64_t header = sectionTable_ + std::uint64_t{i} * 40;
            const auto virtualAddress = file_.U32(header + 12);
            const auto rawSize = file_.U32(header + 16);
            const auto rawOffset = file_.U32(header + 20);
            if (!virtualAddress || !rawSize || !rawOffset) return std::nullopt;
            if (rva < *virtualAddress) continue;
            const std::uint64_t into = std::uint64_t{rva} - *virtualAddress;
            if (into + count > *rawSize) continue;
            return std::uint64_t{*rawOffset} + into;
        }
        return std::nullopt;
    }

    // The file offset of `count` bytes at `offset` into the resource tree,
    // which must stay inside the resource directory's declared size.
    std::optional<std::uint64_t> MapTree(std::uint64_t offset, std::uint32_t count) const {
        if (offset > resourceSize_ || resourceSize_ - offset < count) return std::nullopt;
        const std::uint64_t rva = resourceRva_ + offset;
        if (rva > 0xFFFFFFFFu) return std::nullopt;
        return MapRva(static_cast<std::uint32_t>(rva), count);
    }
    std::optional<std::uint32_t> TreeU32(std::uint64_t offset) const {
        const auto at = MapTree(offset, 4);
        return at ? file_.U32(*at) : std::nullopt;
    }
    std::optional<std::uint16_t> TreeU16(std::uint64_t offset) const {
        const auto at = MapTree(offset, 2);
        return at ? file_.U16(*at) : std::nullopt;
    }

    struct DirectoryCounts {
        std::uint32_t named = 0;
        std::uint32_t ids = 0;
    };
    std::optional<DirectoryCounts> Counts(std::uint32_t directory) const {
        const auto named = TreeU16(std::uint64_t{directory} + 12);
        const auto ids = TreeU16(std::uint64_t{directory} + 14);
        if (!named || !ids) return std::nullopt;
        return DirectoryCounts{*named, *ids};
    }

    // The target of the entry of `directory` with the numeric id `id`.
    std::optional<std::uint32_t> FindEntry(std::uint32_t directory, std::uint32_t id) const {
        const auto counts = Counts(directory);
        if (!counts) return std::nullopt;
        const std::uint64_t first = std::uint64_t{directory} + 16;
        for (std::uint32_t i = counts->named; i < counts->named + counts->ids; ++i) {
            const std::uint64_t entry = first + std::uint64_t{i} * 8;
            const auto name = TreeU32(entry);
            if (!name) return std::nullopt;
            if (!(*name & kNameIsStringFlag) && *name == id) return TreeU32(entry + 4);
        }
        return std::nullopt;
    }

    std::optional<std::uint32_t> FirstEntry(std::uint32_t directory) const {
        const auto counts = Counts(directory);
        if (!counts || counts->named + counts->ids == 0) return std::nullopt;
        return TreeU32(std::uint64_t{directory} + 20);
    }

    std::optional<ResourceSpan> ReadDataEntry(std::uint32_t entry) const {
        const auto rva = TreeU32(entry);
        const auto size = TreeU32(std::uint64_t{entry} + 4);
        if (!rva || !size || *size < kBlockHeaderSize || *size > kMaxVersionBlock)
            return std::nullopt;
        const auto offset = MapRva(*rva, *size);
        if (!offset) return std::nullopt;
        unsigned char probe[1];
        // MapRva keeps the span inside a section's raw data; the file may
        // still end before it.
        if (!file_.Read(*offset + *size - 1, probe, 1)) return std::nullopt;
        return ResourceSpan{*offset, *size};
    }

    const FileReader& file_;
    std::uint32_t resourceRva_ = 0;
    std::uint32_t resourceSize_ = 0;
    std::uint64_t sectionTable_ = 0;
    std::uint32_t sectionCount_ = 0;
};

std::uint16_t BlockWord(const unsigned char* block, std::size_t offset) {
    return static_cast<std::uint16_t>(block[offset] | block[offset + 1] << 8);
}

// True for the root block's names: nothing but backslashes, as Windows reads it.
bool NamesRootBlock(std::string_view subBlock) {
    return subBlock.find_first_not_of('\\') == std::string_view::npos;
}

}  // namespace

DWORD PosixSystemServices::GetFileVersionInfoSizeA(const char* path, DWORD* handle) {
    if (handle) *handle = 0;
    if (!path) return 0;
    const auto host = machine_.Map(path);
    if (!host || !host->exists) return 0;
    const FileReader file(host->path);
    if (!file.ok()) return 0;
    PeImage image(file);
    const auto span = image.FindVersionResource();
    return span ? span->size : 0;
}

BOOL PosixSystemServices::GetFileVersionInfoA(const char* path, DWORD, DWORD length, void* data) {
    // Shorter than a block header, the copy could not even say its own length.
    if (!path || !data || length < kBlockHeaderSize) return FALSE;
    const auto host = machine_.Map(path);
    if (!host || !host->exists) return FALSE;
    const FileReader file(host->path);
    if (!file.ok()) return FALSE;
    PeImage image(file);
    const auto span = image.FindVersionResource();
    if (!span) return FALSE;
    const DWORD count = span->size < length ? span->size : length;
    auto* block = static_cast<unsigned char*>(data);
    if (!file.Read(span->offset, block, count)) return FALSE;
    // A cut copy says so in its own length, so that VerQueryValueA never
    // reads past what was copied.
    if (BlockWord(block, 0) > count) {
        block[0] = static_cast<unsigned char>(count & 0xFF);
        block[1] = static_cast<unsigned char>(count >> 8);
    }
    return TRUE;
}

BOOL PosixSystemServices::VerQueryValueA(const void* block, const char* subBlock, void** buffer,
                                         UINT* length) {
    if (!block || !subBlock || !buffer || !length) return FALSE;
    // Only the root block is looked up: its fixed file information.
    if (!NamesRootBlock(subBlock)) return FALSE;
    const auto* bytes = static_cast<const unsigned char*>(block);
    const std::size_t blockLength = BlockWord(bytes, 0);
    const std::size_t valueLength = BlockWord(bytes, 2);
    if (blockLength < kFixedInfoOffset + sizeof(VS_FIXEDFILEINFO) ||
        valueLength < sizeof(VS_FIXEDFILEINFO))
        return FALSE;
    constexpr std::u16string_view key = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i <= key.size(); ++i) {
        const char16_t expected = i < key.size() ? key[i] : u'\0';
        if (BlockWord(bytes, kBlockHeaderSize + 2 * i) != expected) return FALSE;
    }
    auto* fixed = const_cast<unsigned char*>(bytes + kFixedInfoOffset);
    DWORD signature;
    std::memcpy(&signature, fixed, sizeof signature);
    if (signature != VS_FFI_SIGNATURE) return FALSE;
    *buffer = fixed;
    *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}

}  // namespace vx::posix
