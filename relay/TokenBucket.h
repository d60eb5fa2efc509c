#pragma once

#include <chrono>

namespace zg::relay {

// Allows `ratePerSecond` on average and up to `burst` at once.
class TokenBucket {
public:
    using Clock = std::chrono::steady_clock;

    TokenBucket(double ratePerSecond, double burst, Clock::time_point now);

    // Takes one token if there is one.
    bool take(Clock::time_point now);

private:
    double rate_;
    double burst_;
    double tokens_;
    Clock::time_point last_;
};

}  // namespace zg::relay
