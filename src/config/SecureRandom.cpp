#include "config/SecureRandom.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>

namespace zg {
namespace {

bool fillFromKernel(unsigned char* out, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = getrandom(out + got, size - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// For kernels without getrandom(2) and sandboxes that forbid it.
bool fillFromDevice(unsigned char* out, std::size_t size) {
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = read(fd, out + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    return got == size;
}

}  // namespace

void secureRandomBytes(unsigned char* out, std::size_t size) {
    // A pairing code or secret drawn from anything weaker could be guessed, which would hand
    // control of this computer to a stranger; stopping is the lesser harm.
    if (!fillFromKernel(out, size) && !fillFromDevice(out, size)) std::abort();
}

std::uint64_t secureRandom64() {
    unsigned char bytes[sizeof(std::uint64_t)];
    secureRandomBytes(bytes, sizeof bytes);
    std::uint64_t value = 0;
    for (unsigned char b : bytes) value = (value << 8) | b;
    return value;
}

}  // namespace zg
