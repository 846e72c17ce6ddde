#include "platform/pe_files/version_resource.h"

#include <cstdint>
#include <cstring>

namespace vx::pe_files {

namespace {

// A version block's length is a WORD; anything larger is not one.
constexpr std::uint32_t kMaxVersionBlock = 0xFFFF;
// Offset of the fixed file information: three WORDs, the key
// L"VS_VERSION_INFO" with its terminator (32 bytes), padded to 32 bits.
constexpr std::size_t kFixedInfoOffset = 40;

std::uint16_t BlockWord(const unsigned char* block, std::size_t offset) {
    return static_cast<std::uint16_t>(block[offset] | block[offset + 1] << 8);
}

}  // namespace

std::optional<ResourceSpan> FindVersionResource(const FileReader& file) {
    return PeResources(file).Find(kRtVersion, std::nullopt, kVersionBlockHeaderSize,
                                  kMaxVersionBlock);
}

bool CopyVersionBlock(const FileReader& file, const ResourceSpan& span, unsigned char* block,
                      DWORD length) {
    const DWORD count = span.size < length ? span.size : length;
    if (count < kVersionBlockHeaderSize || !file.Read(span.offset, block, count)) return false;
    if (BlockWord(block, 0) > count) {
        block[0] = static_cast<unsigned char>(count & 0xFF);
        block[1] = static_cast<unsigned char>(count >> 8);
    }
    return true;
}

bool NamesRootBlock(std::string_view subBlock) {
    return subBlock.find_first_not_of('\\') == std::string_view::npos;
}

const VS_FIXEDFILEINFO* FixedFileInfo(const unsigned char* block) {
    const std::size_t blockLength = BlockWord(block, 0);
    const std::size_t valueLength = BlockWord(block, 2);
    if (blockLength < kFixedInfoOffset + sizeof(VS_FIXEDFILEINFO) ||
        valueLength < sizeof(VS_FIXEDFILEINFO))
        return nullptr;
    constexpr std::u16string_view key = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i <= key.size(); ++i) {
        const char16_t expected = i < key.size() ? key[i] : u'\0';
        if (BlockWord(block, kVersionBlockHeaderSize + 2 * i) != expected) return nullptr;
    }
    DWORD signature;
    std::memcpy(&signature, block + kFixedInfoOffset, sizeof signature);
    if (signature != VS_FFI_SIGNATURE) return nullptr;
    return reinterpret_cast<const VS_FIXEDFILEINFO*>(block + kFixedInfoOffset);
}

}  // namespace vx::pe_files
