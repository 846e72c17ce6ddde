/* The distribution folder's programs run on C libraries from version 2.34 on.
 * The C++ runtime linked into them asks for arc4random (2.36, for
 * std::random_device); the link (--wrap=arc4random) hands it this one, built
 * on getrandom (2.25) with /dev/urandom for kernels without it. */
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/random.h>
#include <unistd.h>

static int ReadUrandom(unsigned char* bytes, size_t count) {
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    size_t got = 0;
    while (got < count) {
        const ssize_t n = read(fd, bytes + got, count - got);
        if (n > 0) {
            got += (size_t)n;
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(fd);
    return got == count;
}

uint32_t __wrap_arc4random(void) {
    uint32_t value = 0;
    unsigned char* bytes = (unsigned char*)&value;
    size_t got = 0;
    while (got < sizeof value) {
        const ssize_t n = getrandom(bytes + got, sizeof value - got, 0);
        if (n > 0) {
            got += (size_t)n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            /* Like the C library's own, it never returns without randomness. */
            if (!ReadUrandom(bytes + got, sizeof value - got)) abort();
            got = sizeof value;
        }
    }
    return value;
}
