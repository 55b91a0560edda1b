#include "waylandscreensource.h"

#include "../error.h"
#include "waylandconnection.h"

#include <QTimer>

#include <algorithm>

namespace korvel::wayland {
namespace {

Error grabError(const QString& detail) {
    return Error(QStringLiteral("Korvel"), 2,
                 QStringLiteral("无法读取显示器画面（%1）").arg(detail));
}

constexpr std::chrono::milliseconds frameTimeout{5000};
constexpr std::chrono::milliseconds warmUpTimeout{1000};
// Late enough not to hold up the start, early enough to be ready for the
// first capture.
constexpr int warmUpDelayMs = 1500;

} // namespace

ScreenSource::ScreenSource(Connection& connection)
    : connection_(connection) {
    // The compositor copies while we wait; the copies are read (and our
    // side of the memory touched) later, when nothing else is going on.
    for (const Output* o : connection_.outputs())
        warmUp_.push_back(std::make_unique<ScreencopyFrame>(connection_, *o));
    if (!warmUp_.empty())
        QTimer::singleShot(warmUpDelayMs, &context_, [this] { finishWarmUp(); });
}

void ScreenSource::finishWarmUp() {
    connection_.dispatchUntil(
        [this] {
            return std::all_of(warmUp_.begin(), warmUp_.end(),
                               [](const auto& f) { return f->finished(); });
        },
        warmUpTimeout);
    warmUp_.clear();
}

ScreenSource::~ScreenSource() = default;

std::vector<Display> ScreenSource::displays() {
    std::vector<Display> result;
    if (!connection_.roundtrip())
        return result;
    for (const Output* o : connection_.outputs()) {
        Display d;
        d.id = o->globalName;
        d.name = o->name;
        d.geometry = o->logical;
        d.primary = o->logical.topLeft() == QPoint(0, 0);
        result.push_back(d);
    }
    std::sort(result.begin(), result.end(), [](const Display& a, const Display& b) {
        if (a.primary != b.primary)
            return a.primary;
        const QPoint p = a.geometry.topLeft(), q = b.geometry.topLeft();
        return p.x() != q.x() ? p.x() < q.x() : p.y() < q.y();
    });
    if (!result.empty() &&
        std::none_of(result.begin(), result.end(), [](const Display& d) { return d.primary; }))
        result.front().primary = true;
    return result;
}

QSize ScreenSource::pixelSize(const Display& display) {
    const Output* o = connection_.output(display.id);
    return o ? o->pixels : display.geometry.size();
}

void ScreenSource::prepare(const std::vector<Display>& displays) {
    warmUp_.clear();
    pending_.clear();
    for (const Display& d : displays) {
        if (const Output* o = connection_.output(d.id))
            pending_[d.id] = std::make_unique<ScreencopyFrame>(connection_, *o);
    }
}

QImage ScreenSource::grab(const Display& display) {
    if (!connection_.screencopy())
        throw grabError(QStringLiteral("混成器不提供屏幕复制"));
    std::unique_ptr<ScreencopyFrame> frame;
    if (auto it = pending_.find(display.id); it != pending_.end()) {
        frame = std::move(it->second);
        pending_.erase(it);
    } else if (const Output* o = connection_.output(display.id)) {
        frame = std::make_unique<ScreencopyFrame>(connection_, *o);
    } else {
        throw grabError(QStringLiteral("显示器 %1 已不在屏幕上").arg(display.name));
    }
    ScreencopyFrame* f = frame.get();
    if (!connection_.dispatchUntil([f] { return f->finished(); }, frameTimeout))
        throw grabError(connection_.broken() ? QStringLiteral("与混成器的连接已断开")
                                             : QStringLiteral("混成器没有应答"));
    QImage image = frame->take();
    if (image.isNull())
        throw grabError(QStringLiteral("混成器拒绝了读取请求"));
    return image;
}

} // namespace korvel::wayland
