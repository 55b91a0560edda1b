// Independent checks for the end-to-end tests, written against plain xcb:
//   e2etool tray-ready              exit 0 when a system tray owns its selection
//   e2etool compare PNG X Y         compares PNG with the root window at (X, Y)
//   e2etool frame WINDOW            prints "x y w h" of the outer frame, then of the client
//   e2etool pixel PNG X Y           prints the pixel as #rrggbb
//   e2etool snapshot-png FILE [X Y W H]  writes that part of the root window (default
//                                   the top-left 640 × 480) as PNG
//   e2etool root-pixel X Y          prints the root window's pixel as #rrggbb
//   e2etool inside PART WHOLE X Y   exit 0 when PNG PART equals WHOLE's pixels at (X, Y)
//   e2etool crop PNG X Y W H OUT    writes that part of PNG to OUT
//   e2etool enlarge PNG N OUT       writes PNG N times as large, each pixel an N × N
//                                   block, as an output of scale N shows a plain drawing
//   e2etool rows PART WHOLE X       prints where PART's rows come from: runs of
//                                   "first last whole-row" (-1: no row of WHOLE at
//                                   column X matches), for telling a failed stitch apart
//   e2etool columns PART WHOLE Y    the same for columns, from row Y on
//   e2etool png-bomb OUT W H BYTES  a W × H PNG whose image data inflates to BYTES
//   e2etool png-blank OUT W H       a sound W × H PNG, all black
//   e2etool hand-over SOCKET KIND FILE  sends FILE as a pin (KIND 2) or edit (3)
//                                   request straight to a running korvel, past
//                                   its own checks; prints the answer byte or "none"
//   e2etool sway-window TITLE       reads sway's tree (swaymsg -t get_tree) on standard
//                                   input; prints "x y w h pid id fullscreen" of each visible
//                                   window whose title matches the regular expression
//   e2etool listen SOCKET OUT       listens there for ever, answering nothing, and
//                                   appends the size of each request it receives to OUT
#include "../platform/pngbytes.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMultiHash>
#include <QRegularExpression>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

xcb_connection_t* c = nullptr;
xcb_window_t root = 0;

int trayReady() {
    const char name[] = "_NET_SYSTEM_TRAY_S0";
    auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    auto* owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
    const bool ready = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(atom);
    std::free(owner);
    return ready ? 0 : 1;
}

int compare(const char* path, int x, int y) {
    QImage expected(QString::fromLocal8Bit(path));
    if (expected.isNull())
        return 2;
    expected = expected.convertToFormat(QImage::Format_RGB32);
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(x), int16_t(y),
                      uint16_t(expected.width()), uint16_t(expected.height()), ~0u),
        nullptr);
    if (!image)
        return 2;
    const auto* data = reinterpret_cast<const quint32*>(xcb_get_image_data(image));
    long mismatches = 0;
    for (int row = 0; row < expected.height(); ++row) {
        const auto* line = reinterpret_cast<const quint32*>(expected.constScanLine(row));
        for (int col = 0; col < expected.width(); ++col) {
            if ((line[col] & 0xffffff) != (data[row * expected.width() + col] & 0xffffff))
                ++mismatches;
        }
    }
    std::free(image);
    std::printf("%ld\n", mismatches);
    return mismatches == 0 ? 0 : 1;
}

xcb_atom_t atom(const char* name) {
    auto* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    std::free(r);
    return a;
}

int frame(xcb_window_t window) {
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    auto* origin = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr);
    if (!geometry || !origin)
        return 2;
    long left = 0, right = 0, top = 0, bottom = 0;
    auto* extents = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4),
        nullptr);
    if (extents && xcb_get_property_value_length(extents) == 16) {
        const auto* e = static_cast<const quint32*>(xcb_get_property_value(extents));
        left = e[0];
        right = e[1];
        top = e[2];
        bottom = e[3];
    }
    std::printf("%ld %ld %ld %ld %d %d %d %d\n", origin->dst_x - left, origin->dst_y - top,
                geometry->width + left + right, geometry->height + top + bottom, origin->dst_x,
                origin->dst_y, geometry->width, geometry->height);
    std::free(geometry);
    std::free(origin);
    std::free(extents);
    return 0;
}

int pixel(const char* path, int x, int y) {
    const QImage image(QString::fromLocal8Bit(path));
    if (image.isNull() || !image.valid(x, y))
        return 2;
    std::printf("#%06x\n", image.pixel(x, y) & 0xffffff);
    return 0;
}

