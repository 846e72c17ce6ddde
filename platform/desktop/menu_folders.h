// The folders of the desktop's menu below the user's base folders, reached
// without following a link, and the record of the folders we made there, so
// that a withdrawal can take them away again once they are empty.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host_files.h"

namespace vx::desktop {

// The host primitives the menu's files are written with.
using host::CreateHostFolders;
using host::PendingFile;
using host::ReadAll;
using host::RealPath;
using host::UniqueFd;
using host::WriteAll;

int OpenBase(const std::string& path);

// The folder `relative` ("a/b/c") below the open folder `base`, reached
// without following a link; created where missing when `created` is given,
// each new folder's relative path appended to it.
UniqueFd OpenBelow(int base, const std::string& relative, std::vector<std::string>* created);

// The names in an open folder, sorted, without the hidden ones.
std::vector<std::string> ListFolder(int folder);

// A regular file's bytes, never through a link; nullopt otherwise.
std::optional<std::string> ReadAt(int folder, const std::string& name);
bool Exists(int folder, const std::string& name);
// Replaces the file atomically.
bool WriteAt(int folder, const std::string& name, std::string_view bytes);

// Removes the regular file `name` when `isOurs` says so of its bytes.
bool RemoveIfOurs(int folder, const std::string& name,
                  const std::function<bool(const std::string&)>& isOurs);

// Desktops look for new icons when the theme's folder changes.
void TouchIconTheme(int data);

// Adds the folders a publication created ("data/..." and "config/..."
// paths) to the machine's record of them.
void RecordFolders(int data, const std::string& machineHash, const std::vector<std::string>& made);

// Removes the recorded folders that are empty now, deepest first, and drops
// them (and those already gone) from each record.
void RemoveEmptyRecordedFolders(int data, int config);

}  // namespace vx::desktop
