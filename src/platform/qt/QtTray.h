#pragma once

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <array>

#include "platform/StatusItem.h"
#include "ui/TrayMenu.h"

namespace zg {

// The agent's tray icon and its menu, through the desktop's system tray.
class QtTray final : public QObject, public StatusItem {
public:
    QtTray();

    void setTooltip(const std::string& text) override;
    // Whether a system tray shows the icon now.
    static bool available();

private:
    void refreshTicks();

    QMenu menu_;
    QMenu speedMenu_;
    std::array<QAction*, menu::kSpeeds.size()> speedItems_{};
    QAction* ring_ = nullptr;
    QAction* login_ = nullptr;
    QAction* askAgain_ = nullptr;
    QSystemTrayIcon icon_;
};

// The tray icon: an arrow pointer, white with a dark edge so it reads on light and dark panels.
QIcon arrowIcon();

}  // namespace zg
