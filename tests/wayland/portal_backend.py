#!/usr/bin/python3
# A desktop-portal backend for tests: implements org.freedesktop.impl.portal.{RemoteDesktop,
# ScreenCast,Session} by passing each call on to mutter's own D-Bus API, with no dialog.
# A test steers it through org.zephyrglint.TestBackend on the same name:
#   SetAnswer(u)  the response later Starts give: 0 granted, 1 cancelled (what a user's
#                 "Cancel" gives), 2 other; it stays until changed
#   Revoke() -> u stops every mutter session it holds, as when the user ends the sharing, and
#                 says so (impl.portal.Session.Closed); answers how many it closed
# Each call it passes on to mutter is logged on stderr, one line each.
import sys
from gi.repository import Gio, GLib

BUS_NAME = "org.freedesktop.impl.portal.desktop.zgtest"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
CONTROL_PATH = "/org/zephyrglint/TestBackend"
MRD, MSC = "org.gnome.Mutter.RemoteDesktop", "org.gnome.Mutter.ScreenCast"
IMPL = "org.freedesktop.impl.portal."

REQUEST_ARGS = """<arg type="o" direction="in"/><arg type="o" direction="in"/>
  <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
  <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>"""
START_ARGS = """<arg type="o" direction="in"/><arg type="o" direction="in"/>
  <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
  <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>"""


def notify(name, *types):
    args = "".join(f'<arg type="{t}" direction="in"/>' for t in ("o", "a{sv}") + types)
    return f'<method name="{name}">{args}</method>'


XML = f"""<node>
 <interface name="{IMPL}ScreenCast">
  <method name="CreateSession">{REQUEST_ARGS}</method>
  <method name="SelectSources">{REQUEST_ARGS}</method>
  <method name="Start">{START_ARGS}</method>
  <property name="AvailableSourceTypes" type="u" access="read"/>
  <property name="AvailableCursorModes" type="u" access="read"/>
  <property name="version" type="u" access="read"/>
 </interface>
 <interface name="{IMPL}RemoteDesktop">
  <method name="CreateSession">{REQUEST_ARGS}</method>
  <method name="SelectDevices">{REQUEST_ARGS}</method>
  <method name="Start">{START_ARGS}</method>
  {notify("NotifyPointerMotionAbsolute", "u", "d", "d")}
  {notify("NotifyPointerButton", "i", "u")}
  {notify("NotifyPointerAxisDiscrete", "u", "i")}
  {notify("NotifyKeyboardKeycode", "i", "u")}
  {notify("NotifyKeyboardKeysym", "i", "u")}
  <property name="AvailableDeviceTypes" type="u" access="read"/>
  <property name="version" type="u" access="read"/>
 </interface>
 <interface name="{IMPL}Session">
  <method name="Close"/>
  <signal name="Closed"/>
  <property name="version" type="u" access="read"/>
 </interface>
 <interface name="org.zephyrglint.TestBackend">
  <method name="SetAnswer"><arg type="u" direction="in"/></method>
  <method name="Revoke"><arg type="u" direction="out"/></method>
 </interface>
</node>"""
IFACE = {i.name: i for i in Gio.DBusNodeInfo.new_for_xml(XML).interfaces}
GRANTED, CANCELLED, FAILED = 0, 1, 2
MONITOR, VIRTUAL = 1, 4
# The portal's cursor mode bits (hidden, embedded, metadata) as mutter's enum.
MUTTER_CURSOR = {1: 0, 2: 1, 4: 2}
# Axis flag mutter takes for the end of a scroll sequence.

bus = None
answer = GRANTED
sessions = {}  # portal session handle -> Session


def log(*words):
    print("[backend]", *words, file=sys.stderr, flush=True)


def mutter(dest, path, iface, method, sig=None, *args):
    body = GLib.Variant(sig, args) if sig else None
    return bus.call_sync(dest, path, iface, method, body, None, Gio.DBusCallFlags.NONE, 5000,
                         None).unpack()


def mutter_property(dest, path, iface, name):
    return mutter(dest, path, "org.freedesktop.DBus.Properties", "Get", "(ss)", iface, name)[0]


