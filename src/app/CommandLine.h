#pragma once

#include <optional>
#include <string>
#include <vector>

#include "relay/ListenAddress.h"

namespace zg {

// Which way the agent drives the desktop: X11 directly, or the desktop portal (Wayland).
enum class DesktopLayer { Automatic, X11, Portal };

// What the agent was asked to do on its command line.
struct AgentOptions {
    bool help = false;
    bool version = false;
    // Start without showing the pairing window.
    bool tray = false;
    // Also print the QR code of the phone link in the terminal.
    bool terminalCode = false;
    // Also hear phones that cannot seal their messages, and speak to them in the open.
    bool plain = false;
    // A relay to use instead of the embedded one (ws:// or wss://).
    std::optional<std::string> relayUrl;
    // Where the embedded relay listens: every interface, so that phones on the LAN reach it.
    ListenAddress listen{"", 8787};
    // Automatic: the portal in a Wayland session, else X11.
    DesktopLayer desktop = DesktopLayer::Automatic;
};

// The options; nothing when the command line cannot be used, and `error` says why.
std::optional<AgentOptions> parseAgentOptions(const std::vector<std::string>& args,
                                              std::string& error);

// The text --help prints.
std::string agentUsage(const std::string& program);

}  // namespace zg
