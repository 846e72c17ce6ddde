#include "setup/path_buffer.h"

#include <cstring>
#include <string>

#include "platform/win32_names.h"

namespace vx {

std::size_t PathBuffer::length() const { return strnlen(bytes_.data(), kSize - 1); }

bool PathBuffer::Assign(std::string_view text) {
    if (text.size() + 2 > kSize || text.find('\0') != std::string_view::npos) return false;
    std::memcpy(bytes_.data(), text.data(), text.size());
    bytes_[text.size()] = '\0';
    bytes_[text.size() + 1] = '\0';
    return true;
}

void PathBuffer::Terminate() {
    bytes_[kSize - 1] = '\0';
    const std::size_t end = length();
    if (end + 1 < kSize) bytes_[end + 1] = '\0';
}

void PathBuffer::TruncateAt(std::size_t position) {
    if (position >= kSize - 1) return;
    bytes_[position] = '\0';
    bytes_[position + 1] = '\0';
}

bool EndsWithSeparator(SystemServices& sys, std::string_view text) {
    if (text.empty()) return false;
    // Walk whole characters so a trail byte is never taken for a separator.
    const std::string buffer(text);
    const char* last = buffer.c_str();
    for (const char* p = buffer.c_str(); *p != '\0'; p = sys.CharNextA(p)) last = p;
    return IsSeparator(*last) && last + 1 == buffer.c_str() + buffer.size();
}

bool AppendPathComponent(SystemServices& sys, PathBuffer& buffer, std::string_view name) {
    const std::size_t length = buffer.length();
    const bool separator = length > 0 && !EndsWithSeparator(sys, buffer.view());
    const std::size_t newLength = length + (separator ? 1 : 0) + name.size();
    if (newLength + 2 > PathBuffer::kSize || name.find('\0') != std::string_view::npos)
        return false;
    char* end = buffer.data() + length;
    if (separator) *end++ = '\\';
    std::memcpy(end, name.data(), name.size());
    end[name.size()] = '\0';
    end[name.size() + 1] = '\0';
    return true;
}

}  // namespace vx
