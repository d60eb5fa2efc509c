#include "platform/portal/PortalDesktop.h"

#include <utility>

namespace zg {
namespace {

constexpr const char* kAskAgain = "choose \"Ask for access again\" in the menu";

}  // namespace

PortalDesktop::PortalDesktop(Loop& loop, QDBusConnection bus)
    : loop_(loop),
      session_(std::move(bus)),
      pointer_(
          loop, session_, [this] { return session_.streams(); },
          [screen = screen_]() -> std::optional<Point> {
              const auto current = screen->get();
              return current ? current->cursor() : std::nullopt;
          }),
      keyboard_(session_, [this](uint32_t keysym) { return typable(keysym); }) {
    session_.onStateChanged = [this] { accessChanged(); };
    session_.onPipeWire = [this](int fd) { openScreen(fd); };
    session_.onRestoreToken = [this](const std::string& token) {
        if (storeToken) storeToken(token);
    };
}

PortalDesktop::~PortalDesktop() {
    session_.onStateChanged = nullptr;
}

void PortalDesktop::ask() {
    session_.ask(loadToken ? loadToken() : std::string());
}

ScreenStreamer::Capture PortalDesktop::capture() {
    return [screen = screen_](const CaptureRequest& request) -> std::optional<std::string> {
        const auto current = screen->get();
        if (!current) return std::nullopt;
        return current->capture(request);
    };
}

void PortalDesktop::accessChanged() {
    using State = PortalSession::State;
    switch (session_.state()) {
        case State::Granted:
            if (log) log("access to this desktop given: phones can drive it");
            break;
        case State::Idle:
        case State::Asking:
            break;
        default:
            screen_->set(nullptr);
            if (log) log(untrustedText());
            break;
    }
    if (onAccessChanged) onAccessChanged();
}

void PortalDesktop::openScreen(int pipewireFd) {
    std::string error;
    auto screen = PipeWireScreen::open(pipewireFd, session_.streams(), error);
    if (!screen) {
        if (log) log("no screen pictures: " + error);
        return;
    }
    // The stream's own thread reports its end; the session's Closed usually says it first.
    screen->onLost = [this, guard = lifetime_.guard([this](const std::string& why) {
        if (log) log("the screen cast ended: " + why);
        screen_->set(nullptr);
    })](std::string why) { loop_.post([guard, why = std::move(why)] { guard(why); }); };
    screen->start();
    screen_->set(std::move(screen));
}

std::optional<bool> PortalDesktop::typable(uint32_t keysym) {
    const std::optional<bool> answer = keymap_.types(keysym);
    if (!answer && !keymap_.problem().empty() && !std::exchange(keymapProblemSaid_, true) && log) {
        log("cannot tell which characters this desktop's keyboard layout types (" +
            keymap_.problem() + "): each is sent, and one it has no key for is lost");
    }
    return answer;
}

bool PortalDesktop::inputTrusted() {
    return session_.state() == PortalSession::State::Granted;
}

std::string PortalDesktop::untrustedText() const {
    using State = PortalSession::State;
    switch (session_.state()) {
        case State::Idle:
        case State::Asking:
            return "Allow ZephyrGlint to use this desktop in the dialog on screen";
        case State::Granted:
            return "";
        case State::Refused:
            return std::string("Access to this desktop was refused: ") + kAskAgain;
        case State::Ended:
            return "Access to this desktop ended (" + session_.why() + "): " + kAskAgain;
        case State::Unavailable:
            break;
    }
    return "Phones cannot drive this desktop: " + session_.why();
}

bool PortalDesktop::available() {
    return session_.state() != PortalSession::State::Unavailable;
}

bool PortalDesktop::permitted() {
    return session_.state() == PortalSession::State::Granted && screen_->get() != nullptr;
}

std::string PortalDesktop::unavailableText() const {
    return "This desktop cannot show its screen: " + session_.why();
}

std::string PortalDesktop::notPermittedText() const {
    return session_.state() == PortalSession::State::Granted
               ? "The screen cannot be captured here."
               : "The computer has not allowed access yet: allow it in the dialog on the "
                 "computer, or choose \"Ask for access again\" in its menu.";
}

}  // namespace zg
