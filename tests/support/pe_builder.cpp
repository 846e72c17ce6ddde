#include "tests/support/pe_builder.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace vx::testing {

namespace {

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kResourceRva = 0x1000;
constexpr std::uint32_t kHeadersSize = 0x200;
constexpr std::uint32_t kPeHeaderOffset = 0x80;

std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

class Bytes {
public:
    std::size_t size() const { return data_.size(); }
    void U8(std::uint8_t v) { data_.push_back(static_cast<char>(v)); }
    void U16(std::uint16_t v) {
        U8(v & 0xFF);
        U8(v >> 8);
    }
    void U32(std::uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void U64(std::uint64_t v) {
        U32(static_cast<std::uint32_t>(v));
        U32(static_cast<std::uint32_t>(v >> 32));
    }
    void Raw(std::string_view bytes) { data_.append(bytes); }
    void Wide(std::string_view ascii) {  // UTF-16LE with its terminator
        for (const char c : ascii) U16(static_cast<unsigned char>(c));
        U16(0);
    }
    void PadTo(std::size_t size) { data_.resize(size, '\0'); }
    void Align(std::size_t alignment) { PadTo((size() + alignment - 1) / alignment * alignment); }
    void Put16(std::size_t at, std::uint16_t v) {
        data_[at] = static_cast<char>(v & 0xFF);
        data_[at + 1] = static_cast<char>(v >> 8);
    }
    void Put32(std::size_t at, std::uint32_t v) {
        Put16(at, v & 0xFFFF);
        Put16(at + 2, v >> 16);
    }
    const std::string& str() const { return data_; }

private:
    std::string data_;
};

// One node of a version resource: wLength, wValueLength, wType, key, value,
// children, each part aligned to 32 bits.
struct VersionNode {
    std::string key;
    std::string value;  // bytes of the value
    bool text = false;  // wType 1: value length counts UTF-16 characters
    std::vector<VersionNode> children;
};

void AppendNode(Bytes& out, const VersionNode& node) {
    out.Align(4);
    const std::size_t start = out.size();
    out.U16(0);  // wLength, filled in below
    out.U16(static_cast<std::uint16_t>(node.text ? node.value.size() / 2 : node.value.size()));
    out.U16(node.text ? 1 : 0);
    out.Wide(node.key);
    out.Align(4);
    out.Raw(node.value);
    for (const VersionNode& child : node.children) AppendNode(out, child);
    out.Put16(start, static_cast<std::uint16_t>(out.size() - start));
}

std::string WideValue(std::string_view ascii) {
    Bytes b;
    b.Wide(ascii);
    return b.str();
}

std::string VersionText(std::uint32_t ms, std::uint32_t ls) {
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
           std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

std::string VersionInfo(const PeLibraryOptions& options) {
    Bytes fixed;
    fixed.U32(0xFEEF04BD);  // signature
    fixed.U32(0x00010000);  // structure version 1.0
    fixed.U32(options.fileVersionMS);
    fixed.U32(options.fileVersionLS);
    fixed.U32(options.fileVersionMS);  // product version
    fixed.U32(options.fileVersionLS);
    fixed.U32(0x3F);        // flags mask
    fixed.U32(0);           // flags
    fixed.U32(0x00040004);  // VOS_NT_WINDOWS32
    fixed.U32(2);           // VFT_DLL
    fixed.U32(0);           // subtype
    fixed.U32(0);           // date
    fixed.U32(0);

    Bytes translation;
    translation.U16(0x0409);
    translation.U16(1200);

    const std::string versionText = VersionText(options.fileVersionMS, options.fileVersionLS);
    const VersionNode root{
        "VS_VERSION_INFO",
        fixed.str(),
        false,
        {
            {"StringFileInfo",
             "",
             true,
             {{"040904B0",
               "",
               true,
               {{"FileDescription", WideValue("Test library"), true, {}},
                {"FileVersion", WideValue(versionText), true, {}}}}}},
            {"VarFileInfo", "", true, {{"Translation", translation.str(), false, {}}}},
        }};
    Bytes out;
    AppendNode(out, root);
    return out.str();
}

void Directory(Bytes& out, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries) {
    out.U32(0);  // characteristics
    out.U32(0);  // time stamp
    out.U16(0);  // major version
    out.U16(0);  // minor version
    out.U16(0);  // named entries
    out.U16(static_cast<std::uint16_t>(entries.size()));
    for (const auto& [id, target] : entries) {
        out.U32(id);
        out.U32(target);
    }
}

// The root directory, one directory per type, one per name with its one
// language, the data entries, then the data; ids sorted as the format asks.
std::string ResourceSection(const PeLibraryOptions& options) {
    std::vector<PeResource> resources = options.resources;
    // RT_VERSION, or RT_STRING when there is to be none.
    resources.push_back({options.withVersionResource ? 16u : 6u, 1, VersionInfo(options)});
    std::stable_sort(resources.begin(), resources.end(), [](const auto& a, const auto& b) {
        return a.type != b.type ? a.type < b.type : a.id < b.id;
    });
    std::vector<std::uint32_t> types;
    for (const PeResource& r : resources)
        if (types.empty() || types.back() != r.type) types.push_back(r.type);

    constexpr std::uint32_t kSubdirectory = 0x80000000u;
    const auto n = static_cast<std::uint32_t>(resources.size());
    const auto typeCount = static_cast<std::uint32_t>(types.size());
    const std::uint32_t typeDirectories = 16 + 8 * typeCount;
    const std::uint32_t languageDirectories = typeDirectories + 16 * typeCount + 8 * n;
    const std::uint32_t dataEntries = languageDirectories + 24 * n;
    std::uint32_t dataAt = dataEntries + 16 * n;

    Bytes out;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> rootEntries;
    std::uint32_t at = typeDirectories;
    for (const std::uint32_t type : types) {
        rootEntries.push_back({type, kSubdirectory | at});
        at += 16 + 8 * static_cast<std::uint32_t>(
                           std::count_if(resources.begin(), resources.end(),
                                         [type](const PeResource& r) { return r.type == type; }));
    }
    Directory(out, rootEntries);
    for (std::uint32_t i = 0; i < n;) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> names;
        const std::uint32_t type = resources[i].type;
        for (; i < n && resources[i].type == type; ++i)
            names.push_back({resources[i].id, kSubdirectory | (languageDirectories + 24 * i)});
        Directory(out, names);
    }
    for (std::uint32_t i = 0; i < n; ++i) Directory(out, {{0x0409, dataEntries + 16 * i}});
    for (const PeResource& r : resources) {
        out.U32(kResourceRva + dataAt);
        out.U32(static_cast<std::uint32_t>(r.data.size()));
        out.U32(0);  // code page
        out.U32(0);
        dataAt = AlignUp(dataAt + static_cast<std::uint32_t>(r.data.size()), 4);
    }
    for (const PeResource& r : resources) {
        out.Raw(r.data);
        out.Align(4);
    }
    return out.str();
}

}  // namespace

std::string BuildPeLibrary(const PeLibraryOptions& options) {
    const std::string resources = ResourceSection(options);
    const auto resourceSize = static_cast<std::uint32_t>(resources.size());
    const std::uint32_t rawSize = AlignUp(resourceSize, kFileAlignment);
    const std::uint16_t optionalHeaderSize = options.pe32Plus ? 240 : 224;

    Bytes out;
    out.Raw("MZ");
    out.PadTo(0x3C);
    out.U32(kPeHeaderOffset);
    out.PadTo(kPeHeaderOffset);

    out.Raw(std::string_view("PE\0\0", 4));
    out.U16(options.pe32Plus ? 0x8664 : 0x014C);  // machine
    out.U16(1);                                   // sections
    out.U32(0);                                   // time stamp
    out.U32(0);                                   // symbol table
    out.U32(0);                                   // symbols
    out.U16(optionalHeaderSize);
    // Executable image, DLL; 32-bit words for PE32, large addresses for PE32+.
    out.U16(options.pe32Plus ? 0x2022 : 0x2102);

    out.U16(options.pe32Plus ? 0x20B : 0x10B);
    out.U8(2);  // linker version
    out.U8(0);
    out.U32(0);  // size of code
    out.U32(rawSize);
    out.U32(0);             // uninitialized data
    out.U32(0);             // entry point: none, a resource-only library
    out.U32(kResourceRva);  // base of code
    if (options.pe32Plus) {
        out.U64(0x180000000ull);
    } else {
        out.U32(kResourceRva);  // base of data
        out.U32(0x10000000);    // image base
    }
    out.U32(kSectionAlignment);
    out.U32(kFileAlignment);
    out.U16(4);  // OS version
    out.U16(0);
    out.U16(0);  // image version
    out.U16(0);
    out.U16(4);  // subsystem version
    out.U16(0);
    out.U32(0);                                                        // Win32 version value
    out.U32(kResourceRva + AlignUp(resourceSize, kSectionAlignment));  // size of image
    out.U32(kHeadersSize);
    out.U32(0);  // checksum
    out.U16(2);  // Windows GUI subsystem
    out.U16(0);  // DLL characteristics
    if (options.pe32Plus) {
        out.U64(0x100000);
        out.U64(0x1000);
        out.U64(0x100000);
        out.U64(0x1000);
    } else {
        out.U32(0x100000);
        out.U32(0x1000);
        out.U32(0x100000);
        out.U32(0x1000);
    }
    out.U32(0);   // loader flags
    out.U32(16);  // data directories
    for (int i = 0; i < 16; ++i) {
        out.U32(i == 2 ? kResourceRva : 0);
        out.U32(i == 2 ? resourceSize : 0);
    }

    out.Raw(std::string_view(".rsrc\0\0\0", 8));
    out.U32(resourceSize);  // virtual size
    out.U32(kResourceRva);
    out.U32(rawSize);
    out.U32(kHeadersSize);  // file offset of the raw data
    out.U32(0);             // relocations
    out.U32(0);             // line numbers
    out.U16(0);
    out.U16(0);
    out.U32(0x40000040);  // initialized data, readable

    out.PadTo(kHeadersSize);
    out.Raw(resources);
    out.PadTo(kHeadersSize + rawSize);
    return out.str();
}

namespace {

// An icon directory's entry up to its last field, which `where` fills:
// width and height (0 for 256), no palette size, one plane, bits unsaid.
void IconEntryStart(Bytes& out, const StoredIconImage& image) {
    out.U8(static_cast<std::uint8_t>(image.size & 0xFF));
    out.U8(static_cast<std::uint8_t>(image.size & 0xFF));
    out.U8(0);
    out.U8(0);
    out.U16(1);
    out.U16(0);
    out.U32(static_cast<std::uint32_t>(image.bytes.size()));
}

void IconDirectoryHeader(Bytes& out, std::size_t count) {
    out.U16(0);
    out.U16(1);
    out.U16(static_cast<std::uint16_t>(count));
}

}  // namespace

std::string BuildIconFile(const std::vector<StoredIconImage>& images) {
    Bytes out;
    IconDirectoryHeader(out, images.size());
    auto offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (const StoredIconImage& image : images) {
        IconEntryStart(out, image);
        out.U32(offset);
        offset += static_cast<std::uint32_t>(image.bytes.size());
    }
    for (const StoredIconImage& image : images) out.Raw(image.bytes);
    return out.str();
}

std::vector<PeResource> IconGroupResources(const std::vector<StoredIconImage>& images,
                                           std::uint32_t groupId, std::uint32_t firstIconId) {
    Bytes group;
    IconDirectoryHeader(group, images.size());
    std::vector<PeResource> out;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const auto id = static_cast<std::uint32_t>(firstIconId + i);
        IconEntryStart(group, images[i]);
        group.U16(static_cast<std::uint16_t>(id));
        out.push_back({3, id, images[i].bytes});
    }
    out.push_back({14, groupId, group.str()});
    return out;
}

}  // namespace vx::testing
