#include "platform/posix/text_codec.h"

#include <algorithm>
#include <optional>

#include "platform/posix/posix_system_services.h"

namespace vx::posix {

namespace {

// The length of the UTF-8 sequence a byte starts (1 for a stray byte).
std::size_t Utf8Length(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

void TextCodec::Attach(SystemServices& sys) {
    if (auto* posixSys = dynamic_cast<PosixSystemServices*>(&sys)) machine_ = &posixSys->machine();
}

std::string TextCodec::ToUtf8(std::string_view narrow) const {
    if (machine_ == nullptr) return std::string(narrow);
    if (std::optional<std::string> whole = machine_->ToUtf8(narrow)) return *whole;
    std::string out;
    for (std::size_t i = 0; i < narrow.size();) {
        const std::size_t n = CharacterLength(narrow, i);
        const std::optional<std::string> one = machine_->ToUtf8(narrow.substr(i, n));
        out += one ? *one : std::string("?");
        i += n;
    }
    return out;
}

std::size_t TextCodec::CharacterLength(std::string_view narrow, std::size_t at) const {
    if (at >= narrow.size()) return 0;
    const bool lead = machine_ && machine_->IsLeadByte(static_cast<unsigned char>(narrow[at]));
    return lead && at + 1 < narrow.size() ? 2 : 1;
}

std::string TextCodec::ToNarrow(std::string_view utf8) const {
    if (machine_ == nullptr) return std::string(utf8);
    if (std::optional<std::string> whole = machine_->ToNarrow(utf8)) return *whole;
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t n =
            std::min(Utf8Length(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
        const std::optional<std::string> one = machine_->ToNarrow(utf8.substr(i, n));
        out += one ? *one : std::string("?");
        i += n;
    }
    return out;
}

}  // namespace vx::posix
