// The key that marks a file as ours, in each kind of file we write: a line
// of a desktop entry or folder file, a comment of a menu file, a text chunk
// of an icon. A file without it is never changed or removed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vx::desktop {

// The machine folder and the Windows path a key names.
struct KeyParts {
    std::string machine;
    std::string item;
};
std::optional<KeyParts> SplitKey(const std::string& value);

// The key of a desktop entry or folder file.
std::optional<std::string> EntryKey(std::string_view text);

// The key as a menu file's comment, and read back from a menu file.
std::string MenuKeyComment(const std::string& value);
std::optional<std::string> MenuKey(std::string_view text);

// The PNG with the key in a text chunk after its header chunk; nullopt for
// bytes that do not start as a PNG.
std::optional<std::string> PngWithKey(const std::string& png, const std::string& value);
std::optional<std::string> PngKey(std::string_view png);

// The machine folder the key of a file of ours names, whatever its kind.
std::optional<std::string> OwningMachine(const std::string& bytes);

}  // namespace vx::desktop
