// What the fuzz targets share: a scratch folder that goes when the run ends,
// a small machine laid out in it, and the one way to report a broken property.
#pragma once

#include <string>
#include <string_view>

namespace vx::fuzz {

// Ends the run as a crash, so that libFuzzer keeps the input.
[[noreturn]] void Fail(std::string_view property, std::string_view detail = {});

// A fresh folder under $TMPDIR for this process, removed at exit.
const std::string& ScratchFolder();

// A machine folder (drive_c with windows/ and system32/, dosdevices/c:) in
// the scratch folder, created on first use; no Z: drive, so that no path
// reaches the host's own folders.
const std::string& MachineFolder();

// Writes `bytes` to the host file `path`, replacing it.
void WriteHostFile(const std::string& path, std::string_view bytes);

}  // namespace vx::fuzz
