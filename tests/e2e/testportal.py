#!/usr/bin/python3
# Portal stand-ins on the session bus for the Wayland tests.
#
#   testportal.py access
#     The consent dialog of xdg-desktop-portal (org.freedesktop.impl.portal.
#     Access), which wlroots does not have and without which the Screenshot
#     portal is not offered; it allows everything.
#   testportal.py screenshot MODE LOG
#     The portal itself (org.freedesktop.portal.Desktop) with a Screenshot
#     whose requests end as MODE says: "cancel" (the user dismissed the
#     dialog), "refuse" (the desktop denied it) or "silent" (no answer ever).
#     Its GlobalShortcuts binds what it is asked to, and its method
#     org.korvel.Test.Press reports a press of every bound shortcut.
#     Every request and every closed one is written to LOG, one a line.
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

DESKTOP = "/org/freedesktop/portal/desktop"
REQUEST = "org.freedesktop.portal.Request"
SCREENSHOT = "org.freedesktop.portal.Screenshot"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"


class Access(dbus.service.Object):
    @dbus.service.method("org.freedesktop.impl.portal.Access", in_signature="osssssa{sv}",
                         out_signature="ua{sv}")
    def AccessDialog(self, handle, app_id, parent, title, subtitle, body, options):
        return dbus.UInt32(0), {}


class Request(dbus.service.Object):
    def __init__(self, bus, path, log):
        super().__init__(bus, path)
        self.log = log

    @dbus.service.signal(REQUEST, signature="ua{sv}")
    def Response(self, response, results):
        pass

    @dbus.service.method(REQUEST)
    def Close(self):
        self.log("closed")
        self.remove_from_connection()


class Portal(dbus.service.Object):
    def __init__(self, bus, mode, log):
        super().__init__(bus, DESKTOP)
        self.mode = mode
        self.log = log
        self.bound = []  # (session, shortcut id)

    def request(self, sender, options):
        name = sender[1:].replace(".", "_")
        path = "%s/request/%s/%s" % (DESKTOP, name, options["handle_token"])
        return path, Request(self.connection, path, self.log), name

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o",
                         sender_keyword="sender")
    def CreateSession(self, options, sender):
        path, request, name = self.request(sender, options)
        session = "%s/session/%s/%s" % (DESKTOP, name, options["session_handle_token"])
        GLib.timeout_add(50, lambda: request.Response(
            dbus.UInt32(0), {"session_handle": dbus.String(session)}) and False)
        return path

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, options, sender):
        path, request, name = self.request(sender, options)
        for shortcut, properties in shortcuts:
            self.log("bind %s %s" % (shortcut, properties.get("preferred_trigger", "")))
            self.bound.append((session, shortcut))
        GLib.timeout_add(50, lambda: request.Response(dbus.UInt32(0), {}) and False)
        return path

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut, timestamp, options):
        pass

    @dbus.service.method("org.korvel.Test")
    def Press(self):
        for session, shortcut in self.bound:
            self.Activated(session, shortcut, dbus.UInt64(0), {})

    @dbus.service.method(SCREENSHOT, in_signature="sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def Screenshot(self, parent, options, sender):
        path, request, _ = self.request(sender, options)
        self.log("screenshot interactive=%s" % bool(options.get("interactive", True)))
        if self.mode != "silent":
            code = dbus.UInt32(1 if self.mode == "cancel" else 2)
            GLib.timeout_add(50, lambda: request.Response(code, {}) and False)
        return path

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface in (SCREENSHOT, SHORTCUTS) and name == "version":
            return dbus.UInt32(1, variant_level=1)
        raise dbus.exceptions.DBusException("no such property",
                                            name="org.freedesktop.DBus.Error.InvalidArgs")


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    if sys.argv[1] == "access":
        Access(bus, DESKTOP)
        bus.request_name("org.freedesktop.impl.portal.desktop.korveltest")
    else:
        log_path = sys.argv[3]

        def log(line):
            with open(log_path, "a") as f:
                f.write(line + "\n")

        Portal(bus, sys.argv[2], log)
        bus.request_name("org.freedesktop.portal.Desktop")
        log("ready")
    GLib.MainLoop().run()


main()