def first_connector():
    state = mutter("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                   "org.gnome.Mutter.DisplayConfig", "GetCurrentState")
    return state[1][0][0][0]  # the first monitor's connector name


class Session:
    """A portal session and the mutter session(s) behind it."""

    def __init__(self, handle, remote):
        self.handle, self.remote = handle, remote
        self.rd = None
        self.devices, self.sources = 7, None
        self.streams = []  # [mutter stream path, PipeWire node or None, source type]
        self.closed = False
        self.subs = []
        if remote:
            self.rd = mutter(MRD, "/org/gnome/Mutter/RemoteDesktop", MRD, "CreateSession")[0]
            sid = mutter_property(MRD, self.rd, MRD + ".Session", "SessionId")
            self.sc = mutter(MSC, "/org/gnome/Mutter/ScreenCast", MSC, "CreateSession",
                             "(a{sv})", {"remote-desktop-session-id": GLib.Variant("s", sid)})[0]
            watched, iface = self.rd, MRD + ".Session"
        else:
            self.sc = mutter(MSC, "/org/gnome/Mutter/ScreenCast", MSC, "CreateSession",
                             "(a{sv})", {})[0]
            watched, iface = self.sc, MSC + ".Session"
        self.subs.append(bus.signal_subscribe(
            None, iface, "Closed", watched, None, 0, lambda *_: self.close("mutter closed it")))
        self.reg = bus.register_object(handle, IFACE[IMPL + "Session"], self.on_close,
                                       lambda *_: GLib.Variant("u", 1), None)
        log("session", handle, "remote desktop" if remote else "screen cast", self.rd or self.sc)

    def on_close(self, conn, sender, path, iface, method, params, invocation):
        self.close(None)
        invocation.return_value(None)

    def close(self, why):
        """Stops the mutter session. `why` is None when the frontend asked; otherwise the
        frontend is told, so that it closes the client's session."""
        if self.closed:
            return
        self.closed = True
        for sub in self.subs:
            bus.signal_unsubscribe(sub)
        log("close", self.handle, why or "asked by the frontend")
        try:
            if self.rd:
                mutter(MRD, self.rd, MRD + ".Session", "Stop")
            else:
                mutter(MSC, self.sc, MSC + ".Session", "Stop")
        except GLib.Error as e:  # already stopped when mutter closed it
            log("stop:", e.message)
        if why:
            bus.emit_signal(None, self.handle, IMPL + "Session", "Closed", None)
        bus.unregister_object(self.reg)
        sessions.pop(self.handle, None)

    def record(self):
        """Asks mutter for the stream the client selected (a remote desktop without sources
        gets none)."""
        sources = self.sources if self.remote else (self.sources or {"types": MONITOR})
        if sources is None:
            return
        cursor = MUTTER_CURSOR.get(sources.get("cursor_mode", 1), 0)
        props = {"cursor-mode": GLib.Variant("u", cursor)}
        if sources.get("types", MONITOR) & MONITOR:
            connector = first_connector()
            log("-> mutter RecordMonitor", connector, "cursor-mode", cursor)
            stream = mutter(MSC, self.sc, MSC + ".Session", "RecordMonitor", "(sa{sv})",
                            connector, props)[0]
            self.streams.append([stream, None, MONITOR])
        else:
            log("-> mutter RecordVirtual cursor-mode", cursor)
            stream = mutter(MSC, self.sc, MSC + ".Session", "RecordVirtual", "(a{sv})", props)[0]
            self.streams.append([stream, None, VIRTUAL])

    def start(self, done):
        """Starts mutter's session; done(response, results) once each stream has its node."""
        if answer != GRANTED:
            log("start refused with", answer)
            return done(answer, {})
        self.record()
        finished = False

        def finish(response):
            nonlocal finished
            if finished:
                return
            finished = True
            if response != GRANTED:
                return done(response, {})
            streams = []
            for path, node, kind in self.streams:
                params = mutter_property(MSC, path, MSC + ".Stream", "Parameters")
                props = {"source_type": GLib.Variant("u", kind)}
                for key in ("position", "size"):
                    if key in params:
                        props[key] = GLib.Variant("(ii)", params[key])
                streams.append((node, props))
            results = {}
            if streams:
                results["streams"] = GLib.Variant("a(ua{sv})", streams)
            if self.remote:
                results["devices"] = GLib.Variant("u", self.devices)
            done(GRANTED, results)

        def added(conn, sender, path, iface, signal, params, entry):
            entry[1] = params.unpack()[0]
            log("stream", entry[0], "node", entry[1])
            if all(e[1] is not None for e in self.streams):
                finish(GRANTED)

        for entry in self.streams:
            self.subs.append(bus.signal_subscribe(None, MSC + ".Stream", "PipeWireStreamAdded",
                                                  entry[0], None, 0, added, entry))
        log("-> mutter Start", self.rd or self.sc)
        if self.rd:
            mutter(MRD, self.rd, MRD + ".Session", "Start")
        else:
            mutter(MSC, self.sc, MSC + ".Session", "Start")
        if not self.streams:
            finish(GRANTED)
        GLib.timeout_add_seconds(10, lambda: finish(FAILED) and False)

    def stream_path(self, node):
        for path, n, _ in self.streams:
            if n == node:
                return path
        raise GLib.Error(f"no stream with node {node}")

    def forward(self, method, sig, *args):
        log("-> mutter", method, *args)
        mutter(MRD, self.rd, MRD + ".Session", method, sig, *args)


def reply(invocation, response, results):
    invocation.return_value(GLib.Variant("(ua{sv})", (response, results)))


def on_portal_call(conn, sender, path, iface, method, params, invocation):
    a = params.unpack()
    log(iface[len(IMPL):] + "." + method, *a[1:])
    try:
        if method == "CreateSession":
            sessions[a[1]] = Session(a[1], iface.endswith("RemoteDesktop"))
            return reply(invocation, GRANTED, {"session_id": GLib.Variant("s", a[1])})
        s = sessions.get(a[0] if method.startswith("Notify") else a[1])
        if s is None:
            return invocation.return_dbus_error("org.freedesktop.portal.Error.NotFound",
                                                "no such session")
        if method == "SelectSources":
            s.sources = a[3]
            return reply(invocation, GRANTED, {})
        if method == "SelectDevices":
            s.devices = a[3].get("types", 7)
            return reply(invocation, GRANTED, {})
        if method == "Start":
            return s.start(lambda response, results: reply(invocation, response, results))
        if not s.rd:
            raise GLib.Error("not a remote desktop session")
        if method == "NotifyPointerMotionAbsolute":
            s.forward(method, "(sdd)", s.stream_path(a[2]), a[3], a[4])
        elif method == "NotifyPointerButton":
            s.forward(method, "(ib)", a[2], bool(a[3]))
        elif method == "NotifyPointerAxisDiscrete":
            s.forward(method, "(ui)", a[2], a[3])
        elif method in ("NotifyKeyboardKeycode", "NotifyKeyboardKeysym"):
            s.forward(method, "(ub)", a[2], bool(a[3]))
        invocation.return_value(None)
    except GLib.Error as e:
        log("error", method, e.message)
        invocation.return_dbus_error("org.freedesktop.portal.Error.Failed", e.message)


def on_portal_property(conn, sender, path, iface, name):
    return GLib.Variant("u", {
        "AvailableSourceTypes": MONITOR | VIRTUAL,
        "AvailableCursorModes": 1 | 2 | 4,
        "AvailableDeviceTypes": 7,
        "version": 1,
    }[name])


def on_control(conn, sender, path, iface, method, params, invocation):
    global answer
    if method == "SetAnswer":
        answer = params.unpack()[0]
        log("answer now", answer)
        return invocation.return_value(None)
    revoked = list(sessions.values())
    for s in revoked:
        s.close("revoked")
    invocation.return_value(GLib.Variant("(u)", (len(revoked),)))


def on_bus(conn, name):
    global bus
    bus = conn
    for iface in ("ScreenCast", "RemoteDesktop"):
        conn.register_object(PORTAL_PATH, IFACE[IMPL + iface], on_portal_call, on_portal_property,
                             None)
    conn.register_object(CONTROL_PATH, IFACE["org.zephyrglint.TestBackend"], on_control, None,
                         None)


def main():
    loop = GLib.MainLoop()
    Gio.bus_own_name(Gio.BusType.SESSION, BUS_NAME, Gio.BusNameOwnerFlags.NONE, on_bus,
                     lambda c, n: log("owns", n), lambda c, n: (log("lost", n), loop.quit()))
    loop.run()


main()
