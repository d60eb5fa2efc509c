#pragma once

#include <cstdint>
#include <string>

#include "link/Payload.h"

namespace zg {

// The "frame" event's payload: sequence number, the zoom the image was captured at, and the
// JPEG in Base64.
Payload framePayload(int64_t n, double zoom, std::string img);

}  // namespace zg
