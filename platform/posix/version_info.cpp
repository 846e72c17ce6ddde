// The version resource of a PE file, read from the file itself.
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/pe_files/pe_resources.h"
#include "platform/posix/posix_system_services.h"

namespace vx::posix {

namespace {

// A version block's length is a WORD; anything larger is not one.
constexpr std::uint32_t kMaxVersionBlock = 0xFFFF;
// Offset of the fixed file information: three WORDs, the key
// L"VS_VERSION_INFO" with its terminator (32 bytes), padded to 32 bits.
constexpr std::size_t kFixedInfoOffset = 40;
constexpr std::size_t kBlockHeaderSize = 6;

// The first version resource: the first name and its first language.
std::optional<ResourceSpan> FindVersionResource(const FileReader& file) {
    return PeResources(file).Find(kRtVersion, std::nullopt, kBlockHeaderSize, kMaxVersionBlock);
}

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
    const auto span = FindVersionResource(file);
    return span ? span->size : 0;
}

BOOL PosixSystemServices::GetFileVersionInfoA(const char* path, DWORD, DWORD length, void* data) {
    // Shorter than a block header, the copy could not even say its own length.
    if (!path || !data || length < kBlockHeaderSize) return FALSE;
    const auto host = machine_.Map(path);
    if (!host || !host->exists) return FALSE;
    const FileReader file(host->path);
    if (!file.ok()) return FALSE;
    const auto span = FindVersionResource(file);
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
