// The version resource of whatever library already sits in the system
// directory: the file is arbitrary bytes, read through the same calls the
// install procedure makes before it replaces a runtime library.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/posix/posix_system_services.h"

namespace {

using vx::fuzz::Fail;

constexpr const char* kLibrary = "C:\\windows\\system32\\MSVCRT.DLL";

vx::posix::PosixSystemServices& TheServices() {
    static vx::posix::PosixSystemServices* const sys = new vx::posix::PosixSystemServices(
        {vx::fuzz::MachineFolder(), "/nonexistent/install", vx::posix::CodePage::Windows1252});
    return *sys;
}

// Copies the version block into a buffer of exactly `length` bytes and looks
// up its fixed information, which must lie inside what was copied.
bool Query(vx::posix::PosixSystemServices& sys, vx::DWORD length) {
    std::vector<unsigned char> block(length);
    if (!sys.GetFileVersionInfoA(kLibrary, 0, length, block.data())) return false;
    void* fixed = nullptr;
    vx::UINT fixedLength = 0;
    if (!sys.VerQueryValueA(block.data(), "\\", &fixed, &fixedLength)) return false;
    const auto* at = static_cast<const unsigned char*>(fixed);
    if (at < block.data() || fixedLength != sizeof(vx::VS_FIXEDFILEINFO) ||
        static_cast<std::size_t>(at - block.data()) + fixedLength > length)
        Fail("the fixed file information lies inside the copied block");
    vx::VS_FIXEDFILEINFO info;
    std::memcpy(&info, fixed, sizeof info);
    if (info.dwSignature != vx::VS_FFI_SIGNATURE) Fail("the fixed file information is signed");
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vx::posix::PosixSystemServices& sys = TheServices();
    vx::fuzz::WriteHostFile(vx::fuzz::MachineFolder() + "/drive_c/windows/system32/MSVCRT.DLL",
                            std::string_view(reinterpret_cast<const char*>(data), size));
    vx::DWORD handle = 1;
    const vx::DWORD length = sys.GetFileVersionInfoSizeA(kLibrary, &handle);
    if (handle != 0) Fail("the handle is zeroed");
    if (length == 0) return 0;
    if (length > size) Fail("the version block lies inside the file");
    // A copy cut short, as a caller with a smaller buffer makes, of a block
    // whose fixed information was found.
    if (Query(sys, length)) Query(sys, length / 2 < 6 ? 6 : length / 2);
    return 0;
}
