#include "platform/posix/profile_text.h"

#include <algorithm>
#include <cstring>

#include "platform/win32_names.h"

namespace vx::posix {

namespace {

constexpr std::size_t npos = static_cast<std::size_t>(-1);

// The blanks trimmed around names and values; 0x1A is the old end-of-file mark.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// One pair of matching quotes around a value is not part of it.
std::string_view StripQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool HoldsLineEnd(const char* text) {
    return text != nullptr && std::strpbrk(text, "\r\n") != nullptr;
}

ProfileLine ClassifyLine(std::string_view bytes, std::size_t start, std::size_t end) {
    ProfileLine line;
    line.start = start;
    line.end = end;
    const std::string_view text = Trim(bytes.substr(start, end - start));
    if (text.empty() || text.front() == ';') return line;
    if (text.front() == '[') {
        const std::size_t close = text.rfind(']');
        if (close != std::string_view::npos) {
            line.kind = ProfileLine::Kind::Section;
            line.name = Trim(text.substr(1, close - 1));
            return line;
        }
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return line;
    line.kind = ProfileLine::Kind::Key;
    line.name = Trim(text.substr(0, equals));
    line.value = Trim(text.substr(equals + 1));
    line.valueStart = static_cast<std::size_t>(text.data() - bytes.data()) + equals + 1;
    return line;
}

}  // namespace

std::vector<ProfileLine> SplitProfileLines(std::string_view bytes) {
    std::vector<ProfileLine> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        std::size_t next;
        if (end == std::string_view::npos) {
            end = next = bytes.size();
        } else if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') {
            next = end + 2;
        } else {
            next = end + 1;
        }
        ProfileLine line = ClassifyLine(bytes, start, end);
        line.next = next;
        lines.push_back(line);
        start = next;
    }
    return lines;
}

DWORD CopyTruncated(std::string_view text, char* buffer, DWORD size) {
    const std::size_t length = std::min<std::size_t>(text.size(), size - 1);
    // memmove: the caller's default may live in the very buffer being filled.
    std::memmove(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

UINT ParseProfileInt(std::string_view value) {
    std::size_t i = 0;
    while (i < value.size() && IsBlank(value[i])) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    UINT result = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        result = result * 10u + static_cast<UINT>(value[i] - '0');  // wraps, as Windows does
    }
    return negative ? 0u - result : result;
}

ProfileDocument::ProfileDocument(std::string_view bytes, LeadByteTest isLeadByte)
    : bytes_(bytes), lines_(SplitProfileLines(bytes)), isLeadByte_(std::move(isLeadByte)) {}

bool ProfileDocument::NamesEqual(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (isLeadByte_ && isLeadByte_(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            // A double-byte character compares exactly, trail byte and all.
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    }
    return true;
}

std::size_t ProfileDocument::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == ProfileLine::Kind::Section && NamesEqual(lines_[i].name, section))
            return i;
    }
    return npos;
}

std::size_t ProfileDocument::SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < lines_.size() && lines_[i].kind != ProfileLine::Kind::Section) ++i;
    return i;
}

std::size_t ProfileDocument::FindKey(std::size_t header, std::string_view key) const {
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind == ProfileLine::Kind::Key && NamesEqual(lines_[i].name, key)) return i;
    }
    return npos;
}

DWORD ProfileDocument::CopyList(const std::vector<std::string_view>& names, char* buffer,
                                DWORD size) {
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    // One byte stays for the list's closing zero; a name that does not fit
    // with its own zero in what is left is cut, and the list closed there.
    std::size_t room = size - 1;
    char* out = buffer;
    for (const std::string_view name : names) {
        const std::size_t needed = name.size() + 1;
        if (needed >= room) {
            std::memcpy(out, name.data(), room - 1);
            out += room - 1;
            *out++ = '\0';
            *out = '\0';
            return size - 2;
        }
        std::memcpy(out, name.data(), name.size());
        out += name.size();
        *out++ = '\0';
        room -= needed;
    }
    *out = '\0';
    return static_cast<DWORD>(out - buffer);
}

DWORD ProfileDocument::GetString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, DWORD size) const {
    if (buffer == nullptr || size == 0) return 0;

    if (section == nullptr) {
        std::vector<std::string_view> names;
        for (const ProfileLine& line : lines_) {
            if (line.kind == ProfileLine::Kind::Section && !line.name.empty())
                names.push_back(line.name);
        }
        return CopyList(names, buffer, size);
    }

    std::string fallback = defaultValue ? defaultValue : "";
    while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();

    const std::size_t header = FindSection(Trim(section));
    if (header == npos) return CopyTruncated(fallback, buffer, size);

    if (key == nullptr) {
        std::vector<std::string_view> names;
        for (std::size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
            // An empty name would end the list early.
            if (lines_[i].kind == ProfileLine::Kind::Key && !lines_[i].name.empty())
                names.push_back(lines_[i].name);
        }
        if (names.empty()) return CopyTruncated(fallback, buffer, size);
        return CopyList(names, buffer, size);
    }

    const std::size_t found = FindKey(header, Trim(key));
    if (found == npos) return CopyTruncated(fallback, buffer, size);
    return CopyTruncated(StripQuotes(lines_[found].value), buffer, size);
}

