#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/Dispatcher.h"
#include "config/Config.h"
#include "input/Input.h"
#include "link/RealtimeLink.h"
#include "platform/Loop.h"
#include "platform/ScreenAccess.h"
#include "screen/ScreenStreamer.h"

namespace zg {

// What the agent needs from the machine it runs on, chosen by the program entry.
struct Platform {
    WebSocketFactory sockets;
    std::string relayUrl;
    // The desktop to drive; both absent when there is none, and phones' commands are ignored.
    Pointer* pointer = nullptr;
    Keyboard* keyboard = nullptr;
    // Pictures of that desktop; without both, phones asking for the screen get nothing.
    ScreenAccess* screenAccess = nullptr;
    ScreenStreamer::Capture capture = nullptr;
    std::string hostName;
};

// Owns every component of the agent and wires them together; the one place that knows them all.
// Threading: main thread only.
class AppDelegate {
public:
    static constexpr Seconds kHousekeepingPeriod = 2.0;

    // Makes sure a valid pairing code is stored before anything else runs.
    AppDelegate(Loop& loop, SettingsStore& settings, std::string defaultPhoneUrl,
                Platform platform);
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Lines for the user's log; may be absent.
    std::function<void(const std::string& line)> log;

    // Wires the components, joins the channel of the stored code and starts housekeeping.
    void launch();

    const Config& config() const { return config_; }
    const RealtimeLink& link() const { return link_; }
    // Absent without a desktop.
    const Dispatcher* dispatcher() const { return dispatcher_.get(); }

private:
    std::string channel() const { return "zephyrglint-" + config_.code(); }
    void wireStreamer();
    void linkUp(bool up);
    void housekeeping();
    void say(const std::string& line) const;

    Loop& loop_;
    Config config_;
    RealtimeLink link_;
    std::unique_ptr<Input> input_;
    std::unique_ptr<Dispatcher> dispatcher_;
    std::unique_ptr<ScreenStreamer> streamer_;  // sends through link_, so declared after it
    ScheduledHandle housekeeping_;
};

}  // namespace zg
