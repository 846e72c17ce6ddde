// The settings file's text: every read on arbitrary text, and a key written
// into it. A value written reads back equal, the bytes outside the edited
// line stay as they were, and the result is a profile file again.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/posix/profile_text.h"

namespace {

using vx::DWORD;
using vx::fuzz::Fail;
using vx::posix::LeadByteTest;
using vx::posix::ProfileDocument;
using vx::posix::ProfileLine;
using vx::posix::SplitProfileLines;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A'; }

bool HasNoOuterBlanks(std::string_view text) {
    return text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back()));
}

// A key the text can hold as itself: a name with '=' or one that starts like
// a comment or a section header reads back as something else, on Windows too.
bool KeyReadsBack(std::string_view key) {
    return HasNoOuterBlanks(key) && key.find('=') == std::string_view::npos &&
           (key.empty() || (key.front() != ';' && key.front() != '['));
}

// Blanks around a value and one pair of quotes are not part of what is read.
bool ValueReadsBack(std::string_view value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    return HasNoOuterBlanks(value) && !quoted;
}

bool HoldsLineEnd(const char* text) { return text && std::strpbrk(text, "\r\n") != nullptr; }

// Whether `after` is `before` with the bytes [a, b) replaced, for some span
// the edit may touch: one whole line or an empty span at a line boundary, or
// for a deleted section a run of whole lines removed.
bool ChangedOnlyWithin(std::string_view before, std::string_view after, bool wholeSection) {
    const std::size_t n = before.size(), m = after.size();
    std::size_t prefix = 0;
    while (prefix < n && prefix < m && before[prefix] == after[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < n && suffix < m && before[n - 1 - suffix] == after[m - 1 - suffix]) ++suffix;
    const auto fits = [&](std::size_t a, std::size_t b) {
        return a <= prefix && n - b <= suffix && a + (n - b) <= m &&
               (!wholeSection || m == n - (b - a));
    };
    const std::vector<ProfileLine> lines = SplitProfileLines(before);
    std::vector<std::size_t> boundaries;
    for (const ProfileLine& line : lines) boundaries.push_back(line.start);
    boundaries.push_back(n);
    if (wholeSection) {
        // The removed run has the length the text lost.
        if (m > n) return false;
        for (const std::size_t start : boundaries)
            if (std::binary_search(boundaries.begin(), boundaries.end(), start + (n - m)) &&
                fits(start, start + (n - m)))
                return true;
        return false;
    }
    for (const std::size_t boundary : boundaries)
        if (fits(boundary, boundary)) return true;
    for (const ProfileLine& line : lines)
        if (fits(line.start, line.next)) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::uint8_t flags = input.ConsumeIntegral<std::uint8_t>();
    const std::string section = input.ConsumeRandomLengthString(64);
    const std::string key = input.ConsumeRandomLengthString(64);
    const std::string value = input.ConsumeRandomLengthString(128);
    const DWORD bufferSize = input.ConsumeIntegralInRange<DWORD>(1, 300);
    const std::string text = input.ConsumeRemainingBytesAsString();

    const bool nullKey = flags & 1, nullValue = flags & 2, doubleByte = flags & 4;
    const LeadByteTest isLeadByte = doubleByte ? LeadByteTest([](unsigned char c) {
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    })
                                               : LeadByteTest();
    const char* const sectionName = section.c_str();
    const char* const keyName = nullKey ? nullptr : key.c_str();
    const char* const valueText = nullValue ? nullptr : value.c_str();

    // Every read, into a buffer of exactly the size given, so that a write
    // past it is caught.
    const ProfileDocument document(text, isLeadByte);
    std::vector<char> buffer(bufferSize);
    const DWORD lengths[] = {
        document.GetString(nullptr, nullptr, "", buffer.data(), bufferSize),
        document.GetString(sectionName, nullptr, valueText, buffer.data(), bufferSize),
        document.GetString(sectionName, keyName, "default", buffer.data(), bufferSize),
    };
    for (const DWORD length : lengths)
        if (length >= bufferSize) Fail("a read fits its buffer");
    document.GetInt(sectionName, keyName, -1);
    document.GetInt(nullptr, nullptr, 7);

    const std::optional<std::string> written = document.Write(sectionName, keyName, valueText);
    const bool mayFail =
        HoldsLineEnd(sectionName) || HoldsLineEnd(keyName) || HoldsLineEnd(valueText);
    if (!written) {
        if (!mayFail) Fail("a write without line ends succeeds");
        return 0;
    }
    if (mayFail) Fail("a write with a line end fails");
    if (!ChangedOnlyWithin(text, *written, keyName == nullptr))
        Fail("a write keeps the bytes outside the edited line");
    // No line with text merges into another: a value replaced keeps their
    // count, a key adds one and a section two, a deleted key takes one away.
    // (A blank line may: a lone CR left before a blank LF line pairs with it,
    // since the bytes around the edit stay as they were.)
    const auto linesWithText = [](std::string_view bytes) {
        const std::vector<ProfileLine> lines = SplitProfileLines(bytes);
        return std::count_if(lines.begin(), lines.end(),
                             [](const ProfileLine& line) { return line.end > line.start; });
    };
    const long added = linesWithText(*written) - linesWithText(text);
    const bool countFits = keyName == nullptr     ? added <= 0
                           : valueText == nullptr ? added == 0 || added == -1
                                                  : added >= 0 && added <= 2;
    if (!countFits)
        Fail("a write adds or removes whole lines with text only", std::to_string(added));

    const ProfileDocument reread(*written, isLeadByte);
    if (keyName == nullptr || valueText == nullptr) return 0;
    if (!KeyReadsBack(keyName) || !ValueReadsBack(valueText)) return 0;
    const std::string_view expected = valueText;
    std::vector<char> readBack(expected.size() + 2);
    const DWORD length = reread.GetString(sectionName, keyName, "\x01", readBack.data(),
                                          static_cast<DWORD>(readBack.size()));
    if (std::string_view(readBack.data(), length) != expected)
        Fail("a value written reads back equal", std::string(readBack.data(), length));
    const std::optional<std::string> again = reread.Write(sectionName, keyName, valueText);
    if (!again || *again != *written) Fail("writing the same value again changes nothing");
    return 0;
}
