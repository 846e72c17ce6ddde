// Builds small PE libraries in memory, so that tests can make a runtime
// library of any version (or a damaged one) without a cross compiler.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx::testing {

// A resource of the tree: type, numeric id and bytes (language 0x0409).
struct PeResource {
    std::uint32_t type = 0;
    std::uint32_t id = 0;
    std::string data;
};

struct PeLibraryOptions {
    std::uint32_t fileVersionMS = 0x00010000;  // major << 16 | minor
    std::uint32_t fileVersionLS = 0;           // build << 16 | revision
    bool pe32Plus = false;                     // a 64-bit (PE32+) image instead
    bool withVersionResource = true;           // false: a resource section without one
    std::vector<PeResource> resources = {};    // more, e.g. a program's icons
};

// A resource-only DLL: headers, one .rsrc section holding a version resource
// (type 16, id 1, language 0x0409) with the fixed file information, a
// StringFileInfo block and a VarFileInfo translation, and `resources`.
std::string BuildPeLibrary(const PeLibraryOptions& options = {});

// Version words as the fixed file information holds them.
constexpr std::uint32_t VersionWord(std::uint32_t high, std::uint32_t low) {
    return high << 16 | (low & 0xFFFF);
}

// One image of an icon as stored: `size` x `size`, a DIB or a PNG file.
struct StoredIconImage {
    int size = 0;
    std::string bytes;
};

// An icon file (.ico) of `images`.
std::string BuildIconFile(const std::vector<StoredIconImage>& images);

// `images` as a program's resources: an icon group (type 14) of id `groupId`
// naming icons (type 3) numbered from `firstIconId`.
std::vector<PeResource> IconGroupResources(const std::vector<StoredIconImage>& images,
                                           std::uint32_t groupId, std::uint32_t firstIconId);

}  // namespace vx::testing
