#!/usr/bin/python3
# Gives the headless seat a pointer and a keyboard from the start, as a desktop with real ones
# has: mutter makes its seat's devices only when a remote desktop session first uses them, and a
# client that learns of the keyboard only then misses the key that made it. Holds the session
# (mutter ends it with this connection) and prints "ready" once the devices exist.
from gi.repository import Gio, GLib

RD = "org.gnome.Mutter.RemoteDesktop"
bus = Gio.bus_get_sync(Gio.BusType.SESSION)


def call(path, iface, method, sig=None, *args):
    body = GLib.Variant(sig, args) if sig else None
    return bus.call_sync(RD, path, iface, method, body, None, 0, 5000, None).unpack()


session = call("/org/gnome/Mutter/RemoteDesktop", RD, "CreateSession")[0]
call(session, RD + ".Session", "Start")
call(session, RD + ".Session", "NotifyPointerMotionRelative", "(dd)", 0.0, 0.0)
for pressed in (True, False):
    call(session, RD + ".Session", "NotifyKeyboardKeysym", "(ub)", 0xFFE1, pressed)  # Shift_L
print("ready", flush=True)
GLib.MainLoop().run()
