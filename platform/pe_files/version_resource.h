// A program's version resource: found in the file, copied out as Windows
// copies it, and its fixed file information looked up in the copy.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/pe_files/pe_resources.h"
#include "platform/win32_types.h"

namespace vx::pe_files {

// A version block's header: its length, its value's length and its type.
inline constexpr std::size_t kVersionBlockHeaderSize = 6;

// The first version resource: the first name and its first language.
std::optional<ResourceSpan> FindVersionResource(const FileReader& file);

// Copies at most `length` bytes of the version resource `span` into
// `block`; a cut copy says so in its own length, so that a lookup never
// reads past what was copied. False when the bytes cannot be read.
bool CopyVersionBlock(const FileReader& file, const ResourceSpan& span, unsigned char* block,
                      DWORD length);

// True for the root block's names: nothing but backslashes, as Windows reads it.
bool NamesRootBlock(std::string_view subBlock);

// The fixed file information of the root block `block` (as copied by
// CopyVersionBlock), or nullptr when the block holds none.
const VS_FIXEDFILEINFO* FixedFileInfo(const unsigned char* block);

}  // namespace vx::pe_files
