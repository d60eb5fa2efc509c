#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/Throttle.h"
#include "input/Input.h"
#include "link/Payload.h"
#include "platform/Loop.h"

namespace zg {

// A phone the agent has heard from.
struct PhoneEntry {
    std::string device;  // the name shown for it
    Seconds at = 0;      // when its last "hello" or accepted "cmd" arrived, on the loop's clock
};

// Acts on the phones' messages: registers phones, drives Input and the screen stream, and
// reports this computer's state to the channel. Collaborators are reached through the
// callbacks, each of which may be absent. Without a desktop or a screen capture, phones are
// still registered and answered; what cannot be done is ignored or explained.
// Threading: main thread only.
class Dispatcher {
public:
    static constexpr Seconds kPhoneExpiry = 45.0;
    static constexpr Seconds kPairingHideDelay = 1.2;
    // A flood of hellos is answered by one state per kStateGap and one repaint per
    // kRepaintGap, the last one after the last hello.
    static constexpr Seconds kStateGap = 0.25;
    static constexpr Seconds kRepaintGap = 0.1;
    static constexpr size_t kMaxTextCharacters = 4000;
    // Beyond this, a newcomer takes the place of the phone heard from least recently.
    static constexpr size_t kMaxPhones = 16;
    // Device names are cut to this many code points before they are kept or shown.
    static constexpr size_t kMaxNameCharacters = 64;
    // Phones name themselves with 16 hex digits; a message from a longer id is ignored.
    static constexpr size_t kMaxPhoneIdBytes = 64;
    // A text's characters that could not be typed are named to the phones up to this many.
    static constexpr size_t kMaxUntypedNamed = 8;
    // The log names each character it could not type once, up to this many in a run.
    static constexpr size_t kMaxUntypedLogged = 256;

    // `name` is this computer's display name; `input` is absent without a desktop, and the
    // phones' input is then ignored. A fresh host id is drawn for every dispatcher.
    Dispatcher(Loop& loop, Input* input, std::string name);
    Dispatcher(const Dispatcher&) = delete;
    Dispatcher& operator=(const Dispatcher&) = delete;

    // Broadcasts one event on the channel; lost when the channel is down.
    std::function<void(const std::string& event, Payload payload)> send;
    // Refreshes the status shown to the user, which lists the phones.
    std::function<void()> paint;
    // Hides the pairing window once the first phone has arrived.
    std::function<void()> hidePairingWindow;
    // The screen stream: start or restart with the phone's view, stop, frames received up to n.
    std::function<void(double w, double h, double zoom, double dpr)> screenStart;
    std::function<void()> screenStop;
    std::function<void(int64_t n)> screenAck;
    // Lines for the user's log.
    std::function<void(const std::string& line)> log;

    // The screen stream's current problem, reported in every "state" while set.
    std::optional<std::string> screenError;
    // Why the screen cannot be shown here, when it cannot (screenStart is then absent): a phone
    // asking for it gets this as the screen error.
    std::optional<std::string> noScreen;
    // The pairing window was opened automatically and is to hide when the first phone says
    // hello.
    bool pairingShown = false;

    const std::string& hostId() const { return hostId_; }
    const std::map<std::string, PhoneEntry>& phones() const { return phones_; }

    // One application event received on the channel.
    void onMessage(const std::string& event, const Payload& payload);
    // Broadcasts a "state" report now.
    void sendState() { states_.run(); }
    // Tells the phones this computer is leaving.
    void sendFarewell();
    // Forgets every phone at once, as when the pairing code changes.
    void forgetPhones() { phones_.clear(); }
    // A character of the text being typed that the desktop has no key for: the phones are
    // told with the next state, and the log says it once per character.
    void untypable(std::string_view character);
    // Forgets phones silent for longer than kPhoneExpiry. The button is let go once the phone
    // that pressed it has gone; with no phone left, the stream stops too (again, if need be),
    // so nothing runs for a phone that left.
    void expire();

private:
    // The entry for `from`, heard from now, and whether it is new.
    std::pair<PhoneEntry*, bool> admit(const std::string& from);
    void hello(const std::string& from, const Payload& payload);
    void bye(const std::string& from);
    void command(const std::string& from, const Payload& payload);
    void execute(const std::string& what, const Payload& payload);
    void drive(Input& input, const std::string& what, const Payload& payload);
    void typed(bool wholeText);
    void broadcastState();
    void departed();
    void standDown();
    void repaint();

    Loop& loop_;
    Input* const input_;
    bool inputIgnored_ = false;  // said once in the log
    std::string holder_;         // the phone whose "down" holds the button, while it does
    const std::string hostId_;
    const std::string name_;
    std::map<std::string, PhoneEntry> phones_;
    std::vector<std::string> untyped_;   // of the text being typed, each once, in order
    std::set<std::string> untypedSaid_;  // in the log
    std::optional<std::string> typeError_;
    Throttle states_{loop_, kStateGap, [this] { broadcastState(); }};
    Throttle paints_{loop_, kRepaintGap, [this] {
                         if (paint) paint();
                     }};
    Lifetime lifetime_;  // the delayed window hiding does nothing once the dispatcher is gone
};

}  // namespace zg
