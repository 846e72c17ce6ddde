// The text of a private profile file and the Win32 profile calls carried out
// on it, without any file system: reads answer from the bytes, writes give the
// new bytes. Writes edit the text in place, so every byte outside the changed
// line stays as it was.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace vx::posix {

// True for the lead byte of a double-byte character; empty for single-byte
// code pages. Keeps case folding off the trail bytes.
using LeadByteTest = std::function<bool(unsigned char)>;

// One line of the file, as byte offsets into it.
struct ProfileLine {
    enum class Kind { Other, Section, Key };

    std::size_t start = 0;  // first byte of the line
    std::size_t end = 0;    // end of its text, before the line end
    std::size_t next = 0;   // first byte of the following line
    Kind kind = Kind::Other;
    std::string_view name;       // section or key name, blanks trimmed
    std::string_view value;      // a key's value, blanks trimmed
    std::size_t valueStart = 0;  // first byte after a key's '='

    bool terminated() const { return next > end; }
};

// Splits a file at CR LF, CR and LF line ends. A section line is '[' name ']';
// a key line holds '=' and does not start with ';' (a comment).
std::vector<ProfileLine> SplitProfileLines(std::string_view bytes);

// Copies `text` into `buffer`, cut to fit with its terminator; returns the
// length copied. `size` must be at least 1.
DWORD CopyTruncated(std::string_view text, char* buffer, DWORD size);

// The leading decimal number of a profile value, with an optional sign,
// modulo 2^32; 0 when it starts with no digit.
UINT ParseProfileInt(std::string_view value);

class ProfileDocument {
public:
    // An absent file reads and writes as an empty one. `bytes` must outlive
    // the document.
    explicit ProfileDocument(std::string_view bytes, LeadByteTest isLeadByte = {});

    // GetPrivateProfileStringA: a key's value, the section's key names when
    // `key` is null, the file's section names when `section` is null.
    DWORD GetString(const char* section, const char* key, const char* defaultValue, char* buffer,
                    DWORD size) const;
    // GetPrivateProfileIntA.
    UINT GetInt(const char* section, const char* key, int defaultValue) const;

    // WritePrivateProfileStringA: the new file content, or nullopt when the
    // call fails (no section, or a name or value holding a line end). A null
    // `value` deletes the key, a null `key` the whole section.
    std::optional<std::string> Write(const char* section, const char* key, const char* value) const;
    // WritePrivateProfileSectionA: the section's lines replaced by the
    // entries of `keysAndValues` ("key=value" strings, each ended by a zero,
    // the list by a second), in their order; a new section goes at the end.
    // A null list deletes the section.
    std::optional<std::string> WriteSection(const char* section, const char* keysAndValues) const;

private:
    // Index of the first section line named `section`, or npos.
    std::size_t FindSection(std::string_view section) const;
    // One past the last line of the section whose header is at `header`.
    std::size_t SectionEnd(std::size_t header) const;
    // Index of the first key line named `key` in the section, or npos.
    std::size_t FindKey(std::size_t header, std::string_view key) const;
    bool NamesEqual(std::string_view a, std::string_view b) const;
    // Writes names as a double-zero-terminated list, cut to fit.
    static DWORD CopyList(const std::vector<std::string_view>& names, char* buffer, DWORD size);

    std::string_view bytes_;
    std::vector<ProfileLine> lines_;
    LeadByteTest isLeadByte_;
};

}  // namespace vx::posix
