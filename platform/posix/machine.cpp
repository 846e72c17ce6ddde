#include "platform/posix/machine.h"

namespace vx::posix {

std::string LocateMachineFolder() { return {}; }
bool PrepareMachineFolder(const std::string&) { return false; }

Machine::Machine(MachineOptions options)
    : folder_(std::move(options.machineFolder)),
      programPath_(std::move(options.programPath)),
      codePage_(options.codePage) {}

std::optional<std::string> Machine::ToUtf8(std::string_view) const { return std::nullopt; }
std::optional<std::string> Machine::ToNarrow(std::string_view) const { return std::nullopt; }
bool Machine::IsLeadByte(unsigned char) const { return false; }
std::optional<HostPath> Machine::Map(std::string_view) const { return std::nullopt; }
std::optional<std::string> Machine::ToWindowsPath(const std::string&) const { return std::nullopt; }

}  // namespace vx::posix
