#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <vector>

namespace korvel {

// One monitor as the display server reports it. Geometry is in root-window
// device pixels, origin at the root's top-left corner; on Wayland in the
// compositor's logical layout, where each output has its own scale.
struct Display {
    quint32 id = 0;
    QString name;
    QRect geometry;
    bool primary = false;

    friend bool operator==(const Display&, const Display&) = default;
};

class ScreenSource {
public:
    virtual ~ScreenSource() = default;

    // Every monitor with a non-empty area; the primary one comes first.
    virtual std::vector<Display> displays() = 0;

    // Grabs of these displays follow at once: a backend may start them all
    // together.
    virtual void prepare(const std::vector<Display>& displays) { Q_UNUSED(displays); }

    // The code of the korvel::Error a grab throws when the user dismissed the
    // desktop's consent dialog: the capture ends without an alert.
    static constexpr int cancelled = 20;

    // A still image of the display at its native pixel size, format
    // ARGB32_Premultiplied, opaque. Throws korvel::Error when the display
    // cannot be read (gone, or the server refused the request).
    virtual QImage grab(const Display& display) = 0;

    // The size of a grab of the display: the geometry's, except on scaled
    // Wayland outputs.
    virtual QSize pixelSize(const Display& display) { return display.geometry.size(); }

    // Whether the session lets us read the screen at all. X11 always does;
    // portal backends may be refused.
    virtual bool accessGranted() { return true; }
    // Where the desktop grants access, for the alert after a refusal; empty
    // where the session cannot refuse.
    virtual QString accessSetting() { return {}; }
};

} // namespace korvel
