#include "app/Dispatcher.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "app/Messages.h"
#include "config/SecureRandom.h"
#include "input/Graphemes.h"

namespace zg {
namespace {

// 8 lower-case hex digits, new at every start, so phones address this run of the agent only.
std::string newHostId() {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08" PRIx32,
                  static_cast<uint32_t>(secureRandom64() >> 32));
    return digits;
}

// The integer part of `n`, cut toward zero; none when it does not fit in 64 bits (or is NaN).
std::optional<int64_t> integerPart(double n) {
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    const double whole = std::trunc(n);
    if (!(whole >= -kLimit && whole < kLimit)) return std::nullopt;
    return static_cast<int64_t>(whole);
}

// A number the phone sent; a missing or mistyped one reads as 0.
double number(const Payload& payload, std::string_view key) {
    return readNumber(payload, key).value_or(0.0);
}

// The name a phone gave, at most kMaxNameCharacters code points of it (a character is never
// split), or "Phone" when it gave none.
std::string deviceName(const Payload& payload) {
    const std::string device = readString(payload, "device").value_or("");
    if (device.empty()) return "Phone";
    size_t characters = 0;
    for (size_t i = 0; i < device.size(); ++i) {
        const bool starts = (static_cast<unsigned char>(device[i]) & 0xC0) != 0x80;
        if (starts && characters++ == Dispatcher::kMaxNameCharacters) return device.substr(0, i);
    }
    return device;
}

}  // namespace

Dispatcher::Dispatcher(Loop& loop, Input* input, std::string name)
    : loop_(loop), input_(input), hostId_(newHostId()), name_(std::move(name)) {}

void Dispatcher::onMessage(const std::string& event, const Payload& payload) {
    const std::string from = readString(payload, "from").value_or("");
    if (from.size() > kMaxPhoneIdBytes) return;
    if (event == "hello") {
        hello(from, payload);
    } else if (event == "bye") {
        bye(from);
    } else if (event == "cmd") {
        command(from, payload);
    }
}

void Dispatcher::broadcastState() {
    if (!send) return;
    send("state", statePayload({.hostId = hostId_,
                                .name = name_,
                                .drag = input_ && input_->dragging(),
                                .screenError = screenError,
                                .typeError = typeError_}));
}

void Dispatcher::sendFarewell() {
    states_.cancel();  // gone is the last word
    if (send) send("state", farewellPayload(hostId_, name_));
}

void Dispatcher::expire() {
    const Seconds now = loop_.now();
    std::erase_if(phones_,
                  [now](const auto& phone) { return now - phone.second.at > kPhoneExpiry; });
    departed();
}

std::pair<PhoneEntry*, bool> Dispatcher::admit(const std::string& from) {
    if (const auto known = phones_.find(from); known != phones_.end()) {
        known->second.at = loop_.now();
        return {&known->second, false};
    }
    if (phones_.size() >= kMaxPhones) {
        phones_.erase(std::ranges::min_element(phones_, {},
                                               [](const auto& phone) { return phone.second.at; }));
        departed();
    }
    PhoneEntry& entry = phones_[from];
    entry.at = loop_.now();
    return {&entry, true};
}

void Dispatcher::hello(const std::string& from, const Payload& payload) {
    if (from.empty()) return;
    const bool first = phones_.empty();
    admit(from).first->device = deviceName(payload);
    states_.request();  // soon, not at once: a flood of hellos shares its answers
    repaint();
    if (!first || !pairingShown) return;
    pairingShown = false;
    // The delay lets the person see that the phone got through; a phone that leaves at once
    // leaves the window up.
    loop_.after(kPairingHideDelay, lifetime_.guard([this] {
        if (!phones_.empty() && hidePairingWindow) hidePairingWindow();
    }));
}

void Dispatcher::bye(const std::string& from) {
    phones_.erase(from);
    departed();
    repaint();
}

