#pragma once

#include <cstdint>

#include "platform/Geometry.h"

namespace zg {

// One monitor a screen-cast session shows: its PipeWire node and where the monitor lies on the
// desktop, in logical (global) points.
struct ScreenStream {
    uint32_t nodeId = 0;
    Rect logical;
    bool operator==(const ScreenStream&) const = default;
};

}  // namespace zg
