#!/usr/bin/python3
# A full-screen GTK 4 window for tests on the headless desktop. Its left half is pure red and
# its right half pure blue, so that a picture of the screen shows where it is. It prints each
# input it receives on stdout, one line each:
#   ready W H              once full screen at its final size, and shown so (printed once)
#   enter X Y | motion X Y
#   pressed B X Y | released B X Y
#   scroll DX DY
#   key NAME MODS          a key pressed: its keyval name, the modifiers held (SHIFT+CONTROL, or
#                          NONE)
#   keyup NAME
#   char U+XXXX            a character typed, as an input method composes it
import gi

gi.require_version("Gtk", "4.0")
gi.require_version("Gdk", "4.0")
from gi.repository import Gdk, Gtk  # noqa: E402

MODIFIERS = [(Gdk.ModifierType.SHIFT_MASK, "SHIFT"), (Gdk.ModifierType.LOCK_MASK, "LOCK"),
             (Gdk.ModifierType.CONTROL_MASK, "CONTROL"), (Gdk.ModifierType.ALT_MASK, "ALT"),
             (Gdk.ModifierType.SUPER_MASK, "SUPER"), (Gdk.ModifierType.HYPER_MASK, "HYPER"),
             (Gdk.ModifierType.META_MASK, "META")]
# Frames the window must be shown full screen before it says ready: the first frame at the new
# size is where mutter places the window; only after it is input in the window's coordinates.
SETTLED_FRAMES = 2


def say(*words):
    print(*words, flush=True)


def num(v):
    return f"{v:g}"  # 700.25 stays 700.25: tests compare positions exactly


def mods(state):
    return "+".join(name for mask, name in MODIFIERS if state & mask) or "NONE"


# Painted by CSS, which needs no cairo bindings.
CSS = b".zg-left { background: #ff0000; } .zg-right { background: #0000ff; }"


def on_activate(app):
    win = Gtk.ApplicationWindow(application=app, title="zg-probe")
    css = Gtk.CssProvider()
    css.load_from_data(CSS)
    Gtk.StyleContext.add_provider_for_display(Gdk.Display.get_default(), css,
                                              Gtk.STYLE_PROVIDER_PRIORITY_APPLICATION)
    area = Gtk.Box(homogeneous=True, hexpand=True, vexpand=True)
    for half in ("zg-left", "zg-right"):
        area.append(Gtk.Box(css_classes=[half], hexpand=True, vexpand=True))
    win.set_child(area)

    motion = Gtk.EventControllerMotion()
    motion.connect("enter", lambda c, x, y: say("enter", num(x), num(y)))
    motion.connect("motion", lambda c, x, y: say("motion", num(x), num(y)))
    area.add_controller(motion)
    click = Gtk.GestureClick(button=0)
    click.connect("pressed", lambda g, n, x, y: say("pressed", g.get_current_button(), num(x),
                                                    num(y)))
    click.connect("released", lambda g, n, x, y: say("released", g.get_current_button(), num(x),
                                                     num(y)))
    area.add_controller(click)
    scroll = Gtk.EventControllerScroll(flags=Gtk.EventControllerScrollFlags.BOTH_AXES)
    scroll.connect("scroll", lambda c, dx, dy: say("scroll", num(dx), num(dy)) or True)
    area.add_controller(scroll)

    # Keys are seen first, as they come; the input method after them, for the text.
    keys = Gtk.EventControllerKey(propagation_phase=Gtk.PropagationPhase.CAPTURE)
    keys.connect("key-pressed",
                 lambda c, kv, code, st: say("key", Gdk.keyval_name(kv), mods(st)) or False)
    keys.connect("key-released", lambda c, kv, code, st: say("keyup", Gdk.keyval_name(kv)))
    win.add_controller(keys)
    im = Gtk.IMContextSimple()
    im.connect("commit", lambda im, text: [say(f"char U+{ord(c):04X}") for c in text])
    text = Gtk.EventControllerKey()
    text.set_im_context(im)
    win.add_controller(text)

    settled = 0

    def tick(widget, clock):
        nonlocal settled
        surface = win.get_surface()
        monitor = surface.get_display().get_monitor_at_surface(surface) if surface else None
        size = (area.get_width(), area.get_height())
        full = (monitor is not None
                and surface.get_state() & Gdk.ToplevelState.FULLSCREEN
                and size == (monitor.get_geometry().width, monitor.get_geometry().height)
                and (surface.get_width(), surface.get_height()) == size)
        settled = settled + 1 if full else 0
        if settled > SETTLED_FRAMES:
            say("ready", *size)
            return False
        area.queue_draw()  # a frame each time, paced by the compositor
        return True

    win.add_tick_callback(tick)
    win.fullscreen()
    win.present()


app = Gtk.Application(application_id="org.zephyrglint.Probe")
app.connect("activate", on_activate)
app.run([])
