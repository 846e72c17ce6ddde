// A program's icon as stored: the first icon group of a Windows program, or
// the icon file beside the program with its base name. Only the stored
// images are read here; what they are decoded into is the caller's.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/image/image_decoding.h"

namespace vx::pe_files {

// The images of one icon: its directory's entries, and the stored bytes of
// an entry on demand (nullopt when they cannot be read).
struct StoredIcon {
    std::vector<IconEntry> entries;
    std::function<std::optional<std::string>(const IconEntry&)> load;
};

// Offers `use` the icon group of the program at the host path `program`,
// then, when it has none or `use` returns false for it, the icon file beside
// it (an exact match of the name first, then one differing in case). False
// when neither was there to offer or `use` took neither.
bool ReadProgramIcon(const std::string& program, const std::function<bool(const StoredIcon&)>& use);

}  // namespace vx::pe_files
