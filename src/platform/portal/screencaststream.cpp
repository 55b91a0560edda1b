#include "screencaststream.h"

#include "../serialqueue.h"
#include "portalrequest.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>
#include <QSettings>

#include <fcntl.h>
#include <mutex>
#include <unistd.h>

// PipeWire's headers build their structures with C idioms.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#pragma GCC diagnostic pop

namespace korvel::portal {
namespace {

const QString screenCastInterface = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString castTokenKey = QStringLiteral("screenCastRestoreToken");
// The first time, the user picks the screen to share.
constexpr std::chrono::seconds pickTimeout{120};

Error streamError(const QString& detail) {
    return Error(QStringLiteral("Korvel"), 4, detail);
}

QString handleOf(const QVariant& value) {
    return value.canConvert<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path()
                                               : value.toString();
}

QVariantMap requireGranted(const Response& response, const QString& step) {
    switch (response.outcome) {
    case Outcome::granted:
        return response.results;
    case Outcome::cancelled:
        throw streamError(QStringLiteral("已取消共享屏幕。"));
    case Outcome::refused:
        throw streamError(QStringLiteral("桌面拒绝了共享屏幕（%1）。").arg(step));
    case Outcome::timedOut:
        throw streamError(QStringLiteral("桌面门户没有应答（%1）。").arg(step));
    case Outcome::unavailable:
        break;
    }
    throw streamError(QStringLiteral("桌面门户不提供共享屏幕：%1").arg(response.error));
}

QPoint pairOf(const QVariant& value) {
    const QDBusArgument argument = value.value<QDBusArgument>();
    int a = 0, b = 0;
    if (argument.currentType() == QDBusArgument::StructureType) {
        argument.beginStructure();
        argument >> a >> b;
        argument.endStructure();
    }
    return {a, b};
}

QImage::Format imageFormat(uint32_t format) {
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
        return QImage::Format_RGB32;
    case SPA_VIDEO_FORMAT_BGRA:
        return QImage::Format_ARGB32;
    case SPA_VIDEO_FORMAT_RGBx:
        return QImage::Format_RGBX8888;
    case SPA_VIDEO_FORMAT_RGBA:
        return QImage::Format_RGBA8888;
    default:
        return QImage::Format_Invalid;
    }
}

} // namespace

std::vector<CastSource> castSources(const QVariant& streams) {
    std::vector<CastSource> sources;
    const QDBusArgument argument = streams.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        CastSource source;
        QVariantMap properties;
        argument.beginStructure();
        argument >> source.node >> properties;
        argument.endStructure();
        if (properties.contains(QStringLiteral("size"))) {
            const QPoint size = pairOf(properties.value(QStringLiteral("size")));
            source.area = QRect(pairOf(properties.value(QStringLiteral("position"))),
                                QSize(size.x(), size.y()));
        }
        sources.push_back(source);
    }
    argument.endArray();
    return sources;
}

bool screenCastAvailable() {
    if (interfaceVersion(screenCastInterface) == 0)
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        desktopService, desktopPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    call << screenCastInterface << QStringLiteral("AvailableSourceTypes");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    const uint types = reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
    return (types & 1) != 0; // monitors
}

std::vector<WindowInfo> OutputWindows::windows() {
    std::vector<WindowInfo> result;
    quint32 id = 0;
    for (const QRect& output : outputs_()) {
        WindowInfo w;
        w.id = ++id;
        w.bounds = QRectF(output);
        w.title = QStringLiteral("显示器 %1").arg(id);
        result.push_back(w);
    }
    return result;
}

struct ScreenCastStream::State : std::enable_shared_from_this<State> {
    std::mutex mutex;
    SerialQueue* queue = nullptr;
    FrameHandler onFrame;
    StopHandler onStop;
    QRect area;
    bool active = true;
    bool running = false;
    int queueDepth = 6;
    int queued = 0;

    // Touched on PipeWire's thread, or under its lock.
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    spa_video_info_raw format{};
    bool streaming = false;

    void deliver(QImage part, const QRect& area) {
        std::lock_guard guard(mutex);
        if (!running || queued >= queueDepth)
            return;
        ++queued;
        queue->post([this, self = shared_from_this(), part = std::move(part), area] {
            FrameHandler handler;
            {
                std::lock_guard guard(mutex);
                --queued;
                if (!running)
                    return;
                handler = onFrame;
            }
            const QImage image = part.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            handler(WindowFrame{image, true, area});
        });
    }

    void ended(const QString& why) {
        std::lock_guard guard(mutex);
        if (!running)
            return;
        queue->post([this, self = shared_from_this(), why] {
            StopHandler handler;
            {
                std::lock_guard guard(mutex);
                if (!running)
                    return;
                running = false;
                handler = onStop;
            }
            handler(streamError(why));
        });
    }

