#include "screen/FramePayload.h"

#include <utility>

namespace zg {

Payload framePayload(int64_t n, double zoom, std::string img) {
    return {{"n", n}, {"z", zoom}, {"img", std::move(img)}};
}

}  // namespace zg
