// Builds small PE libraries in memory, so that tests can make a runtime
// library of any version (or a damaged one) without a cross compiler.
#pragma once

#include <cstdint>
#include <string>

namespace vx::testing {

struct PeLibraryOptions {
    std::uint32_t fileVersionMS = 0x00010000;  // major << 16 | minor
    std::uint32_t fileVersionLS = 0;           // build << 16 | revision
    bool pe32Plus = false;                     // a 64-bit (PE32+) image instead
    bool withVersionResource = true;           // false: a resource section without one
};

// A resource-only DLL: headers, one .rsrc section holding a version resource
// (type 16, id 1, language 0x0409) with the fixed file information, a
// StringFileInfo block and a VarFileInfo translation.
std::string BuildPeLibrary(const PeLibraryOptions& options = {});

// Version words as the fixed file information holds them.
constexpr std::uint32_t VersionWord(std::uint32_t high, std::uint32_t low) {
    return high << 16 | (low & 0xFFFF);
}

}  // namespace vx::testing
