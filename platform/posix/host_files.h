// The host side of the shell's copy and delete: plain host paths in, Win32
// error codes out, so that the file work can be tested and timed without a
// machine folder around it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vx::posix {

// Bytes copied so far and the size the copy expects to reach.
using CopyProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Copies the regular file `source` to `destination`, whose folder must exist.
// The bytes go into a hidden temporary file beside the destination, which is
// flushed, given the source's permission bits and renamed over the
// destination; on any failure the temporary file is removed and the
// destination is left as it was. DE_SAMEFILE when `destination` is `source`
// under another name. Returns 0 or a Win32 error code.
int CopyHostFile(const std::string& source, const std::string& destination,
                 const CopyProgress& progress = {});

// Removes `path`: a file or a symbolic link itself, or a folder with
// everything in it. Never follows a link and never enters another mount; a
// mount point inside the tree stops the removal with an error, leaving it and
// the folders above it. Returns 0 or a Win32 error code.
int RemoveHostTree(const std::string& path);

// The same for the open folder `folder` itself, wherever it now is: its
// contents are removed through the descriptor, and the folder from the
// folder that holds it now, found through "..". `wholeTree` false removes it
// only when it is empty.
int RemoveHostTreeAt(int folder, bool wholeTree);

// Creates the folder `path` and every missing folder above it. Returns 0 or a
// Win32 error code.
int CreateHostFolders(const std::string& path);

// The Win32 error code closest to a host errno value.
int Win32ErrorFromErrno(int error);

}  // namespace vx::posix
