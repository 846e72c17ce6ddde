// GetFileVersionInfoSizeA, GetFileVersionInfoA and VerQueryValueA: the
// version resource read from the program file itself.
#include "platform/pe_files/version_resource.h"
#include "platform/posix/posix_system_services.h"

namespace vx::posix {

namespace {

using pe_files::FileReader;
using pe_files::FindVersionResource;

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
    if (!path || !data || length < pe_files::kVersionBlockHeaderSize) return FALSE;
    const auto host = machine_.Map(path);
    if (!host || !host->exists) return FALSE;
    const FileReader file(host->path);
    if (!file.ok()) return FALSE;
    const auto span = FindVersionResource(file);
    if (!span) return FALSE;
    return pe_files::CopyVersionBlock(file, *span, static_cast<unsigned char*>(data), length)
               ? TRUE
               : FALSE;
}

BOOL PosixSystemServices::VerQueryValueA(const void* block, const char* subBlock, void** buffer,
                                         UINT* length) {
    if (!block || !subBlock || !buffer || !length) return FALSE;
    // Only the root block is looked up: its fixed file information.
    if (!pe_files::NamesRootBlock(subBlock)) return FALSE;
    const VS_FIXEDFILEINFO* fixed =
        pe_files::FixedFileInfo(static_cast<const unsigned char*>(block));
    if (!fixed) return FALSE;
    *buffer = const_cast<VS_FIXEDFILEINFO*>(fixed);
    *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}

}  // namespace vx::posix