void Dispatcher::command(const std::string& from, const Payload& payload) {
    const std::string to = readString(payload, "to").value_or("");
    if (!to.empty() && to != hostId_) return;
    if (!from.empty()) {
        // A known phone keeps the name from its "hello"; "device" only names a newcomer.
        if (const auto [entry, added] = admit(from); added) {
            entry->device = deviceName(payload);
            repaint();
        }
    }
    const std::string what = readString(payload, "do").value_or("");
    if (what == "down") holder_ = from;
    execute(what, payload);
}

void Dispatcher::execute(const std::string& what, const Payload& payload) {
    if (what == "screen") {
        if (!readBool(payload, "on").value_or(false)) {
            if (screenStop) screenStop();
        } else if (screenStart) {
            screenStart(number(payload, "w"), number(payload, "h"), number(payload, "zoom"),
                        number(payload, "dpr"));
        } else if (noScreen) {
            screenError = noScreen;
            sendState();
        }
    } else if (what == "ack") {
        // A frame number no int64 can hold is not one the agent sent: ignore it.
        const std::optional<int64_t> n = integerPart(number(payload, "n"));
        if (n && screenAck) screenAck(*n);
    } else if (what == "sync") {
        sendState();
    } else if (input_) {
        drive(*input_, what, payload);
    } else if (!inputIgnored_) {
        // Once: a phone's every gesture would otherwise flood the log.
        inputIgnored_ = true;
        if (log) log("a phone's input is ignored: this computer has no desktop to drive");
    }
}

void Dispatcher::drive(Input& input, const std::string& what, const Payload& payload) {
    if (what == "move") {
        input.move(number(payload, "dx"), number(payload, "dy"));
    } else if (what == "click") {
        input.click(false);
        sendState();
    } else if (what == "rclick") {
        input.click(true);
    } else if (what == "scroll") {
        input.scroll(number(payload, "dy"));
    } else if (what == "down" || what == "up") {
        input.hold(what == "down");
        sendState();
    } else if (what == "text") {
        const std::optional<std::string> text = readString(payload, "t");
        if (text && !text->empty() &&
            countGraphemes(*text, kMaxTextCharacters) <= kMaxTextCharacters) {
            untyped_.clear();
            input.text(*text);
            typed(true);
        }
    } else if (what == "key") {
        // A key no layout names is typed as a character, which may not be typable either.
        untyped_.clear();
        input.key(readString(payload, "k").value_or(""),
                  readStringList(payload, "mods").value_or(std::vector<std::string>{}));
        typed(false);
    }
}

void Dispatcher::untypable(std::string_view character) {
    std::string text(character);
    // Bounded: a phone sending ever new characters must not grow the agent's memory.
    if (untypedSaid_.size() < kMaxUntypedLogged && untypedSaid_.insert(text).second && log) {
        log("could not type \"" + text + "\": this desktop's keyboard layout has no key for it");
    }
    if (std::ranges::find(untyped_, text) == untyped_.end()) untyped_.push_back(std::move(text));
}

// Phones learn from the next state what a text left out, and that the next text went in
// whole; a named key says nothing of earlier text, so only its own failure is told.
void Dispatcher::typed(bool wholeText) {
    if (untyped_.empty()) {
        if (wholeText && std::exchange(typeError_, std::nullopt)) states_.request();
        return;
    }
    std::string named;
    for (size_t i = 0; i < untyped_.size() && i < kMaxUntypedNamed; ++i) {
        named += (i ? " " : "") + untyped_[i];
    }
    if (untyped_.size() > kMaxUntypedNamed) named += " …";
    typeError_ = "could not type: " + named;
    untyped_.clear();
    states_.request();
}

void Dispatcher::departed() {
    if (phones_.empty()) {
        standDown();
    } else if (input_ && input_->dragging() && !phones_.contains(holder_)) {
        // The phone that pressed the button cannot lift it any more; the others see it up.
        input_->release();
        sendState();
    }
}

void Dispatcher::standDown() {
    if (input_) input_->release();
    if (screenStop) screenStop();
}

void Dispatcher::repaint() {
    paints_.request();
}

}  // namespace zg
