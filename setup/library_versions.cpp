#include "setup/library_versions.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vx {

namespace {

// The file version of a library, from the fixed information of its version resource.
std::optional<std::uint64_t> FileVersion(SystemServices& sys, const PathBuffer& path) {
    DWORD handle = 0;
    const DWORD size = sys.GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> block(size);
    if (!sys.GetFileVersionInfoA(path.c_str(), handle, size, block.data())) return std::nullopt;
    void* value = nullptr;
    UINT length = 0;
    if (!sys.VerQueryValueA(block.data(), "\\", &value, &length) || value == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (info->dwSignature != VS_FFI_SIGNATURE) return std::nullopt;
    return (static_cast<std::uint64_t>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

}  // namespace

bool ShouldReplaceLibrary(SystemServices& sys, const PathBuffer& ours, const PathBuffer& theirs) {
    if (sys.GetFileAttributesA(theirs.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    const std::optional<std::uint64_t> existing = FileVersion(sys, theirs);
    const std::optional<std::uint64_t> shipped = FileVersion(sys, ours);
    return existing && shipped && *existing < *shipped;
}

}  // namespace vx
