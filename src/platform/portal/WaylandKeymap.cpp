#include "platform/portal/WaylandKeymap.h"

#include <QSocketNotifier>
#include <QtGlobal>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace zg {

// The listeners' entry points, which reach the object through the proxies' user data.
struct WaylandKeymap::Events {
    static WaylandKeymap& of(void* data) { return *static_cast<WaylandKeymap*>(data); }

    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version) {
        WaylandKeymap& self = of(data);
        // The first seat is the one the desktop's keyboard belongs to.
        if (self.seat_ || std::strcmp(interface, wl_seat_interface.name) != 0) return;
        self.seat_ = static_cast<wl_seat*>(
            wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)));
        static const wl_seat_listener listener{.capabilities = capabilities, .name = seatName};
        wl_seat_add_listener(self.seat_, &listener, data);
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}
    static void capabilities(void* data, wl_seat*, uint32_t capabilities) {
        of(data).seatCapabilities(capabilities);
    }
    static void seatName(void*, wl_seat*, const char*) {}

    static void keymap(void* data, wl_keyboard*, uint32_t format, int fd, uint32_t size) {
        of(data).keymap(format, fd, size);
    }
    static void enter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
    static void leave(void* data, wl_keyboard*, uint32_t, wl_surface*) {
        // Without the focus the agent hears no more of layout switches.
        of(data).layout_.reset();
    }
    static void key(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {}
    static void modifiers(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t,
                          uint32_t group) {
        of(data).layout_ = group;
    }
    static void repeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}
};

WaylandKeymap::WaylandKeymap() {
    // By name only: WAYLAND_SOCKET is a connection handed to one client, Qt's if anyone's.
    const QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (name.isEmpty()) {
        problem_ = "no Wayland display";
        return;
    }
    display_ = wl_display_connect(name.constData());
    if (!display_) {
        problem_ = "cannot connect to the Wayland display " + name.toStdString() + ": " +
                   std::strerror(errno);
        return;
    }
    context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context_) {
        fail("no XKB context");
        return;
    }
    registry_ = wl_display_get_registry(display_);
    static const wl_registry_listener listener{.global = Events::global,
                                               .global_remove = Events::globalRemove};
    wl_registry_add_listener(registry_, &listener, this);
    // The answers come through the main loop, never waited for.
    notifier_ =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readable(); });
    wl_display_flush(display_);
}

WaylandKeymap::~WaylandKeymap() {
    disconnect();
    if (context_) xkb_context_unref(context_);
}

std::optional<bool> WaylandKeymap::types(uint32_t keysym) const {
    if (!keymap_) return std::nullopt;
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts(keymap_);
    if (layouts == 0) return std::nullopt;
    const auto inLayout = [this, keysym](xkb_layout_index_t layout) {
        for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap_);
             key <= xkb_keymap_max_keycode(keymap_); ++key) {
            const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap_, key, layout);
            for (xkb_level_index_t level = 0; level < levels; ++level) {
                const xkb_keysym_t* syms = nullptr;
                const int count =
                    xkb_keymap_key_get_syms_by_level(keymap_, key, layout, level, &syms);
                if (count > 0 && std::find(syms, syms + count, keysym) != syms + count) return true;
            }
        }
        return false;
    };
    if (layout_ && *layout_ < layouts) return inLayout(*layout_);
    // The active layout is unknown without the keyboard focus: with a single layout that is no
    // matter; with several, a keysym any of them has is given the benefit of the doubt, so
    // that no character the desktop might type is held back.
    for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
        if (inLayout(layout)) return true;
    }
    return false;
}

void WaylandKeymap::readable() {
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) return fail("the Wayland connection broke");
    }
    // The socket is readable, and libwayland reads without blocking.
    if (wl_display_read_events(display_) < 0) return fail("the Wayland connection ended");
    if (wl_display_dispatch_pending(display_) < 0) return fail("the Wayland connection broke");
    // Requests made by the listeners (binding the seat, getting its keyboard).
    wl_display_flush(display_);
}

void WaylandKeymap::fail(const std::string& why) {
    problem_ = why;
    disconnect();
}

void WaylandKeymap::disconnect() {
    notifier_.reset();
    if (keymap_) xkb_keymap_unref(std::exchange(keymap_, nullptr));
    layout_.reset();
    if (keyboard_) wl_keyboard_destroy(std::exchange(keyboard_, nullptr));
    if (seat_) wl_seat_destroy(std::exchange(seat_, nullptr));
    if (registry_) wl_registry_destroy(std::exchange(registry_, nullptr));
    if (display_) wl_display_disconnect(std::exchange(display_, nullptr));
}

void WaylandKeymap::seatCapabilities(uint32_t capabilities) {
    const bool hasKeyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    if (hasKeyboard && !keyboard_) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        static const wl_keyboard_listener listener{.keymap = Events::keymap,
                                                   .enter = Events::enter,
                                                   .leave = Events::leave,
                                                   .key = Events::key,
                                                   .modifiers = Events::modifiers,
                                                   .repeat_info = Events::repeatInfo};
        wl_keyboard_add_listener(keyboard_, &listener, this);
    } else if (!hasKeyboard && keyboard_) {
        if (wl_keyboard_get_version(keyboard_) >= WL_KEYBOARD_RELEASE_SINCE_VERSION) {
            wl_keyboard_release(std::exchange(keyboard_, nullptr));
        } else {
            wl_keyboard_destroy(std::exchange(keyboard_, nullptr));
        }
        if (keymap_) xkb_keymap_unref(std::exchange(keymap_, nullptr));
        layout_.reset();
    }
}

void WaylandKeymap::keymap(uint32_t format, int fd, uint32_t size) {
    // A new keymap replaces the old one, also when it cannot be read: nothing is known then.
    if (keymap_) xkb_keymap_unref(std::exchange(keymap_, nullptr));
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
        // Private: from version 7 on, the compositor may share one read-only mapping.
        void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (text != MAP_FAILED) {
            const char* chars = static_cast<const char*>(text);
            keymap_ =
                xkb_keymap_new_from_buffer(context_, chars, strnlen(chars, size),
                                           XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
            munmap(text, size);
        }
    }
    close(fd);
    problem_ = keymap_ ? "" : "the desktop's keyboard layout could not be read";
}

}  // namespace zg
