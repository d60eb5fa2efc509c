#include "app/AppDelegate.h"

namespace zg {

AppDelegate::AppDelegate(Loop& loop, SettingsStore& settings, std::string defaultPhoneUrl,
                         Platform platform)
    : loop_(loop),
      config_(settings, std::move(defaultPhoneUrl)),
      link_(loop, std::move(platform.sockets), std::move(platform.relayUrl)) {
    if (platform.pointer && platform.keyboard) {
        input_ = std::make_unique<Input>(loop, *platform.pointer, *platform.keyboard);
        dispatcher_ = std::make_unique<Dispatcher>(loop, *input_, std::move(platform.hostName));
        if (platform.screenAccess && platform.capture) {
            streamer_ = std::make_unique<ScreenStreamer>(
                loop, *platform.screenAccess, std::move(platform.capture),
                [this](const std::string& event, Payload payload) {
                    link_.send(event, std::move(payload));
                });
        }
    }
}

void AppDelegate::launch() {
    if (input_) input_->speed = config_.speed();
    if (dispatcher_) {
        dispatcher_->send = [this](const std::string& event, Payload payload) {
            link_.send(event, std::move(payload));
        };
        link_.onMessage = [this](const std::string& event, const Payload& payload) {
            dispatcher_->onMessage(event, payload);
        };
        if (streamer_) wireStreamer();
    } else {
        say("no desktop to drive: phones' commands will be ignored");
    }
    link_.onUp = [this](bool up) { linkUp(up); };
    link_.start(channel());
    // Owned by this object, so the timer ends with it.
    housekeeping_ = loop_.every(kHousekeepingPeriod, [this] { housekeeping(); });
}

void AppDelegate::wireStreamer() {
    dispatcher_->screenStart = [this](double w, double h, double zoom, double dpr) {
        streamer_->start(w, h, zoom, dpr);
    };
    dispatcher_->screenStop = [this] { streamer_->stop(); };
    dispatcher_->screenAck = [this](int64_t n) { streamer_->ack(n); };
    // The phones learn of a problem, and of its end, from the next state report.
    streamer_->onError = [this](std::optional<std::string> problem) {
        dispatcher_->screenError = std::move(problem);
        dispatcher_->sendState();
    };
}

void AppDelegate::linkUp(bool up) {
    say(up ? "joined channel realtime:" + channel() : "channel lost; reconnecting");
    if (up && dispatcher_) dispatcher_->sendState();
}

void AppDelegate::housekeeping() {
    if (dispatcher_) dispatcher_->expire();
}

void AppDelegate::say(const std::string& line) const {
    if (log) log(line);
}

}  // namespace zg
