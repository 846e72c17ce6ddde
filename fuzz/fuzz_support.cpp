#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/posix/machine.h"

namespace vx::fuzz {

namespace fs = std::filesystem;

void Fail(std::string_view property, std::string_view detail) {
    std::fprintf(stderr, "property broken: %.*s\n", static_cast<int>(property.size()),
                 property.data());
    if (!detail.empty())
        std::fprintf(stderr, "  %.*s\n", static_cast<int>(detail.size()), detail.data());
    abort();
}

const std::string& ScratchFolder() {
    // Never destroyed, so that the exit handler still finds it.
    static const std::string* const folder = [] {
        std::string pattern = (fs::temp_directory_path() / "vx-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) Fail("a scratch folder can be made", pattern);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(ScratchFolder(), ec);
        });
        return new std::string(pattern);
    }();
    return *folder;
}

const std::string& MachineFolder() {
    static const std::string folder = [] {
        const std::string machine = ScratchFolder() + "/machine";
        if (!posix::PrepareMachineFolder(machine)) Fail("the machine folder can be laid out");
        std::error_code ec;
        fs::remove(machine + "/dosdevices/z:", ec);
        return machine;
    }();
    return folder;
}

void WriteHostFile(const std::string& path, std::string_view bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Fail("a scratch file can be written", path);
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    close(fd);
    if (written != static_cast<ssize_t>(bytes.size())) Fail("a scratch file can be written", path);
}

}  // namespace vx::fuzz
