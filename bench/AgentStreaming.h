#pragma once

#include <functional>
#include <optional>
#include <string>

namespace zg::bench {

// What streaming cost the agent, measured over a stretch of full-pace streaming.
struct StreamingLoad {
    double framesPerSecond = 0;
    double cpuShare = 0;     // of one core: 1 is a core busy all the time
    double cpuPerFrame = 0;  // milliseconds
    double imageChars = 0;   // mean characters of the sealed message per frame
};

// Starts the agent binary on `display` with its embedded relay, and a phone that asks for the
// default view and acknowledges every frame as soon as it arrives. `nudge` runs after each
// frame and must change the picture (move the pointer), or the agent would hold frames back
// as unchanged. Reads the agent's CPU time across `seconds` after a warm-up. Nothing, with
// `error` set, when the agent or the phone does not come up or no frame arrives.
std::optional<StreamingLoad> streamDefaultView(const std::string& display,
                                               const std::function<void()>& nudge, double seconds,
                                               std::string& error);

}  // namespace zg::bench