UINT ProfileDocument::GetInt(const char* section, const char* key, int defaultValue) const {
    if (section == nullptr || key == nullptr) {
        // As Windows does: the first name of the list, read as a number.
        char list[64];
        if (GetString(section, key, "", list, sizeof list) == 0 || list[0] == '\0')
            return static_cast<UINT>(defaultValue);
        return ParseProfileInt(list);
    }
    const std::size_t header = FindSection(Trim(section));
    if (header == npos) return static_cast<UINT>(defaultValue);
    const std::size_t found = FindKey(header, Trim(key));
    if (found == npos) return static_cast<UINT>(defaultValue);
    const std::string_view value = StripQuotes(lines_[found].value);
    if (value.empty()) return static_cast<UINT>(defaultValue);
    return ParseProfileInt(value);
}

std::optional<std::string> ProfileDocument::Write(const char* section, const char* key,
                                                  const char* value) const {
    if (section == nullptr) return std::nullopt;
    // A line end inside a name or value would let it forge lines of its own.
    if (HoldsLineEnd(section) || HoldsLineEnd(key) || HoldsLineEnd(value)) return std::nullopt;

    const std::string_view sectionName = Trim(section);
    const std::string_view keyName = key ? Trim(key) : std::string_view();
    const std::size_t header = FindSection(sectionName);
    std::string result(bytes_);

    if (header == npos) {
        if (key == nullptr || value == nullptr) return result;  // nothing to delete
        // Ends an unterminated last line before the new section starts.
        if (!result.empty() && result.back() != '\r' && result.back() != '\n') result += "\r\n";
        result.append("[").append(sectionName).append("]\r\n");
        result.append(keyName).append("=").append(value).append("\r\n");
        return result;
    }

    const std::size_t sectionEnd = SectionEnd(header);
    if (key == nullptr) {
        const std::size_t from = lines_[header].start;
        const std::size_t to =
            sectionEnd < lines_.size() ? lines_[sectionEnd].start : bytes_.size();
        result.erase(from, to - from);
        return result;
    }

    const std::size_t found = FindKey(header, keyName);
    if (found != npos) {
        const ProfileLine& line = lines_[found];
        if (value == nullptr) {
            result.erase(line.start, line.next - line.start);
        } else {
            result.replace(line.valueStart, line.end - line.valueStart, value);
        }
        return result;
    }
    if (value == nullptr) return result;

    // A new key follows the section's last key, or its header when it has none.
    std::size_t anchor = header;
    for (std::size_t i = header + 1; i < sectionEnd; ++i) {
        if (lines_[i].kind == ProfileLine::Kind::Key) anchor = i;
    }
    std::string inserted;
    if (!lines_[anchor].terminated()) inserted = "\r\n";
    inserted.append(keyName).append("=").append(value).append("\r\n");
    result.insert(lines_[anchor].next, inserted);
    return result;
}

std::optional<std::string> ProfileDocument::WriteSection(const char* section,
                                                         const char* keysAndValues) const {
    if (section == nullptr || HoldsLineEnd(section)) return std::nullopt;
    if (keysAndValues == nullptr) return Write(section, nullptr, nullptr);

    std::string body;
    for (const char* entry = keysAndValues; *entry != '\0'; entry += std::strlen(entry) + 1) {
        if (HoldsLineEnd(entry)) return std::nullopt;
        const std::string_view text = entry;
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) {
            body.append(text);
        } else {
            // As a single write does: the key trimmed, the value as given.
            body.append(Trim(text.substr(0, equals))).append(text.substr(equals));
        }
        body.append("\r\n");
    }

    const std::string_view sectionName = Trim(section);
    const std::size_t header = FindSection(sectionName);
    std::string result(bytes_);
    if (header == npos) {
        if (!result.empty() && result.back() != '\r' && result.back() != '\n') result += "\r\n";
        result.append("[").append(sectionName).append("]\r\n").append(body);
        return result;
    }
    const std::size_t sectionEnd = SectionEnd(header);
    const std::size_t from = lines_[header].next;
    const std::size_t to = sectionEnd < lines_.size() ? lines_[sectionEnd].start : bytes_.size();
    if (!lines_[header].terminated()) body.insert(0, "\r\n");
    result.replace(from, to - from, body);
    return result;
}

}  // namespace vx::posix
