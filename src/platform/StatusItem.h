#pragma once

#include <string>

namespace zg {

// The agent's item in the system tray (status bar): an icon with a tooltip and the menu.
// Threading: main thread only.
class StatusItem {
public:
    virtual ~StatusItem() = default;
    virtual void setTooltip(const std::string& text) = 0;
};

}  // namespace zg
