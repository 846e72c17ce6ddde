// Fixed 260-byte path buffers and how paths are joined in them.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "platform/system_services.h"

namespace vx {

// A narrow path of at most 259 characters. After every successful append the
// text is followed by a second zero, so the buffer is also a one-entry path
// list for SHFileOperationA.
class PathBuffer {
public:
    static constexpr std::size_t kSize = MAX_PATH;

    PathBuffer() { bytes_.fill('\0'); }

    char* data() { return bytes_.data(); }
    const char* c_str() const { return bytes_.data(); }
    static constexpr UINT capacity() { return kSize; }
    std::size_t length() const;
    bool empty() const { return bytes_[0] == '\0'; }
    std::string_view view() const { return {bytes_.data(), length()}; }

    // Replaces the text, double-terminated; fails (buffer unchanged) when it
    // would not fit with both zeros.
    bool Assign(std::string_view text);
    // Makes sure a zero follows the terminator (after a system call filled it).
    void Terminate();
    // Drops the last character; used to cut a trailing separator.
    void TruncateAt(std::size_t position);

private:
    std::array<char, kSize> bytes_;
};

// True when the text's last character (not merely its last byte: the trail
// byte of a double-byte character may be 0x5C) is '\' or '/'.
bool EndsWithSeparator(SystemServices& sys, std::string_view text);

// True when the file or folder `path` names exists.
bool Exists(SystemServices& sys, const PathBuffer& path);

// Appends `name`, with a single '\' in front unless the buffer is empty or
// already ends with a separator, and a second zero behind. Fails, leaving the
// buffer as it was, when the name, its terminator and the second zero would
// not fit in the 260 bytes.
bool AppendPathComponent(SystemServices& sys, PathBuffer& buffer, std::string_view name);

}  // namespace vx
