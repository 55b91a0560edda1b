// Independent checks and helpers for the end-to-end tests, on plain xcb and Qt's image classes.
// On the X display:
//   tray-ready                  exit 0 when a system tray owns its selection
//   monitors WxH+X+Y[,…]        RandR monitors, the first primary; they outlive this client
//   grab-key KEYCODE MASK READY holds that key with modifiers MASK (any Lock), touches READY
//   snapshot-png FILE X Y W H   writes that part of the screen as PNG
//   root-pixel X Y              prints the screen's pixel as #rrggbb
//   compare PNG X Y             exit 0 when the screen at (X, Y) shows exactly PNG
// On files:
//   pixel PNG X Y               prints the image's pixel as #rrggbb
//   inside PART WHOLE X Y       exit 0 when PNG PART equals WHOLE's pixels at (X, Y)
//   crop PNG X Y W H OUT        writes that part of PNG to OUT
//   enlarge PNG N OUT           each pixel an N × N block, as an output of scale N shows it
//   rows PART WHOLE X           runs of PART's rows "first last whole-row" (-1: none) in WHOLE
//   png-bomb OUT W H BYTES      a W × H PNG whose image data inflates to BYTES
//   png-blank OUT W H           a sound W × H PNG, all black
//   sway-window TITLE           "x y w h pid id fullscreen" of matching windows, sway tree on stdin
#include "../platform/pngbytes.h"
#include "platform/x11/x11connection.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMultiHash>
#include <QRegularExpression>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <sys/uio.h>
#include <vector>

namespace {

xcb_connection_t* c = nullptr;
xcb_window_t root = 0;

// xcb's replies and errors, freed when they go.
template <typename T> korvel::x11::Reply<T> owned(T* reply) {
    return korvel::x11::Reply<T>(reply);
}

xcb_atom_t atom(const char* name) {
    const auto r = owned(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
    return r ? r->atom : 0;
}

int trayReady() {
    const auto owner = owned(xcb_get_selection_owner_reply(
        c, xcb_get_selection_owner(c, atom("_NET_SYSTEM_TRAY_S0")), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE ? 0 : 1;
}

// libxcb-randr 1.15 miscomputes the length of SetMonitor with outputs, so the
// request is assembled by hand.
bool setMonitor(const std::string& name, int w, int h, int x, int y,
                const std::vector<xcb_randr_output_t>& outputs) {
    std::vector<uint8_t> info(sizeof(xcb_randr_monitor_info_t) + 4 * outputs.size());
    auto* mi = reinterpret_cast<xcb_randr_monitor_info_t*>(info.data());
    const auto mm = [](int pixels) { return uint32_t(pixels * 254 / 960); };
    const auto n = uint16_t(outputs.size());
    *mi = {atom(name.c_str()), n > 0,       0,           n,     int16_t(x),
           int16_t(y),         uint16_t(w), uint16_t(h), mm(w), mm(h)};
    if (!outputs.empty())
        std::memcpy(mi + 1, outputs.data(), 4 * outputs.size());
    struct {
        uint8_t major, minor;
        uint16_t length;
        uint32_t window;
    } header = {0, XCB_RANDR_SET_MONITOR, 0, root};
    iovec parts[6] = {};
    parts[2] = {&header, sizeof header};
    parts[4] = {info.data(), info.size()};
    xcb_protocol_request_t request = {4, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
    const auto error = owned(
        xcb_request_check(c, {xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &request)}));
    return !error && !xcb_connection_has_error(c);
}

int monitors(const std::string& layout) {
    std::free(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    const auto resources = owned(xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, root), nullptr));
    if (!resources)
        return 1;
    const xcb_randr_output_t* out = xcb_randr_get_screen_resources_current_outputs(resources.get());
    const std::vector<xcb_randr_output_t> outputs(
        out, out + xcb_randr_get_screen_resources_current_outputs_length(resources.get()));
    xcb_set_close_down_mode(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    // The primary monitor takes over the server's one output.
    for (size_t start = 0, i = 0; start <= layout.size(); ++i) {
        const size_t end = std::min(layout.find(',', start), layout.size());
        int w = 0, h = 0, x = 0, y = 0;
        if (std::sscanf(layout.substr(start, end - start).c_str(), "%dx%d+%d+%d", &w, &h, &x, &y) !=
                4 ||
            !setMonitor("KORVEL-" + std::to_string(i), w, h, x, y,
                        i == 0 ? outputs : std::vector<xcb_randr_output_t>{}))
            return 1;
        start = end + 1;
    }
    xcb_disconnect(c);
    return 0;
}

int grabKey(xcb_keycode_t keycode, uint16_t mask, const char* ready) {
    // Mod2 is Num Lock on the X servers the tests use.
    for (int extra : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2),
                      int(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2)}) {
        if (owned(xcb_request_check(c, xcb_grab_key_checked(c, 1, root, uint16_t(mask | extra),
                                                            keycode, XCB_GRAB_MODE_ASYNC,
                                                            XCB_GRAB_MODE_ASYNC))))
            return 1;
    }
    QFile(QString::fromLocal8Bit(ready)).open(QIODevice::WriteOnly);
    // Key events for the grab are read and dropped until the process ends.
    while (xcb_generic_event_t* event = xcb_wait_for_event(c))
        std::free(event);
    return 0;
}

// Every image is compared as 24-bit RGB: the screen's fourth byte means nothing.
QImage rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB888);
}
QImage load(const char* path) {
    return rgb(QImage(QString::fromLocal8Bit(path)));
}

