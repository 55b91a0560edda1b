#!/usr/bin/python3
# KWin's own view of output NAME through ScreenShot2, which KWin answers only for programs it
# authorises, for checking what Korvel froze: kwinview.py NAME OUT.ppm
import os
import sys

import dbus

name, out = sys.argv[1:]
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