    static void onProcess(void* data) {
        auto* s = static_cast<State*>(data);
        pw_buffer* buffer = pw_stream_dequeue_buffer(s->stream);
        if (!buffer)
            return;
        const spa_data& d = buffer->buffer->datas[0];
        const QImage::Format format = imageFormat(s->format.format);
        const QSize size(int(s->format.size.width), int(s->format.size.height));
        if (d.data && d.chunk && d.chunk->size > 0 && format != QImage::Format_Invalid &&
            !size.isEmpty()) {
            QRect area;
            bool active = false;
            {
                std::lock_guard guard(s->mutex);
                area = s->area;
                active = s->active;
            }
            const auto* bytes = static_cast<const uchar*>(d.data) + d.chunk->offset;
            const QImage frame(bytes, size.width(), size.height(), d.chunk->stride, format);
            const QRect wanted = area.isEmpty() ? frame.rect() : area.intersected(frame.rect());
            // The copy lets the buffer go back at once; converting waits
            // for the frame queue.
            if (active && !wanted.isEmpty())
                s->deliver(frame.copy(wanted), area.isEmpty() ? QRect() : wanted);
        }
        pw_stream_queue_buffer(s->stream, buffer);
    }

    static void onParamChanged(void* data, uint32_t id, const spa_pod* param) {
        auto* s = static_cast<State*>(data);
        if (!param || id != SPA_PARAM_Format)
            return;
        uint32_t mediaType = 0, mediaSubtype = 0;
        if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
            mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
            return;
        spa_format_video_raw_parse(param, &s->format);
    }

    static void onStateChanged(void* data, pw_stream_state, pw_stream_state state,
                               const char* error) {
        auto* s = static_cast<State*>(data);
        if (state == PW_STREAM_STATE_STREAMING)
            s->streaming = true;
        if (state == PW_STREAM_STATE_ERROR)
            s->ended(QStringLiteral("屏幕共享出错：%1").arg(QString::fromUtf8(error)));
        else if (state == PW_STREAM_STATE_UNCONNECTED && s->streaming)
            s->ended(QStringLiteral("屏幕共享已结束。"));
    }

    void connect(int fd, quint32 node, QSize size) {
        static std::once_flag initialised;
        std::call_once(initialised, [] { pw_init(nullptr, nullptr); });
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = onStateChanged;
            e.param_changed = onParamChanged;
            e.process = onProcess;
            return e;
        }();
        loop = pw_thread_loop_new("korvel-cast", nullptr);
        context = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
        if (!loop || !context || pw_thread_loop_start(loop) < 0) {
            ::close(fd);
            throw streamError(QStringLiteral("无法启动 PipeWire。"));
        }
        pw_thread_loop_lock(loop);
        core = pw_context_connect_fd(context, fd, nullptr, 0);
        if (core) {
            stream =
                pw_stream_new(core, "korvel",
                              pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
        }
        int result = -1;
        if (stream) {
            pw_stream_add_listener(stream, &listener, &events, this);
            uint8_t storage[1024];
            spa_pod_builder builder{};
            spa_pod_builder_init(&builder, storage, sizeof storage);
            spa_rectangle defaultSize{uint32_t(size.width()), uint32_t(size.height())};
            spa_rectangle minimumSize{1, 1};
            spa_rectangle maximumSize{16384, 16384};
            spa_fraction defaultRate{60, 1};
            spa_fraction minimumRate{0, 1};
            spa_fraction maximumRate{1000, 1};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wold-style-cast"
            const auto* formats = static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
                SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
                SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
                SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                                       SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                                       SPA_VIDEO_FORMAT_RGBA),
                SPA_FORMAT_VIDEO_size,
                SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minimumSize, &maximumSize),
                SPA_FORMAT_VIDEO_framerate,
                SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minimumRate, &maximumRate)));
#pragma GCC diagnostic pop
            const spa_pod* params[] = {formats};
            result = pw_stream_connect(
                stream, PW_DIRECTION_INPUT, node,
                pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params,
                1);
        }
        pw_thread_loop_unlock(loop);
        if (result < 0) {
            disconnect();
            throw streamError(QStringLiteral("无法连接 PipeWire 的屏幕共享。"));
        }
    }

    void disconnect() {
        if (loop) {
            pw_thread_loop_lock(loop);
            if (stream)
                pw_stream_destroy(stream);
            if (core)
                pw_core_disconnect(core);
            pw_thread_loop_unlock(loop);
            pw_thread_loop_stop(loop);
        }
        if (context)
            pw_context_destroy(context);
        if (loop)
            pw_thread_loop_destroy(loop);
        stream = nullptr;
        core = nullptr;
        context = nullptr;
        loop = nullptr;
        streaming = false;
    }
};

