#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zg {

// The one-line status of the pairing window and whether its dot is lit.
struct StatusLine {
    std::string text;
    bool on = false;
    bool operator==(const StatusLine&) const = default;
};

// What the agent shows about itself, most pressing first: why input cannot reach the desktop
// (`inputProblem`, in the desktop's words), then a channel not yet joined, then the connected
// phones' names (each once, in code-point order); with none, why settings are not saved
// (`settingsProblem`, in the system's words), since the code shown may not outlive the agent.
StatusLine statusLine(const std::optional<std::string>& inputProblem, bool joined,
                      const std::vector<std::string>& phoneNames,
                      const std::optional<std::string>& settingsProblem = std::nullopt);

// The tray item's tooltip: the status while phones are connected, otherwise that the agent
// waits; and that anyone can listen, when plain phones are allowed.
std::string statusTooltip(const StatusLine& status, bool anyPhone, bool plain = false);

}  // namespace zg
