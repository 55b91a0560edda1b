#!/usr/bin/python3
# Portal stand-ins on the session bus for the Wayland tests, logging to LOG:
#   access: the consent dialog the Screenshot portal needs and wlroots lacks; allows all.
#   screenshot MODE LOG: Screenshot "cancel"s, "refuse"s or stays "silent"; GlobalShortcuts,
#     with org.korvel.Test.Press pressing every bound shortcut.
#   remote MODE LOG POINTER: Screenshot and ScreenCast of xdg-desktop-portal-wlr and a
#     RemoteDesktop that MODE "grant"s or not, its wheel replayed through korvel_wlpointer.
import os
import socket
import subprocess
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

DESKTOP = "/org/freedesktop/portal/desktop"
REQUEST = "org.freedesktop.portal.Request"
SCREENSHOT = "org.freedesktop.portal.Screenshot"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
CAST = "org.freedesktop.portal.ScreenCast"
REMOTE = "org.freedesktop.portal.RemoteDesktop"
WLR = "org.freedesktop.impl.portal.desktop.wlr"


def method(interface, signature="", out=""):
    return dbus.service.method(interface, in_signature=signature, out_signature=out,
                               sender_keyword="sender")


class Access(dbus.service.Object):
    @method("org.freedesktop.impl.portal.Access", "osssssa{sv}", "ua{sv}")
    def AccessDialog(self, handle, app_id, parent, title, subtitle, body, options, sender):
        return dbus.UInt32(0), {}


class Request(dbus.service.Object):
    def __init__(self, bus, path, log, close=None):
        super().__init__(bus, path)
        self.log, self.close = log, close

    @dbus.service.signal(REQUEST, signature="ua{sv}")
    def Response(self, response, results):
        pass

    @dbus.service.method(REQUEST)
    def Close(self):
        self.log("closed")
        self.remove_from_connection()


class Session(Request):
    @dbus.service.method("org.freedesktop.portal.Session")
    def Close(self):
        self.log("closed session")
        self.close()
        self.remove_from_connection()


class Desktop(dbus.service.Object):
    def __init__(self, bus, mode, log):
        super().__init__(bus, DESKTOP)
        self.mode, self.log = mode, log

    def path(self, kind, sender, token):
        return "%s/%s/%s/%s" % (DESKTOP, kind, sender[1:].replace(".", "_"), token)

    def request(self, sender, options):
        path = self.path("request", sender, options["handle_token"])
        return path, Request(self.connection, path, self.log)

    def reply(self, sender, options, code=0, results=None):
        """A request answered a moment after it is returned; never if code is None."""
        path, request = self.request(sender, options)
        if code is not None:
            GLib.timeout_add(50, lambda: request.Response(dbus.UInt32(code), results or {}) and False)
        return path

    @method(dbus.PROPERTIES_IFACE, "ss", "v")
    def Get(self, interface, name, sender):
        return dbus.UInt32(self.versions.get((interface, name), 0), variant_level=1)


class Portal(Desktop):
    versions = {(SCREENSHOT, "version"): 1, (SHORTCUTS, "version"): 1}
    bound = []  # (session, shortcut id)

    @method(SHORTCUTS, "a{sv}", "o")
    def CreateSession(self, options, sender):
        session = self.path("session", sender, options["session_handle_token"])
        return self.reply(sender, options, 0, {"session_handle": dbus.String(session)})

    @method(SHORTCUTS, "oa(sa{sv})sa{sv}", "o")
    def BindShortcuts(self, session, shortcuts, parent, options, sender):
        for shortcut, properties in shortcuts:
            self.log("bind %s %s" % (shortcut, properties.get("preferred_trigger", "")))
            self.bound.append((session, shortcut))
        return self.reply(sender, options)

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut, timestamp, options):
        pass

    @method("org.korvel.Test")
    def Press(self, sender):
        for session, shortcut in self.bound:
            self.Activated(session, shortcut, dbus.UInt64(0), {})

    @method(SCREENSHOT, "sa{sv}", "o")
    def Screenshot(self, parent, options, sender):
        self.log("screenshot interactive=%s" % bool(options.get("interactive", True)))
        return self.reply(sender, options, {"cancel": 1, "refuse": 2}.get(self.mode))


