// Narrow text of the machine's code page, as the program holds it, to the
// UTF-8 the host's windows and terminals show, and back.
#pragma once

#include <string>
#include <string_view>

#include "platform/system_services.h"

namespace vx::posix {

class Machine;

class TextCodec {
public:
    // Takes the code page of the machine `sys` stands for; without one,
    // text passes through unchanged.
    void Attach(SystemServices& sys);

    // A character with no counterpart becomes '?', as the Windows
    // conversions substitute their default character.
    std::string ToUtf8(std::string_view narrow) const;
    std::string ToNarrow(std::string_view utf8) const;
    // The bytes of the narrow character that starts at `at`: 2 for a lead
    // byte with its trail byte, else 1.
    std::size_t CharacterLength(std::string_view narrow, std::size_t at) const;

private:
    const Machine* machine_ = nullptr;
};

}  // namespace vx::posix
