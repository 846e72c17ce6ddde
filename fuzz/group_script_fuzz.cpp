// The group script the converter reads, with the shortcut writer behind it:
// every item it accepts becomes the bytes of a shortcut file, which a
// shortcut library of its own (liblnk) must read back with the same target
// and working directory.
#include <libbfio.h>
#include <liblnk.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/grpconv/group_script.h"
#include "platform/grpconv/shell_link.h"
#include "platform/posix/machine.h"

namespace {

using vx::fuzz::Fail;
using vx::grpconv::GroupItem;
using vx::grpconv::ProgramGroup;

// Far more shortcuts than a script names; the rest of a larger script is
// parsed but not written, so that one input cannot take seconds.
constexpr std::size_t kMaxShortcutsChecked = 16;

const vx::posix::Machine& TheMachine() {
    static const vx::posix::Machine machine(
        {vx::fuzz::ScratchFolder(), "/nonexistent/install", vx::posix::CodePage::Windows1252});
    return machine;
}

struct ReadBack {
    std::optional<std::string> localPath;
    std::optional<std::string> workingDirectory;
};

// One UTF-8 string of the shortcut, or nullopt when it has none.
template <typename SizeOf, typename Get>
std::optional<std::string> LnkString(liblnk_file_t* file, SizeOf sizeOf, Get get) {
    std::size_t size = 0;
    if (sizeOf(file, &size, nullptr) != 1 || size == 0) return std::nullopt;
    std::vector<std::uint8_t> text(size);
    if (get(file, text.data(), size, nullptr) != 1) Fail("liblnk hands out what it sized");
    return std::string(reinterpret_cast<const char*>(text.data()), size - 1);
}

// Reads the shortcut from memory: the file the converter writes holds
// exactly these bytes.
ReadBack ReadShortcut(std::string bytes) {
    libbfio_handle_t* range = nullptr;
    if (libbfio_memory_range_initialize(&range, nullptr) != 1 ||
        libbfio_memory_range_set(range, reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size(),
                                 nullptr) != 1)
        Fail("libbfio starts");
    liblnk_file_t* file = nullptr;
    liblnk_error_t* error = nullptr;
    if (liblnk_file_initialize(&file, &error) != 1) Fail("liblnk starts");
    liblnk_file_set_ascii_codepage(file, LIBLNK_CODEPAGE_WINDOWS_1252, nullptr);
    if (liblnk_file_open_file_io_handle(file, range, LIBLNK_OPEN_READ, &error) != 1) {
        char message[512] = "";
        liblnk_error_sprint(error, message, sizeof message);
        Fail("every shortcut written is read by liblnk", message);
    }
    ReadBack result;
    result.localPath =
        LnkString(file, liblnk_file_get_utf8_local_path_size, liblnk_file_get_utf8_local_path);
    result.workingDirectory = LnkString(file, liblnk_file_get_utf8_working_directory_size,
                                        liblnk_file_get_utf8_working_directory);
    liblnk_file_close(file, nullptr);
    liblnk_file_free(&file, nullptr);
    libbfio_handle_free(&range, nullptr);
    return result;
}

void CheckItem(const GroupItem& item, std::size_t& checked) {
    if (!vx::grpconv::IsUsableFileName(item.shortcutName) || item.program.empty())
        Fail("an accepted item names a usable shortcut and a program", item.shortcutName);
    // What the converter stores: the program in the machine's code page.
    const std::optional<std::string> target = TheMachine().ToNarrow(item.program);
    if (!target) return;
    const std::optional<std::string> bytes =
        vx::grpconv::ShellLinkBytes(*target, item.workingDirectory);
    if (!bytes) return;
    if (checked++ >= kMaxShortcutsChecked) return;

    const ReadBack back = ReadShortcut(*bytes);
    if (back.localPath != item.program)
        Fail("a shortcut reads back with its target",
             item.program + " -> " + back.localPath.value_or("(none)"));
    const std::optional<std::string> expectedDirectory =
        item.workingDirectory.empty() ? std::nullopt : std::optional(item.workingDirectory);
    if (back.workingDirectory != expectedDirectory)
        Fail("a shortcut reads back with its working directory",
             item.workingDirectory + " -> " + back.workingDirectory.value_or("(none)"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The converter reads the script as narrow text and parses its UTF-8 form.
    const std::optional<std::string> text =
        TheMachine().ToUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!text) return 0;
    std::string error;
    const std::optional<std::vector<ProgramGroup>> groups =
        vx::grpconv::ParseGroupScript(*text, error);
    if (!groups) {
        if (error.empty()) Fail("a script refused says why");
        return 0;
    }
    std::size_t checked = 0;
    for (const ProgramGroup& group : *groups) {
        if (!vx::grpconv::IsUsableFileName(group.folderName))
            Fail("an accepted group names a usable folder", group.folderName);
        for (const GroupItem& item : group.items) CheckItem(item, checked);
    }
    return 0;
}
