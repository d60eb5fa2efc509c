#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/Dispatcher.h"
#include "app/PhoneChannel.h"
#include "config/Config.h"
#include "input/Input.h"
#include "link/RealtimeLink.h"
#include "platform/LoginItem.h"
#include "platform/Loop.h"
#include "platform/PairingView.h"
#include "platform/Permissions.h"
#include "platform/RingView.h"
#include "platform/ScreenAccess.h"
#include "platform/StatusItem.h"
#include "screen/ScreenStreamer.h"
#include "ui/Ring.h"
#include "ui/TrayMenu.h"

namespace zg {

// What the agent needs from the machine it runs on, chosen by the program entry.
struct Platform {
    WebSocketFactory sockets;
    std::string relayUrl;
    // The desktop to drive; both absent when there is none: phones are still answered, and
    // their input is ignored.
    Pointer* pointer = nullptr;
    Keyboard* keyboard = nullptr;
    // Pictures of that desktop; without both, phones asking for the screen are told why not.
    ScreenAccess* screenAccess = nullptr;
    ScreenStreamer::Capture capture = nullptr;
    std::string hostName;
    // Whether posted input reaches the desktop; absent means it does.
    Permissions* permissions = nullptr;
    // Phones that cannot seal are heard too, and everything is also said in the open.
    bool plainPhones = false;
};

// The agent's face on the desktop. Each part may be absent (no display, no tray), and the agent
// works on without it.
struct Face {
    PairingView* window = nullptr;
    StatusItem* item = nullptr;
    RingView* ring = nullptr;
    LoginItem* login = nullptr;
    // Asks the desktop for access to its input again, or opens the settings where the user
    // grants it; absent where nothing can be asked.
    std::function<void()> askPermission;
    // Ends the event loop, and with it the agent.
    std::function<void()> terminate;
};

// Owns every component of the agent and wires them together; the one place that knows them all.
// Threading: main thread only.
class AppDelegate {
public:
    static constexpr Seconds kHousekeepingPeriod = 2.0;
    // Long enough for the farewell to leave before the connection goes.
    static constexpr Seconds kQuitDelay = 0.3;

    // Makes sure a valid pairing code is stored before anything else runs.
    AppDelegate(Loop& loop, SettingsStore& settings, std::string defaultPhoneUrl, Platform platform,
                Face face = {});
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Lines for the user's log; may be absent.
    std::function<void(const std::string& line)> log;

    // Wires the components, joins the channel of the stored code, starts housekeeping and,
    // unless started in the tray, brings the pairing window up.
    void launch(bool inTray);

    // Refreshes the status line and the tooltip from the current state.
    void paint();
    // After the machine wakes from sleep: a fresh connection on the stored code's channel.
    void wake();
    // The desktop's answer about input may have changed: the status line says it (the answer
    // is also asked for every few seconds).
    void permissionsChanged();

    // The tray menu's actions, which launch() gives the status item.
    void showPairing();
    void newCode();
    void setSpeed(double speed);
    void toggleRing();
    void toggleLogin();
    void quit();
    MenuTicks ticks() const;

    const Config& config() const { return config_; }
    Config& config() { return config_; }
    const RealtimeLink& link() const { return link_; }
    const Dispatcher& dispatcher() const { return *dispatcher_; }

private:
    std::string channel() const { return "zephyrglint-" + config_.code(); }
    void wireMenu(MenuActions& menu);
    void wireStreamer();
    void wireInput();
    void linkUp(bool up);
    void housekeeping();
    void setLogin(bool on);
    void releaseAndStop();
    bool inputTrusted() const;
    Ring* ring();
    void say(const std::string& line) const;
    void checkSettings();

    Loop& loop_;
    Face face_;
    Permissions* permissions_;
    Config config_;
    RealtimeLink link_;
    std::unique_ptr<Input> input_;  // absent without a desktop
    Keyboard* keyboard_ = nullptr;  // the desktop's, while there is one
    std::unique_ptr<Dispatcher> dispatcher_;
    std::unique_ptr<PhoneChannel> channel_;     // sends through link_, so declared after it
    std::unique_ptr<ScreenStreamer> streamer_;  // sends through channel_
    std::unique_ptr<Ring> ring_;                // made on first use
    bool trusted_ = false;
    std::optional<StoreProblem> settingsProblem_;
    ScheduledHandle housekeeping_;
    Lifetime lifetime_;
};

}  // namespace zg
