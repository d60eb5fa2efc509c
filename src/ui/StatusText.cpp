#include "ui/StatusText.h"

#include <algorithm>

namespace zg {

StatusLine statusLine(const std::optional<std::string>& inputProblem, bool joined,
                      const std::vector<std::string>& phoneNames,
                      const std::optional<std::string>& settingsProblem) {
    if (inputProblem) return {*inputProblem, false};
    if (!joined) return {"Connecting\u2026", false};
    if (phoneNames.empty() && settingsProblem) {
        return {"Settings not saved: " + *settingsProblem, false};
    }
    if (phoneNames.empty()) return {"Scan with your phone's camera", false};

    std::vector<std::string> names = phoneNames;
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::string text = "Connected: ";
    for (size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
    return {std::move(text), true};
}

std::string statusTooltip(const StatusLine& status, bool anyPhone, bool plain) {
    return (anyPhone ? "ZephyrGlint: " + status.text : "ZephyrGlint: waiting for a phone") +
           (plain ? " (the channel is not sealed)" : "");
}

}  // namespace zg
