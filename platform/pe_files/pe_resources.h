// The resources of a PE file, read from the file itself: the headers, the
// section table and the resource tree are walked with every offset and size
// checked against the file, since the file may be anything at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx::pe_files {

// A regular file read by offset; never reads past its end.
class FileReader {
public:
    explicit FileReader(const std::string& path);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    bool ok() const { return fd_ >= 0 && size_ > 0; }
    std::uint64_t size() const { return size_; }

    // Reads exactly `count` bytes at `offset`, or fails.
    bool Read(std::uint64_t offset, void* out, std::size_t count) const;
    std::optional<std::uint16_t> U16(std::uint64_t offset) const;
    std::optional<std::uint32_t> U32(std::uint64_t offset) const;

private:
    int fd_;
    std::uint64_t size_ = 0;
};

// Where a resource's bytes lie in the file.
struct ResourceSpan {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
};

constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
constexpr std::uint32_t kRtVersion = 16;

class PeResources {
public:
    // Reads the headers; a file that is no PE with a resource tree finds nothing.
    explicit PeResources(const FileReader& file);

    // The resource of `type` with the numeric `id`, or without one the first
    // of `type` in the tree's order; its first language. Nothing when its
    // size lies outside [minSize, maxSize].
    std::optional<ResourceSpan> Find(std::uint32_t type, std::optional<std::uint32_t> id,
                                     std::uint32_t minSize, std::uint32_t maxSize) const;

private:
    bool ReadHeaders();
    std::optional<std::uint64_t> MapRva(std::uint32_t rva, std::uint32_t count) const;
    std::optional<std::uint64_t> MapTree(std::uint64_t offset, std::uint32_t count) const;
    std::optional<std::uint32_t> TreeU32(std::uint64_t offset) const;
    std::optional<std::uint16_t> TreeU16(std::uint64_t offset) const;
    struct DirectoryCounts {
        std::uint32_t named = 0;
        std::uint32_t ids = 0;
    };
    std::optional<DirectoryCounts> Counts(std::uint32_t directory) const;
    std::optional<std::uint32_t> FindEntry(std::uint32_t directory, std::uint32_t id) const;
    std::optional<std::uint32_t> FirstEntry(std::uint32_t directory) const;

    const FileReader& file_;
    bool ok_ = false;
    std::uint32_t resourceRva_ = 0;
    std::uint32_t resourceSize_ = 0;
    struct Section {
        std::uint32_t virtualAddress;
        std::uint32_t rawSize;
        std::uint32_t rawOffset;
    };
    std::vector<Section> sections_;
};

}  // namespace vx::pe_files
