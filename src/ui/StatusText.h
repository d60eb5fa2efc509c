#pragma once

#include <string>
#include <vector>

namespace zg {

// The one-line status of the pairing window and whether its dot is lit.
struct StatusLine {
    std::string text;
    bool on = false;
    bool operator==(const StatusLine&) const = default;
};

// What the agent shows about itself, most pressing first: a missing input permission, then a
// channel not yet joined, then the connected phones' names (each once, in code-point order).
StatusLine statusLine(bool trusted, bool joined, const std::vector<std::string>& phoneNames);

// The tray item's tooltip: the status while phones are connected, otherwise that the agent waits.
std::string statusTooltip(const StatusLine& status, bool anyPhone);

}  // namespace zg
