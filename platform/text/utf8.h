// UTF-8 decoded and encoded by hand where iconv would be too coarse: one
// character at a time (the terminal's cells) or into UTF-16 (shell links,
// folder listings). Decoding is strict: no overlong forms, no surrogates.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

// The length of the UTF-8 sequence `lead` starts (1 for a stray byte).
std::size_t Utf8SequenceLength(unsigned char lead);

// Decodes the character at `text[i]` and moves `i` past it; a broken
// sequence gives -1 and moves `i` by one byte.
long DecodeUtf8(std::string_view text, std::size_t& i);

// The UTF-8 of the code point `cp` (at most 0x10FFFF).
std::string EncodeUtf8(char32_t cp);

// The UTF-16 code units of `text`; nullopt when it is not UTF-8.
std::optional<std::u16string> Utf16FromUtf8(std::string_view text);

}  // namespace vx
