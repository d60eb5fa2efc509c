#pragma once

#include <QDBusConnection>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Loop.h"
#include "platform/Permissions.h"
#include "platform/ScreenAccess.h"
#include "platform/pipewire/PipeWireScreen.h"
#include "platform/portal/PortalInput.h"
#include "platform/portal/PortalSession.h"
#include "platform/portal/WaylandKeymap.h"
#include "screen/ScreenStreamer.h"

namespace zg {

// A Wayland desktop (or any with a desktop portal) driven through one remote-desktop session:
// input through the portal, pictures through PipeWire. The session is the grant: until the
// user gives it, and after the desktop ends it, input goes nowhere and the screen is not shown.
// Threading: main thread only, except the capture, which runs on the loop's background thread.
class PortalDesktop : public Permissions, public ScreenAccess {
public:
    PortalDesktop(Loop& loop, QDBusConnection bus);
    ~PortalDesktop() override;

    // Asks for access at once, so that the dialog comes up while the user is at the computer;
    // again on request after a refusal or an end, never by itself.
    void ask();

    Pointer& pointer() { return pointer_; }
    Keyboard& keyboard() { return keyboard_; }
    // Pictures from the session's monitors, black until the first one arrives.
    ScreenStreamer::Capture capture();

    // Lines for the user's log, and the grant to keep for the next start (a portal that keeps
    // grants then asks no more); either may be absent.
    std::function<void(const std::string& line)> log;
    std::function<std::string()> loadToken;
    std::function<void(const std::string& token)> storeToken;
    // Told each change of access, for the status line.
    std::function<void()> onAccessChanged;

    bool inputTrusted() override;
    std::string untrustedText() const override;

    bool available() override;
    bool permitted() override;
    // The dialog is the computer's user's to bring up (the menu's "Ask for access again"), not
    // a phone's: a phone asking for the screen must not put dialogs in front of them.
    void requestPermission() override {}
    std::string unavailableText() const override;
    std::string notPermittedText() const override;

private:
    // The pictures of the current grant, shared with captures that may still be running.
    struct Screen {
        std::mutex mutex;
        std::shared_ptr<PipeWireScreen> current;
        std::shared_ptr<PipeWireScreen> get() {
            std::lock_guard lock(mutex);
            return current;
        }
        void set(std::shared_ptr<PipeWireScreen> screen) {
            std::lock_guard lock(mutex);
            current = std::move(screen);
        }
    };

    void accessChanged();
    void openScreen(int pipewireFd);
    std::optional<bool> typable(uint32_t keysym);

    Loop& loop_;
    PortalSession session_;
    std::shared_ptr<Screen> screen_ = std::make_shared<Screen>();
    PortalPointer pointer_;
    WaylandKeymap keymap_;  // which characters the desktop's layout types
    bool keymapProblemSaid_ = false;
    PortalKeyboard keyboard_;
    Lifetime lifetime_;
};

}  // namespace zg
