#pragma once

#include <cstddef>
#include <cstdint>

namespace zg {

// Uniformly distributed values from the operating system's secure random source. Never
// predictable: without a working source the process stops.
std::uint64_t secureRandom64();
void secureRandomBytes(unsigned char* out, std::size_t size);

}  // namespace zg