class CastPortal(Desktop):
    def session(self, sender, options, remote):
        path = self.path("session", sender, options["session_handle_token"])
        if remote:
            self.remote.add(path)
            close = lambda: self.remote.discard(path)  # noqa: E731
        else:
            close = lambda: self.connection.get_object(WLR, path).Close(  # noqa: E731
                dbus_interface="org.freedesktop.impl.portal.Session", ignore_reply=True)
        Session(self.connection, path, self.log, close)
        return path

    def forward(self, sender, options, interface, method, *arguments, extra=None):
        """The wlr backend's answer, with `extra` results, is the Response."""
        path, request = self.request(sender, options)

        def failed(error):
            self.log("wlr %s: %s" % (method, error))
            request.Response(dbus.UInt32(2), {})
        getattr(self.wlr, method)(
            dbus.ObjectPath(path), *arguments,
            dbus_interface="org.freedesktop.impl.portal." + interface,
            reply_handler=lambda code, results: request.Response(code, {**results, **(extra or {})}),
            error_handler=failed, timeout=30)
        return path

    @method(SCREENSHOT, "sa{sv}", "o")
    def Screenshot(self, parent, options, sender):
        return self.forward(sender, options, "Screenshot", "Screenshot", "", parent, options)

    @method(CAST, "a{sv}", "o")
    def CreateSession(self, options, sender):
        session = self.session(sender, options, False)
        return self.forward(sender, options, "ScreenCast", "CreateSession",
                            dbus.ObjectPath(session), "", {}, extra={"session_handle": session})

    @method(CAST, "oa{sv}", "o")
    def SelectSources(self, session, options, sender):
        if session not in self.remote:
            return self.forward(sender, options, "ScreenCast", "SelectSources", session, "",
                                options)
        self.log("sources types=%d" % options.get("types", 0))
        return self.reply(sender, options)

    @method(CAST, "osa{sv}", "o")
    def Start(self, session, parent, options, sender):
        return self.forward(sender, options, "ScreenCast", "Start", session, "", parent, options)

    @method(CAST, "oa{sv}", "h")
    def OpenPipeWireRemote(self, session, options, sender):
        connection = socket.socket(socket.AF_UNIX)
        connection.connect(os.path.join(os.environ["PIPEWIRE_RUNTIME_DIR"], "pipewire-0"))
        return dbus.types.UnixFd(connection)


class RemotePortal(CastPortal):
    """A subclass, as its CreateSession and Start share names with ScreenCast's."""
    versions = {(SCREENSHOT, "version"): 1, (CAST, "version"): 4,
                (CAST, "AvailableSourceTypes"): 1, (REMOTE, "version"): 2,
                (REMOTE, "AvailableDeviceTypes"): 3}

    def __init__(self, bus, mode, log, pointer, pointer_log):
        super().__init__(bus, mode, log)
        self.wlr = bus.get_object(WLR, DESKTOP)
        self.remote = set()  # the sessions of RemoteDesktop, which wlr does not know
        self.pointer = subprocess.Popen([pointer, pointer_log], stdin=subprocess.PIPE, text=True)
        self.at = (0, 0)

    @method(REMOTE, "a{sv}", "o")
    def CreateSession(self, options, sender):
        return self.reply(sender, options, 0, {"session_handle": self.session(sender, options, True)})

    @method(REMOTE, "oa{sv}", "o")
    def SelectDevices(self, session, options, sender):
        self.log("devices types=%d" % options.get("types", 0))
        return self.reply(sender, options)

    @method(REMOTE, "osa{sv}", "o")
    def Start(self, session, parent, options, sender):
        if self.mode != "grant":
            return self.reply(sender, options, 2)
        stream = (dbus.UInt32(44), {"position": dbus.Struct((0, 0), signature="ii"),
                                    "size": dbus.Struct((1920, 1080), signature="ii")})
        return self.reply(sender, options, 0, {"devices": dbus.UInt32(2),
                                               "streams": dbus.Array([stream], signature="(ua{sv})")})

    @method(REMOTE, "oa{sv}udd")
    def NotifyPointerMotionAbsolute(self, session, options, stream, x, y, sender):
        self.log("motion %d %d %d" % (stream, x, y))
        self.at = (int(x), int(y))

    @method(REMOTE, "oa{sv}ui")
    def NotifyPointerAxisDiscrete(self, session, options, axis, steps, sender):
        self.log("axis %d %d" % (axis, steps))
        self.pointer.stdin.write("move %d %d\nwheel %d\n" % (self.at + (steps,)))
        self.pointer.stdin.flush()

    @method(REMOTE, "oa{sv}dd")
    def NotifyPointerAxis(self, session, options, dx, dy, sender):
        self.log("axis finish=%s" % bool(options.get("finish", False)))


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    if sys.argv[1] == "access":
        Access(bus, DESKTOP)
        bus.request_name("org.freedesktop.impl.portal.desktop.korveltest")
        GLib.MainLoop().run()
    log_path = sys.argv[3]

    def log(line):
        with open(log_path, "a") as f:
            f.write(line + "\n")

    if sys.argv[1] == "remote":
        RemotePortal(bus, sys.argv[2], log, sys.argv[4], log_path + ".pointer")
    else:
        Portal(bus, sys.argv[2], log)
    # xdg-desktop-portal, where it runs, lets its name be taken, and then leaves.
    bus.add_signal_receiver(lambda name: name == "org.freedesktop.portal.Desktop" and log("ready"),
                            "NameAcquired", "org.freedesktop.DBus")
    bus.request_name("org.freedesktop.portal.Desktop", dbus.bus.NAME_FLAG_REPLACE_EXISTING)
    GLib.MainLoop().run()


main()