QImage grab(int x, int y, int w, int h) {
    xcb_get_image_reply_t* image =
        xcb_get_image_reply(c,
                            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(x),
                                          int16_t(y), uint16_t(w), uint16_t(h), ~0u),
                            nullptr);
    if (!image)
        return {};
    QImage copy = QImage(xcb_get_image_data(image), w, h, QImage::Format_RGB32).copy();
    std::free(image);
    return copy;
}

int snapshotPng(const char* path, int x, int y, int w, int h) {
    const QImage image = grab(x, y, w, h);
    return !image.isNull() && image.save(QString::fromLocal8Bit(path), "PNG") ? 0 : 2;
}

int rootPixel(int x, int y) {
    const QImage image = grab(x, y, 1, 1);
    if (image.isNull())
        return 2;
    std::printf("#%06x\n", image.pixel(0, 0) & 0xffffff);
    return 0;
}

int inside(const char* partPath, const char* wholePath, int x, int y) {
    const QImage part =
        QImage(QString::fromLocal8Bit(partPath)).convertToFormat(QImage::Format_RGB32);
    const QImage whole =
        QImage(QString::fromLocal8Bit(wholePath)).convertToFormat(QImage::Format_RGB32);
    if (part.isNull() || whole.isNull())
        return 2;
    const bool same = whole.copy(x, y, part.width(), part.height()) == part;
    std::printf("%dx%d %s\n", part.width(), part.height(), same ? "same" : "different");
    return same ? 0 : 1;
}

int crop(const char* path, const QRect& area, const char* out) {
    const QImage image(QString::fromLocal8Bit(path));
    if (image.isNull() || !image.rect().contains(area))
        return 2;
    return image.copy(area).save(QString::fromLocal8Bit(out), "PNG") ? 0 : 2;
}

int enlarge(const char* path, int factor, const char* out) {
    const QImage image(QString::fromLocal8Bit(path));
    if (image.isNull() || factor < 1)
        return 2;
    return image.scaled(image.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                   .save(QString::fromLocal8Bit(out), "PNG")
               ? 0
               : 2;
}

int rows(const char* partPath, const char* wholePath, int x, bool columns) {
    // Columns are the rows of the transposed images.
    const QTransform transpose = columns ? QTransform(0, 1, 1, 0, 0, 0) : QTransform();
    const QImage part = QImage(QString::fromLocal8Bit(partPath))
                            .convertToFormat(QImage::Format_RGB32)
                            .transformed(transpose);
    const QImage whole = QImage(QString::fromLocal8Bit(wholePath))
                             .convertToFormat(QImage::Format_RGB32)
                             .transformed(transpose);
    if (part.isNull() || whole.isNull() || x < 0 || x + part.width() > whole.width())
        return 2;
    const auto bytes = size_t(part.width()) * 4;
    QMultiHash<QByteArray, int> index;
    for (int y = 0; y < whole.height(); ++y) {
        index.insert(QByteArray(reinterpret_cast<const char*>(whole.constScanLine(y)) + x * 4,
                                qsizetype(bytes)),
                     y);
    }
    // Rows that continue the previous run are preferred over other copies.
    int runStart = 0, runSource = -2, previous = -2;
    for (int y = 0; y <= part.height(); ++y) {
        int source = -1;
        if (y < part.height()) {
            const QByteArray row(reinterpret_cast<const char*>(part.constScanLine(y)),
                                 qsizetype(bytes));
            const QList<int> found = index.values(row);
            if (!found.isEmpty())
                source = found.contains(previous + 1) ? previous + 1 : found.back();
        }
        const bool continues = y < part.height() && y > 0 &&
                               ((source < 0 && previous < 0) ||
                                (source >= 0 && previous >= 0 && source == previous + 1));
        if (y > 0 && !continues) {
            std::printf("%d %d %d\n", runStart, y - 1, runSource);
            runStart = y;
            runSource = source;
        }
        if (y == 0)
            runSource = source;
        previous = source;
    }
    return 0;
}

int writeFile(const char* path, const QByteArray& bytes) {
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? 0 : 1;
}

int handOver(const char* socketPath, int kind, const char* path) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    QByteArray request = QByteArray(1, char(kind));
    if (kind == 3)
        request += QByteArray("hostile.png") + '\0';
    request += file.readAll();
    QByteArray message(8, 0);
    qToBigEndian<quint64>(quint64(request.size()), message.data());
    message += request;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath, sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return 2;
    for (qsizetype sent = 0; sent < message.size();) {
        const ssize_t n =
            ::send(fd, message.constData() + sent, size_t(message.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return 2;
        sent += n;
    }
    char answer = 0;
    std::printf("%s\n",
                ::recv(fd, &answer, 1, 0) == 1 ? QByteArray(1, answer).constData() : "none");
    ::close(fd);
    return 0;
}

int listenOn(const char* socketPath, const char* out) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath, sizeof address.sun_path - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0)
        return 2;
    for (;;) {
        const int peer = ::accept(fd, nullptr, nullptr);
        long received = 0;
        char buffer[65536];
        for (ssize_t n; (n = ::recv(peer, buffer, sizeof buffer, 0)) > 0;)
            received += n;
        ::close(peer);
        if (FILE* log = std::fopen(out, "a")) {
            std::fprintf(log, "%ld\n", received);
            std::fclose(log);
        }
    }
}

