// How Windows reads names: separators, the characters it forbids in a name,
// and letters compared without regard to case (ASCII only, as the file
// systems fold the narrow names this program uses). Plain standard C++, for
// the setup logic and the stand-in alike.
#pragma once

#include <string>
#include <string_view>

namespace vx {

// The characters no Windows file or folder name holds, besides the control
// characters (below 0x20) and the separators.
inline constexpr std::string_view kForbiddenNameCharacters = "<>:\"|?*";

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Whether `c` may not appear in a name: a control character, a separator or
// one of kForbiddenNameCharacters.
inline bool IsForbiddenInName(char c) {
    return static_cast<unsigned char>(c) < 0x20 || IsSeparator(c) ||
           kForbiddenNameCharacters.find(c) != std::string_view::npos;
}

inline char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
inline char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The text with its ASCII letters in upper case, every other byte as it is.
inline std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = UpperAscii(c);
    return upper;
}

// The text with its ASCII letters in lower case, every other byte as it is.
inline std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = LowerAscii(c);
    return lower;
}

// ASCII letters compared without regard to case, every other byte exactly.
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

// Orders as EqualsIgnoringCase compares: by the bytes with ASCII letters in
// upper case.
inline bool LessIgnoringCase(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
        const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

}  // namespace vx
