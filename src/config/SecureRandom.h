#pragma once

#include <cstdint>

namespace zg {

// A uniformly distributed 64-bit value from the operating system's secure random source.
// Never returns predictable values: without a working source the process stops.
std::uint64_t secureRandom64();

}  // namespace zg
