#pragma once

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <array>
#include <functional>

#include "platform/StatusItem.h"
#include "ui/TrayMenu.h"

namespace zg {

// What the tray menu's items do; each may be absent.
struct TrayActions {
    std::function<void()> show, newCode, toggleRing, toggleLogin, quit;
    std::function<void(double speed)> setSpeed;
    // The check marks, asked for each time the menu opens.
    std::function<MenuTicks()> ticks;
};

// The agent's tray icon and its menu, through the desktop's system tray.
class QtTray final : public QObject, public StatusItem {
public:
    explicit QtTray(TrayActions actions);

    void setTooltip(const std::string& text) override;
    // Whether a system tray shows the icon now.
    static bool available();

private:
    void refreshTicks();

    TrayActions actions_;
    QMenu menu_;
    QMenu speedMenu_;
    std::array<QAction*, menu::kSpeeds.size()> speedItems_{};
    QAction* ring_ = nullptr;
    QAction* login_ = nullptr;
    QSystemTrayIcon icon_;
};

// The tray icon: an arrow pointer, white with a dark edge so it reads on light and dark panels.
QIcon arrowIcon();

}  // namespace zg
