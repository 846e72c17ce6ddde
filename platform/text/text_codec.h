// Narrow text of a Windows code page, as the program holds it, to the UTF-8
// the host's windows and terminals show, and back. Linux only: the Windows
// backends hand narrow text to the system as it is.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace vx {

class TextCodec {
public:
    // A Windows code page number (1252, 932...); 0 leaves text unchanged.
    explicit TextCodec(UINT codePage = 0) : codePage_(codePage) {}

    UINT codePage() const { return codePage_; }

    // nullopt when a character has no counterpart.
    std::optional<std::string> ExactUtf8(std::string_view narrow) const;
    std::optional<std::string> ExactNarrow(std::string_view utf8) const;

    // A character with no counterpart becomes '?', as the Windows
    // conversions substitute their default character.
    std::string ToUtf8(std::string_view narrow) const;
    std::string ToNarrow(std::string_view utf8) const;

    bool IsLeadByte(unsigned char byte) const;
    // The bytes of the narrow character that starts at `at`: 2 for a lead
    // byte with its trail byte, else 1.
    std::size_t CharacterLength(std::string_view narrow, std::size_t at) const;

private:
    UINT codePage_;
};

}  // namespace vx