QImage grab(int x, int y, int w, int h) {
    const auto image =
        owned(xcb_get_image_reply(c,
                                  xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(x),
                                                int16_t(y), uint16_t(w), uint16_t(h), ~0u),
                                  nullptr));
    return image ? rgb(QImage(xcb_get_image_data(image.get()), w, h, QImage::Format_RGB32))
                 : QImage();
}

int printPixel(const QImage& image, int x, int y) {
    if (!image.valid(x, y))
        return 2;
    std::printf("#%06x\n", image.pixel(x, y) & 0xffffff);
    return 0;
}

int save(const QImage& image, const char* path) {
    return !image.isNull() && image.save(QString::fromLocal8Bit(path), "PNG") ? 0 : 2;
}

int inside(const QImage& part, const QImage& whole, int x, int y) {
    if (part.isNull() || whole.isNull())
        return 2;
    return whole.copy(x, y, part.width(), part.height()) == part ? 0 : 1;
}

int rows(const QImage& part, const QImage& whole, int x) {
    if (part.isNull() || whole.isNull() || x < 0 || x + part.width() > whole.width())
        return 2;
    const auto bytes = qsizetype(part.width()) * 3;
    const auto row = [bytes](const QImage& image, int y, int x) {
        return QByteArray(reinterpret_cast<const char*>(image.constScanLine(y)) + x * 3, bytes);
    };
    QMultiHash<QByteArray, int> index;
    for (int y = 0; y < whole.height(); ++y)
        index.insert(row(whole, y, x), y);
    // Rows that continue the previous run are preferred over other copies.
    std::vector<int> source;
    for (int y = 0; y < part.height(); ++y) {
        const QList<int> found = index.values(row(part, y, 0));
        const int next = source.empty() ? -1 : source.back() + 1;
        source.push_back(found.isEmpty() ? -1 : found.contains(next) ? next : found.back());
    }
    for (size_t start = 0, y = 1; y <= source.size(); ++y) {
        const int previous = source[y - 1];
        if (y < source.size() &&
            (source[y] < 0 ? previous < 0 : previous >= 0 && source[y] == previous + 1))
            continue;
        std::printf("%zu %zu %d\n", start, y - 1, source[start]);
        start = y;
    }
    return 0;
}

int writeFile(const char* path, const QByteArray& bytes) {
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? 0 : 1;
}

int swayWindow(const char* pattern) {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return 2;
    const QRegularExpression title(QString::fromLocal8Bit(pattern));
    int found = 0;
    std::function<void(const QJsonObject&)> visit = [&](const QJsonObject& node) {
        const auto value = [&node](const char* key) { return node.value(QLatin1String(key)); };
        const QJsonObject r = value("rect").toObject();
        const auto rect = [&r](const char* key) { return r.value(QLatin1String(key)).toInt(); };
        if (node.contains(QLatin1String("pid")) && value("visible").toBool() &&
            title.match(value("name").toString()).hasMatch()) {
            std::printf("%d %d %d %d %lld %lld %d\n", rect("x"), rect("y"), rect("width"),
                        rect("height"), value("pid").toInteger(), value("id").toInteger(),
                        value("fullscreen_mode").toInt());
            ++found;
        }
        for (const char* key : {"nodes", "floating_nodes"}) {
            for (const QJsonValue& child : value(key).toArray())
                visit(child.toObject());
        }
    };
    visit(QJsonDocument::fromJson(in.readAll()).object());
    return found ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const std::string command = argv[1];
    const int n = argc - 2;
    char** a = argv + 2;
    const auto i = [a](int k) { return std::atoi(a[k]); };
    // Without a display.
    if (command == "rows" && n == 3)
        return rows(load(a[0]), load(a[1]), i(2));
    if (command == "crop" && n == 6) {
        const QImage image = load(a[0]);
        const QRect area(i(1), i(2), i(3), i(4));
        return image.rect().contains(area) ? save(image.copy(area), a[5]) : 2;
    }
    if (command == "enlarge" && n == 3) {
        const QImage image = load(a[0]);
        return i(1) < 1 ? 2
                        : save(image.scaled(image.size() * i(1), Qt::IgnoreAspectRatio,
                                            Qt::FastTransformation),
                               a[2]);
    }
    if (command == "png-bomb" && n == 4)
        return writeFile(a[0], pngbytes::bomb(quint32(i(1)), quint32(i(2)), std::atoll(a[3])));
    if (command == "png-blank" && n == 3)
        return writeFile(a[0], pngbytes::rgb(quint32(i(1)), quint32(i(2)),
                                             qint64(i(2)) * (1 + 3 * qint64(i(1)))));
    if (command == "sway-window" && n == 1)
        return swayWindow(a[0]);
    if (command == "inside" && n == 4)
        return inside(load(a[0]), load(a[1]), i(2), i(3));
    if (command == "pixel" && n == 3)
        return printPixel(load(a[0]), i(1), i(2));
    // On the X display.
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 2;
    root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    if (command == "tray-ready")
        return trayReady();
    if (command == "monitors" && n == 1)
        return monitors(a[0]);
    if (command == "grab-key" && n == 3)
        return grabKey(xcb_keycode_t(i(0)), uint16_t(std::strtoul(a[1], nullptr, 0)), a[2]);
    if (command == "snapshot-png" && n == 5)
        return save(grab(i(1), i(2), i(3), i(4)), a[0]);
    if (command == "root-pixel" && n == 2)
        return printPixel(grab(i(0), i(1), 1, 1), 0, 0);
    if (command == "compare" && n == 3) {
        const QImage expected = load(a[0]);
        return inside(expected, grab(i(1), i(2), expected.width(), expected.height()), 0, 0);
    }
    return 2;
}
