#!/usr/bin/python3
# A fake desktop portal for tests: owns org.freedesktop.portal.Desktop in place of the real one
# and answers RemoteDesktop (version 2) and ScreenCast (version 4) as the real one does, through
# Request objects and their Response signal, granting everything at once. Start hands out a
# restore token ("zg-token-N", N counting up) when persistence was asked for, as the real one
# does. Each call is appended to the file $ZG_FAKE_PORTAL_LOG as one JSON object:
#   {"interface": "RemoteDesktop", "method": "SelectDevices", "session": PATH,
#    "options": {...}, "results": {...}}        (results: what the Response carried, if any)
import json
import os
import socket
import sys

from gi.repository import Gio, GLib

PATH = "/org/freedesktop/portal/desktop"
PORTAL = "org.freedesktop.portal."
XML = f"""<node>
 <interface name="{PORTAL}RemoteDesktop">
  <method name="CreateSession"><arg type="a{{sv}}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="SelectDevices"><arg type="o" direction="in"/><arg type="a{{sv}}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="Start"><arg type="o" direction="in"/><arg type="s" direction="in"/><arg type="a{{sv}}" direction="in"/><arg type="o" direction="out"/></method>
  NOTIFY
  <property name="AvailableDeviceTypes" type="u" access="read"/>
  <property name="version" type="u" access="read"/>
 </interface>
 <interface name="{PORTAL}ScreenCast">
  <method name="CreateSession"><arg type="a{{sv}}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="SelectSources"><arg type="o" direction="in"/><arg type="a{{sv}}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="Start"><arg type="o" direction="in"/><arg type="s" direction="in"/><arg type="a{{sv}}" direction="in"/><arg type="o" direction="out"/></method>
  <method name="OpenPipeWireRemote"><arg type="o" direction="in"/><arg type="a{{sv}}" direction="in"/><arg type="h" direction="out"/></method>
  <property name="AvailableSourceTypes" type="u" access="read"/>
  <property name="AvailableCursorModes" type="u" access="read"/>
  <property name="version" type="u" access="read"/>
 </interface>
 <interface name="{PORTAL}Request">
  <method name="Close"/>
  <signal name="Response"><arg type="u"/><arg type="a{{sv}}"/></signal>
 </interface>
 <interface name="{PORTAL}Session">
  <method name="Close"/>
  <signal name="Closed"><arg type="a{{sv}}"/></signal>
  <property name="version" type="u" access="read"/>
 </interface>
</node>"""
NOTIFY_ARGS = {
    "NotifyPointerMotion": "dd", "NotifyPointerMotionAbsolute": "udd", "NotifyPointerButton": "iu",
    "NotifyPointerAxis": "dd", "NotifyPointerAxisDiscrete": "ui", "NotifyKeyboardKeycode": "iu",
    "NotifyKeyboardKeysym": "iu", "NotifyTouchDown": "uudd", "NotifyTouchMotion": "uudd",
    "NotifyTouchUp": "u",
}
XML = XML.replace("NOTIFY", "".join(
    f'<method name="{m}"><arg type="o" direction="in"/><arg type="a{{sv}}" direction="in"/>'
    + "".join(f'<arg type="{t}" direction="in"/>' for t in types) + "</method>"
    for m, types in NOTIFY_ARGS.items()))
IFACE = {i.name: i for i in Gio.DBusNodeInfo.new_for_xml(XML).interfaces}
PROPERTIES = {
    "RemoteDesktop": {"version": 2, "AvailableDeviceTypes": 3},
    "ScreenCast": {"version": 4, "AvailableSourceTypes": 1, "AvailableCursorModes": 7},
}
NODE = 42

bus = None
log_path = os.environ.get("ZG_FAKE_PORTAL_LOG")
sessions = {}  # handle -> dict(remote, started, persist, sender, registration)
tokens = 0
counter = 0
keep = []  # the PipeWire "remote" ends handed out, kept open


def log(entry):
    print("[fake portal]", json.dumps(entry), file=sys.stderr, flush=True)
    if log_path:
        with open(log_path, "a") as f:
            f.write(json.dumps(entry) + "\n")


