#pragma once

#include <filesystem>

#include "platform/LoginItem.h"

namespace zg {

// Start at login through an XDG autostart entry, which every freedesktop session honours: the
// agent starts when the entry exists and is not hidden or disabled.
class XdgAutostart final : public LoginItem {
public:
    // `entry` is the desktop file; `program` the executable it starts (with "--tray").
    XdgAutostart(std::filesystem::path entry, std::filesystem::path program);

    // The entry of this user: $XDG_CONFIG_HOME/autostart/zephyrglint.desktop.
    static std::filesystem::path userEntry();

    bool enabled() const override;
    bool setEnabled(bool on, std::string& error) override;

private:
    std::filesystem::path entry_;
    std::filesystem::path program_;
};

// `argument` quoted for the Exec key of a desktop entry, so that any path survives.
std::string desktopExecArgument(const std::string& argument);

}  // namespace zg
