#include "relay/TokenBucket.h"

#include <algorithm>

namespace zg::relay {

TokenBucket::TokenBucket(double ratePerSecond, double burst, Clock::time_point now)
    : rate_(ratePerSecond), burst_(burst), tokens_(burst), last_(now) {}

bool TokenBucket::take(Clock::time_point now) {
    if (now > last_) {
        const std::chrono::duration<double> elapsed = now - last_;
        tokens_ = std::min(burst_, tokens_ + elapsed.count() * rate_);
        last_ = now;
    }
    if (tokens_ < 1) return false;
    tokens_ -= 1;
    return true;
}

}  // namespace zg::relay