def plain(value):
    """A value from a{sv} options, as JSON can hold it."""
    if isinstance(value, dict):
        return {k: plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    return value


def escaped(sender):
    return sender[1:].replace(".", "_")


def next_token():
    global counter
    counter += 1
    return f"t{counter}"


def respond(sender, handle, response, results):
    """Exports the request, answers its method, then emits Response: the client subscribes to
    the request path before it calls, as the real portal expects."""
    def close(conn, s, path, iface, method, params, invocation):
        invocation.return_value(None)
    reg = bus.register_object(handle, IFACE[PORTAL + "Request"], close, None, None)

    def emit():
        bus.emit_signal(sender, handle, PORTAL + "Request", "Response",
                        GLib.Variant("(ua{sv})", (response, results)))
        bus.unregister_object(reg)
        return False
    GLib.idle_add(emit)


def on_session_call(conn, sender, path, iface, method, params, invocation):
    log({"interface": "Session", "method": "Close", "session": path})
    s = sessions.pop(path, None)
    if s:
        bus.unregister_object(s["registration"])
    invocation.return_value(None)


def on_call(conn, sender, path, iface, method, params, invocation):
    global tokens
    name = iface[len(PORTAL):]
    a = params.unpack()
    options = next((x for x in a if isinstance(x, dict)), {})
    entry = {"interface": name, "method": method, "options": plain(options)}
    if method != "CreateSession":
        entry["session"] = a[0]
    if method.startswith("Notify"):
        entry["arguments"] = plain(list(a[2:]))
    handle = f"{PATH}/request/{escaped(sender)}/{options.get('handle_token') or next_token()}"

    def error(message, name="Failed"):
        entry["error"] = message
        log(entry)
        invocation.return_dbus_error("org.freedesktop.portal.Error." + name, message)

    if method == "CreateSession":
        token = options.get("session_handle_token") or next_token()
        session = f"{PATH}/session/{escaped(sender)}/{token}"
        reg = bus.register_object(session, IFACE[PORTAL + "Session"], on_session_call,
                                  lambda *_: GLib.Variant("u", 1), None)
        sessions[session] = {"remote": name == "RemoteDesktop", "started": False, "persist": 0,
                             "sender": sender, "registration": reg}
        entry["session"] = session
        results = {"session_handle": GLib.Variant("s", session)}
    else:
        s = sessions.get(a[0])
        if s is None or s["sender"] != sender:
            return error("Invalid session", "InvalidArgument")
        if method.startswith("Notify"):
            if not s["started"]:
                return error("Session is not started")
            # The real portal answers each call on a thread of its own, so calls that do not
            # wait for the last one's answer may overtake it: say when one did not wait.
            entry["overtaking"] = s.get("unanswered", 0) > 0
            s["unanswered"] = s.get("unanswered", 0) + 1
            log(entry)

            def answer():
                s["unanswered"] -= 1
                invocation.return_value(None)
                return False

            GLib.timeout_add(5, answer)
            return None
        if method == "OpenPipeWireRemote":
            if not s["started"]:
                return error("Session is not started")
            mine, theirs = socket.socketpair()
            keep.append(mine)
            log(entry)
            fds = Gio.UnixFDList.new_from_array([theirs.detach()])
            return invocation.return_value_with_unix_fd_list(GLib.Variant("(h)", (0,)), fds)
        if method == "SelectSources" and s["remote"] and "persist_mode" in options:
            return error("Remote desktop sessions cannot persist", "InvalidArgument")
        if method in ("SelectDevices", "SelectSources"):
            s["persist"] = max(s["persist"], options.get("persist_mode", 0))
            results = {}
        elif method == "Start":
            s["started"] = True
            stream = (NODE, {"position": GLib.Variant("(ii)", (0, 0)),
                             "size": GLib.Variant("(ii)", (1280, 800)),
                             "source_type": GLib.Variant("u", 1)})
            results = {"streams": GLib.Variant("a(ua{sv})", [stream])}
            if s["remote"]:
                results["devices"] = GLib.Variant("u", 3)
            if s["persist"]:
                tokens += 1
                results["restore_token"] = GLib.Variant("s", f"zg-token-{tokens}")
                results["persist_mode"] = GLib.Variant("u", s["persist"])
    entry["results"] = plain({k: v.unpack() for k, v in results.items()})
    log(entry)
    invocation.return_value(GLib.Variant("(o)", (handle,)))
    respond(sender, handle, 0, results)


def on_property(conn, sender, path, iface, prop):
    return GLib.Variant("u", PROPERTIES[iface[len(PORTAL):]][prop])


def on_bus(conn, name):
    global bus
    bus = conn
    for iface in PROPERTIES:
        conn.register_object(PATH, IFACE[PORTAL + iface], on_call, on_property, None)


def main():
    loop = GLib.MainLoop()
    Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.portal.Desktop",
                     Gio.BusNameOwnerFlags.REPLACE, on_bus, None,
                     lambda c, n: (print("[fake portal] lost the name", file=sys.stderr),
                                   loop.quit()))
    loop.run()


main()
