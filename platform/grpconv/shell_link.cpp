#include "platform/grpconv/shell_link.h"

#include <cstdint>

#include "platform/text/utf8.h"

namespace vx::grpconv {

namespace {

// Header fields and flags of the format.
constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint32_t kHasLinkInfo = 0x00000002;
constexpr std::uint32_t kHasWorkingDir = 0x00000010;
constexpr std::uint32_t kIsUnicode = 0x00000080;
constexpr std::uint32_t kFileAttributeArchive = 0x00000020;
constexpr std::uint32_t kShowNormal = 1;

constexpr std::uint32_t kLinkInfoHeaderSize = 0x1C;
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 0x00000001;
constexpr std::uint32_t kVolumeIdHeaderSize = 0x10;
constexpr std::uint32_t kDriveFixed = 3;

void PutU16(std::string& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void PutU32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutZeros(std::string& out, std::size_t count) { out.append(count, '\0'); }

void PutShellLinkHeader(std::string& out, std::uint32_t linkFlags) {
    PutU32(out, kHeaderSize);
    out.append(reinterpret_cast<const char*>(kLinkClsid), sizeof kLinkClsid);
    PutU32(out, linkFlags);
    PutU32(out, kFileAttributeArchive);
    PutZeros(out, 3 * 8);  // creation, access and write times: not set
    PutU32(out, 0);        // file size: unknown
    PutU32(out, 0);        // icon index
    PutU32(out, kShowNormal);
    PutU16(out, 0);            // no hot key
    PutZeros(out, 2 + 4 + 4);  // reserved
}

// Link-target information: a fixed drive and the local base path, with an
// empty common path suffix.
void PutLinkInfo(std::string& out, std::string_view targetPath) {
    const std::uint32_t volumeIdSize = kVolumeIdHeaderSize + 1;  // empty label
    const std::uint32_t volumeIdOffset = kLinkInfoHeaderSize;
    const std::uint32_t localBasePathOffset = volumeIdOffset + volumeIdSize;
    const std::uint32_t suffixOffset =
        localBasePathOffset + static_cast<std::uint32_t>(targetPath.size()) + 1;
    const std::uint32_t linkInfoSize = suffixOffset + 1;

    PutU32(out, linkInfoSize);
    PutU32(out, kLinkInfoHeaderSize);
    PutU32(out, kVolumeIdAndLocalBasePath);
    PutU32(out, volumeIdOffset);
    PutU32(out, localBasePathOffset);
    PutU32(out, 0);  // no network location
    PutU32(out, suffixOffset);

    PutU32(out, volumeIdSize);
    PutU32(out, kDriveFixed);
    PutU32(out, 0);  // serial number
    PutU32(out, kVolumeIdHeaderSize);
    out.push_back('\0');

    out.append(targetPath);
    out.push_back('\0');
    out.push_back('\0');  // common path suffix
}

}  // namespace

std::optional<std::string> ShellLinkBytes(std::string_view targetPath,
                                          std::string_view workingDirectory) {
    // The whole LinkInfo must stay well inside its 32-bit size; a Windows path
    // is far shorter, so a generous bound keeps the arithmetic trivially safe.
    constexpr std::size_t kMaxTarget = 0xFFFF;
    if (targetPath.empty() || targetPath.size() > kMaxTarget ||
        targetPath.find('\0') != std::string_view::npos)
        return std::nullopt;
    const auto workingDir16 = Utf16FromUtf8(workingDirectory);
    if (!workingDir16 || workingDir16->size() > 0xFFFF ||
        workingDir16->find(u'\0') != std::u16string::npos)
        return std::nullopt;

    std::uint32_t linkFlags = kHasLinkInfo | kIsUnicode;
    if (!workingDir16->empty()) linkFlags |= kHasWorkingDir;

    std::string out;
    PutShellLinkHeader(out, linkFlags);
    PutLinkInfo(out, targetPath);
    if (!workingDir16->empty()) {
        PutU16(out, static_cast<std::uint16_t>(workingDir16->size()));
        for (const char16_t unit : *workingDir16) PutU16(out, unit);
    }
    PutU32(out, 0);  // the terminal block that ends the extra data
    return out;
}

}  // namespace vx::grpconv
