#include "app/AppDelegate.h"

#include "ui/StatusText.h"

namespace zg {

AppDelegate::AppDelegate(Loop& loop, SettingsStore& settings, std::string defaultPhoneUrl,
                         Platform platform, Face face)
    : loop_(loop),
      face_(std::move(face)),
      permissions_(platform.permissions),
      config_(settings, std::move(defaultPhoneUrl)),
      link_(loop, std::move(platform.sockets), std::move(platform.relayUrl)) {
    config_.log = [this](const std::string& line) { say(line); };
    if (platform.pointer && platform.keyboard) {
        input_ = std::make_unique<Input>(loop, *platform.pointer, *platform.keyboard);
    }
    dispatcher_ = std::make_unique<Dispatcher>(loop, input_.get(), std::move(platform.hostName));
    if (input_) keyboard_ = platform.keyboard;
    channel_ = std::make_unique<PhoneChannel>(
        loop,
        [this](const std::string& event, Payload payload) {
            link_.send(event, std::move(payload));
        },
        config_.secret(), dispatcher_->hostId(), platform.plainPhones || config_.plainPhones());
    if (!input_) {
        dispatcher_->noScreen = "this computer has no desktop to show";
    } else if (!platform.screenAccess || !platform.capture) {
        dispatcher_->noScreen = "the screen cannot be captured here";
    } else {
        streamer_ = std::make_unique<ScreenStreamer>(
            loop, *platform.screenAccess, std::move(platform.capture),
            [this](int64_t n, double zoom, std::string_view jpeg) {
                return channel_->sendFrame(n, zoom, jpeg, ScreenStreamer::kMaxImageChars);
            });
    }
}

AppDelegate::~AppDelegate() {
    // The face and the keyboard outlive the agent; their callbacks must not reach a destroyed
    // one.
    if (keyboard_) keyboard_->onUntypable = nullptr;
    if (face_.window) face_.window->onStatusClick = nullptr;
    if (face_.item) face_.item->actions = {};
}

void AppDelegate::launch(bool inTray) {
    if (input_) wireInput();
    checkSettings();
    if (config_.isNew()) setLogin(true);
    if (face_.item) wireMenu(face_.item->actions);
    if (face_.window) {
        face_.window->showCode(config_.link());
        face_.window->onStatusClick = [this] {
            if (!inputTrusted() && face_.askPermission) face_.askPermission();
        };
    }
    dispatcher_->send = [this](const std::string& event, Payload payload) {
        channel_->send(event, payload);
    };
    dispatcher_->paint = [this] { paint(); };
    dispatcher_->hidePairingWindow = [this] {
        if (face_.window) face_.window->hide();
    };
    dispatcher_->log = [this](const std::string& line) { say(line); };
    channel_->onMessage = [this](const std::string& event, const Payload& payload) {
        dispatcher_->onMessage(event, payload);
    };
    channel_->log = [this](const std::string& line) { say(line); };
    link_.onMessage = [this](const std::string& event, const Payload& payload) {
        channel_->receive(event, payload);
    };
    link_.log = [this](const std::string& line) { say(line); };
    if (channel_->plain()) say("plain phones allowed: the channel is not sealed");
    if (streamer_) wireStreamer();
    link_.onUp = [this](bool up) { linkUp(up); };
    link_.start(channel());
    trusted_ = inputTrusted();
    // Owned by this object, so the timer ends with it.
    housekeeping_ = loop_.every(kHousekeepingPeriod, [this] { housekeeping(); });
    paint();
    if (inTray || !face_.window) return;
    face_.window->present();
    dispatcher_->pairingShown = true;
}

void AppDelegate::wireInput() {
    input_->speed = config_.speed();
    keyboard_->onUntypable = [this](std::string_view character) {
        dispatcher_->untypable(character);
    };
    input_->onPointer = [this](Point at, bool pulse) {
        // The ring would sit in the middle of every frame the phone sees, so it keeps away
        // while the screen is streamed: the phone's view is centred on the pointer anyway.
        if (!config_.ring() || (streamer_ && streamer_->streaming())) return;
        if (Ring* shown = ring()) shown->at(at, pulse);
    };
}

void AppDelegate::wireMenu(MenuActions& menu) {
    menu = {.show = [this] { showPairing(); },
            .newCode = [this] { newCode(); },
            .toggleRing = [this] { toggleRing(); },
            .toggleLogin = [this] { toggleLogin(); },
            .askAgain = face_.askPermission,
            .quit = [this] { quit(); },
            .setSpeed = [this](double speed) { setSpeed(speed); },
            .ticks = [this] { return ticks(); }};
}

void AppDelegate::wireStreamer() {
    dispatcher_->screenStart = [this](double w, double h, double zoom, double dpr) {
        if (ring_) ring_->off();
        streamer_->start(w, h, zoom, dpr);
    };
    dispatcher_->screenStop = [this] { streamer_->stop(); };
    dispatcher_->screenAck = [this](int64_t n) { streamer_->ack(n); };
    streamer_->ownWindows = [this] {
        std::vector<Rect> windows;
        if (face_.window) {
            if (const auto rect = face_.window->onScreen()) windows.push_back(*rect);
        }
        return windows;
    };
    // The phones learn of a problem, and of its end, from the next state report.
    streamer_->onError = [this](std::optional<std::string> problem) {
        dispatcher_->screenError = std::move(problem);
        dispatcher_->sendState();
    };
}

void AppDelegate::linkUp(bool up) {
    say(up ? "joined channel realtime:" + channel() : "channel lost; reconnecting");
    if (up) dispatcher_->sendState();
    paint();
}

void AppDelegate::housekeeping() {
    dispatcher_->expire();
    permissionsChanged();
}

void AppDelegate::permissionsChanged() {
    trusted_ = inputTrusted();
    paint();
}

void AppDelegate::paint() {
    std::vector<std::string> names;
    for (const auto& [id, phone] : dispatcher_->phones()) names.push_back(phone.device);
    std::optional<std::string> inputProblem;
    if (!trusted_) inputProblem = permissions_->untrustedText();
    const StatusLine status =
        statusLine(inputProblem, link_.joined(), names,
                   settingsProblem_ ? std::optional(settingsProblem_->why) : std::nullopt);
    if (face_.window) face_.window->setStatus(status.text, status.on);
    if (face_.item) {
        face_.item->setTooltip(statusTooltip(status, !names.empty(), channel_->plain()));
    }
}

void AppDelegate::wake() {
    say("the computer woke up; reconnecting");
    link_.start(channel());
}

void AppDelegate::showPairing() {
    if (face_.window) face_.window->present();
}

void AppDelegate::newCode() {
    releaseAndStop();
    dispatcher_->forgetPhones();
    config_.renew();
    checkSettings();
    channel_->rekey(config_.secret());
    if (face_.window) face_.window->showCode(config_.link());
    link_.start(channel());
    paint();
    showPairing();
    dispatcher_->pairingShown = true;
}

void AppDelegate::setSpeed(double speed) {
    config_.setSpeed(speed);
    if (input_) input_->speed = config_.speed();
}

void AppDelegate::toggleRing() {
    config_.setRing(!config_.ring());
    if (!config_.ring()) {
        if (Ring* shown = ring()) shown->off();
    }
}

void AppDelegate::toggleLogin() {
    if (face_.login) setLogin(!face_.login->enabled());
}

void AppDelegate::quit() {
    if (input_) input_->release();
    dispatcher_->sendFarewell();
    // Gone is the last word: a phone's message still on its way would otherwise be answered
    // with a state that says this computer is back.
    channel_->onMessage = nullptr;
    loop_.after(kQuitDelay, lifetime_.guard([this] {
        if (face_.terminate) face_.terminate();
    }));
}

MenuTicks AppDelegate::ticks() const {
    MenuTicks ticks{.ring = config_.ring(),
                    .ringAvailable = face_.ring != nullptr,
                    .login = face_.login && face_.login->enabled(),
                    .askAgain = face_.askPermission && !inputTrusted()};
    const double speed = config_.speed();
    for (size_t i = 0; i < menu::kSpeeds.size(); ++i) {
        ticks.speeds[i] = menu::speedTicked(menu::kSpeeds[i], speed);
    }
    return ticks;
}

void AppDelegate::setLogin(bool on) {
    if (!face_.login) return;
    if (std::string error; !face_.login->setEnabled(on, error)) say("login item: " + error);
}

void AppDelegate::releaseAndStop() {
    if (input_) input_->release();
    if (streamer_) streamer_->stop();
}

bool AppDelegate::inputTrusted() const {
    return !permissions_ || permissions_->inputTrusted();
}

Ring* AppDelegate::ring() {
    if (!ring_ && face_.ring) ring_ = std::make_unique<Ring>(loop_, *face_.ring);
    return ring_.get();
}

// Said when it starts or changes, not on every save.
void AppDelegate::checkSettings() {
    std::optional<StoreProblem> problem = config_.storeProblem();
    if (problem && problem != settingsProblem_) {
        say("settings are not saved (" + problem->what + ": " + problem->why +
            "): changes, and a pairing code drawn now, last only until the agent quits");
    }
    settingsProblem_ = std::move(problem);
}

void AppDelegate::say(const std::string& line) const {
    if (log) log(line);
}

}  // namespace zg