ScreenCastStream::ScreenCastStream(Locate locate)
    : locate_(std::move(locate))
    , state_(std::make_shared<State>()) {}

ScreenCastStream::~ScreenCastStream() {
    stop();
}

void ScreenCastStream::start(const WindowStreamConfiguration& configuration, SerialQueue& queue,
                             FrameHandler onFrame, StopHandler onStop) {
    stop();
    const std::optional<QRect> output = locate_ ? locate_(configuration.window) : std::nullopt;
    if (!output || output->isEmpty())
        throw streamError(QStringLiteral("显示器已断开，请重新选择区域。"));

    // A fresh portal session per capture: a session the portal has closed
    // cannot start again.
    const QVariantMap created = requireGranted(
        callRequest(screenCastInterface, QStringLiteral("CreateSession"),
                    {QVariantMap{{QStringLiteral("session_handle_token"), newToken()}}},
                    setupTimeout),
        QStringLiteral("CreateSession"));
    session_ = handleOf(created.value(QStringLiteral("session_handle")));
    const QDBusObjectPath session(session_);
    QSettings settings;
    QVariantMap sources{{QStringLiteral("types"), 1u}, // monitors
                        {QStringLiteral("multiple"), false},
                        {QStringLiteral("cursor_mode"), 1u}}; // hidden
    if (interfaceVersion(screenCastInterface) >= 4) {
        sources.insert(QStringLiteral("persist_mode"), 2u); // until revoked
        const QString token = settings.value(castTokenKey).toString();
        if (!token.isEmpty())
            sources.insert(QStringLiteral("restore_token"), token);
    }
    try {
        requireGranted(callRequest(screenCastInterface, QStringLiteral("SelectSources"),
                                   {QVariant::fromValue(session), sources}, setupTimeout),
                       QStringLiteral("SelectSources"));
        const QVariantMap started = requireGranted(
            callRequest(screenCastInterface, QStringLiteral("Start"),
                        {QVariant::fromValue(session), QString(), QVariantMap{}}, pickTimeout),
            QStringLiteral("Start"));
        const QString token = started.value(QStringLiteral("restore_token")).toString();
        if (!token.isEmpty())
            settings.setValue(castTokenKey, token);
        const std::vector<CastSource> casts = castSources(started.value(QStringLiteral("streams")));
        if (casts.empty())
            throw streamError(QStringLiteral("桌面没有共享任何屏幕。"));
        // Some portals put every monitor at the origin; the size still tells
        // them apart where the outputs differ. Some give it in the output's
        // pixels, which differ from its layout on a scaled output.
        const CastSource& cast = casts.front();
        if (cast.area && cast.area != *output && cast.area->size() != output->size() &&
            cast.area->size() != configuration.size) {
            // Asked again next time, so another screen can be chosen.
            settings.remove(castTokenKey);
            throw streamError(
                QStringLiteral("共享的不是框选区域所在的显示器，请重新开始并选择该显示器。"));
        }
        QDBusMessage open = QDBusMessage::createMethodCall(
            desktopService, desktopPath, screenCastInterface, QStringLiteral("OpenPipeWireRemote"));
        open << QVariant::fromValue(session) << QVariantMap{};
        const QDBusMessage reply = QDBusConnection::sessionBus().call(
            open, QDBus::Block, int(setupTimeout.count()) * 1000);
        const QDBusUnixFileDescriptor fd =
            reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
        if (reply.type() != QDBusMessage::ReplyMessage || !fd.isValid())
            throw streamError(QStringLiteral("无法打开 PipeWire 的屏幕共享。"));
        {
            std::lock_guard guard(state_->mutex);
            state_->queue = &queue;
            state_->onFrame = std::move(onFrame);
            state_->onStop = std::move(onStop);
            state_->queueDepth = std::max(1, configuration.queueDepth);
            state_->running = true;
        }
        state_->connect(fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 3), cast.node,
                        configuration.size);
    } catch (const Error&) {
        stop();
        throw;
    }
}

void ScreenCastStream::setArea(const QRect& area, bool active) {
    std::lock_guard guard(state_->mutex);
    state_->area = area;
    state_->active = active;
}

void ScreenCastStream::stop() {
    SerialQueue* queue = nullptr;
    {
        std::lock_guard guard(state_->mutex);
        state_->running = false;
        queue = state_->queue;
    }
    state_->disconnect();
    // A frame being handed over ends before the handlers go.
    if (queue && !queue->isCurrent())
        queue->sync();
    if (!session_.isEmpty()) {
        QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
            desktopService, session_, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close")));
        session_.clear();
    }
}

} // namespace korvel::portal