int swayWindow(const char* pattern) {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return 2;
    const QRegularExpression title(QString::fromLocal8Bit(pattern));
    int found = 0;
    std::function<void(const QJsonObject&)> visit = [&](const QJsonObject& node) {
        const QJsonObject r = node.value(QLatin1String("rect")).toObject();
        if (node.contains(QLatin1String("pid")) && node.value(QLatin1String("visible")).toBool() &&
            title.match(node.value(QLatin1String("name")).toString()).hasMatch()) {
            std::printf("%d %d %d %d %lld %lld %d\n", r.value(QLatin1String("x")).toInt(),
                        r.value(QLatin1String("y")).toInt(),
                        r.value(QLatin1String("width")).toInt(),
                        r.value(QLatin1String("height")).toInt(),
                        node.value(QLatin1String("pid")).toInteger(),
                        node.value(QLatin1String("id")).toInteger(),
                        node.value(QLatin1String("fullscreen_mode")).toInt());
            ++found;
        }
        for (const char* key : {"nodes", "floating_nodes"}) {
            for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
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
    // Needs no display.
    if ((!std::strcmp(argv[1], "rows") || !std::strcmp(argv[1], "columns")) && argc == 5)
        return rows(argv[2], argv[3], std::atoi(argv[4]), argv[1][0] == 'c');
    if (!std::strcmp(argv[1], "crop") && argc == 8)
        return crop(
            argv[2],
            QRect(std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6])),
            argv[7]);
    if (!std::strcmp(argv[1], "enlarge") && argc == 5)
        return enlarge(argv[2], std::atoi(argv[3]), argv[4]);
    if (!std::strcmp(argv[1], "png-bomb") && argc == 6)
        return writeFile(argv[2], pngbytes::bomb(quint32(std::atol(argv[3])),
                                                 quint32(std::atol(argv[4])), std::atoll(argv[5])));
    if (!std::strcmp(argv[1], "png-blank") && argc == 5) {
        const qint64 w = std::atol(argv[3]), h = std::atol(argv[4]);
        return writeFile(argv[2], pngbytes::rgb(quint32(w), quint32(h), h * (1 + 3 * w)));
    }
    if (!std::strcmp(argv[1], "listen") && argc == 4)
        return listenOn(argv[2], argv[3]);
    if (!std::strcmp(argv[1], "hand-over") && argc == 5)
        return handOver(argv[2], std::atoi(argv[3]), argv[4]);
    if (!std::strcmp(argv[1], "sway-window") && argc == 3)
        return swayWindow(argv[2]);
    if (!std::strcmp(argv[1], "inside") && argc == 6)
        return inside(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    if (!std::strcmp(argv[1], "pixel") && argc == 5)
        return pixel(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 2;
    root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const char* command = argv[1];
    if (!std::strcmp(command, "tray-ready"))
        return trayReady();
    if (!std::strcmp(command, "compare") && argc == 5)
        return compare(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (!std::strcmp(command, "frame") && argc == 3)
        return frame(xcb_window_t(std::strtoul(argv[2], nullptr, 0)));
    if (!std::strcmp(command, "snapshot-png") && argc == 3)
        return snapshotPng(argv[2], 0, 0, 640, 480);
    if (!std::strcmp(command, "snapshot-png") && argc == 7)
        return snapshotPng(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                           std::atoi(argv[6]));
    if (!std::strcmp(command, "root-pixel") && argc == 4)
        return rootPixel(std::atoi(argv[2]), std::atoi(argv[3]));
    return 2;
}
