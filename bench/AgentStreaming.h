#pragma once

#include <QByteArray>
#include <QProcessEnvironment>

#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// The desktop the agent runs on: its environment (DISPLAY, or WAYLAND_DISPLAY and the session
// bus), and what its log says once it can drive and show that desktop (empty: joining its
// channel is enough, as on X).
struct AgentDesktop {
    QProcessEnvironment environment;
    QByteArray readyLine;
};

// As above, on any desktop.
std::optional<StreamingLoad> streamDefaultView(const AgentDesktop& desktop,
                                               const std::function<void()>& nudge, double seconds,
                                               std::string& error);

// The agent's share of one core across `seconds` with a phone connected and nothing streamed:
// what it costs to keep its desktop and its link, which streaming figures include.
std::optional<double> idleCpuShare(const AgentDesktop& desktop, double seconds, std::string& error);

// Milliseconds from a phone sending a "move" (a few points left and right in turn) to
// `arrived` holding, for `count` moves, each sent once the one before has arrived. `arrived`
// is asked whenever the event loop wakes, and must take up what it saw so that the next move
// is seen afresh. Moves are first sent until one arrives (a new input session drops its first
// events); nothing, with `error` set, if none does or the agent does not come up. A move that
// does not arrive within two seconds is left out and counted in `lost`.
std::optional<std::vector<double>> timeMoves(const AgentDesktop& desktop, int count,
                                             const std::function<bool()>& arrived, int& lost,
                                             std::string& error);

}  // namespace zg::bench
