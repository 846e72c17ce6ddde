// Host descriptors: owned, written and read whole, their errors as Win32 codes.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <optional>
#include <string>

namespace vx::host {

// An open descriptor, closed when this goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// Writes all of `bytes`, going on after short writes and interruptions.
// Safe in a signal handler.
bool WriteAll(int fd, const char* bytes, std::size_t count);

// Reads `fd` to its end, going on after interruptions; nullopt on a read
// error or once more than `limit` bytes have come.
std::optional<std::string> ReadAll(int fd, std::size_t limit);

// Reads exactly `count` bytes into `out`, going on after interruptions;
// false on a read error or an early end of file.
bool ReadExactly(int fd, void* out, std::size_t count);

// The Win32 error code closest to a host errno value.
int Win32ErrorFromErrno(int error);

}  // namespace vx::host
