#!/usr/bin/python3
# KWin's own view of the screen, for checking what Korvel froze:
#   kwinview.py screen NAME OUT.ppm   the output NAME through ScreenShot2, which
#                                     KWin answers only for programs it authorises
#   kwinview.py window CAPTION        "x y w h" of the window, from a KWin script
import json
import os
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


def screen(name, out):
    shots = dbus.Interface(dbus.SessionBus().get_object("org.kde.KWin.ScreenShot2", "/org/kde/KWin/ScreenShot2"),
                           "org.kde.KWin.ScreenShot2")
    r, w = os.pipe()
    meta = shots.CaptureScreen(name, {"native-resolution": True}, dbus.types.UnixFd(w))
    os.close(w)
    width, height, stride = int(meta["width"]), int(meta["height"]), int(meta["stride"])
    assert int(meta["format"]) in (4, 5, 6) and stride == width * 4, dict(meta)
    with os.fdopen(r, "rb") as f:
        data = f.read(stride * height)
    assert len(data) == stride * height, "short pixels"
    rgb = bytearray(width * height * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = data[2::4], data[1::4], data[0::4]  # BGRA in memory
    with open(out, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (width, height) + rgb)


class Report(dbus.service.Object):
    @dbus.service.method("org.korvel.Test", in_signature="s")
    def Report(self, text):
        self.text = text
        loop.quit()


def window(caption):
    bus = dbus.SessionBus()
    report = Report(bus, "/report")
    path = os.path.join(os.environ["XDG_RUNTIME_DIR"], "kwinview.js")
    with open(path, "w") as f:
        f.write("var out = [];\nvar list = workspace.clientList();\n"
                "for (var i = 0; i < list.length; i++) { var g = list[i].frameGeometry;\n"
                "  if (list[i].caption == %s) out.push([g.x, g.y, g.width, g.height]); }\n"
                "callDBus(%s, '/report', 'org.korvel.Test', 'Report', JSON.stringify(out));\n"
                % (json.dumps(caption), json.dumps(bus.get_unique_name())))
    scripting = dbus.Interface(bus.get_object("org.kde.KWin", "/Scripting"), "org.kde.kwin.Scripting")
    scripting.get_dbus_method("loadScript")(path, "kwinview", signature="ss")
    scripting.start()
    GLib.timeout_add(3000, loop.quit)
    loop.run()
    scripting.unloadScript("kwinview")
    found = json.loads(getattr(report, "text", "[]"))
    if not found:
        sys.exit(1)
    print(*found[0])


DBusGMainLoop(set_as_default=True)
loop = GLib.MainLoop()
if sys.argv[1] == "screen":
    screen(sys.argv[2], sys.argv[3])
else:
    window(sys.argv[2])
