#pragma once

#include <functional>
#include <string>

#include "ui/TrayMenu.h"

namespace zg {

// What the tray menu's items do; the agent sets them when it launches, and each may be absent.
struct MenuActions {
    std::function<void()> show, newCode, toggleRing, toggleLogin, askAgain, quit;
    std::function<void(double speed)> setSpeed;
    // The check marks, asked for each time the menu opens.
    std::function<MenuTicks()> ticks;
};

// The agent's item in the system tray (status bar): an icon with a tooltip and the menu.
// Threading: main thread only.
class StatusItem {
public:
    virtual ~StatusItem() = default;
    virtual void setTooltip(const std::string& text) = 0;

    MenuActions actions;
};

}  // namespace zg
