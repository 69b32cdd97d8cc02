// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "PipeWireFrameGrab.h"

#include "model/Logging.h"

#include <pipewire/pipewire.h>
#include <spa/param/format-utils.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <QCoroSignal>
#include <QPointer>
#include <QSocketNotifier>

#include <unistd.h>

#include <mutex>

namespace norvane {

std::optional<QImage> imageFromVideoBuffer(const void* data, std::size_t size, int width, int height,
                                           int stride, uint32_t spaVideoFormat) {
    if (!data || width <= 0 || height <= 0 || stride < width * 4 ||
        size < std::size_t(stride) * std::size_t(height - 1) + std::size_t(width) * 4)
        return std::nullopt;
    // QImage's 32-bit formats are read as native integers (ARGB32: B, G, R, A in memory) except the
    // byte-ordered RGBX8888/RGBA8888, which match PipeWire's RGBx/RGBA.
    QImage::Format layout;
    switch (spaVideoFormat) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA: // a screen is opaque: alpha is ignored
        layout = QImage::Format_RGB32;
        break;
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA:
        layout = QImage::Format_RGBX8888;
        break;
    default:
        return std::nullopt;
    }
    const QImage shared(static_cast<const uchar*>(data), width, height, stride, layout);
    // Both conversions copy: the buffer goes back to the producer.
    return layout == QImage::Format_RGB32 ? shared.copy() : shared.convertToFormat(QImage::Format_RGB32);
}

struct PipeWireFrameGrab::Pw {
    pw_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    spa_hook coreListener{};
    pw_stream* stream = nullptr;
    spa_hook streamListener{};
    std::unique_ptr<QSocketNotifier> notifier;

    ~Pw() {
        notifier.reset();
        if (stream)
            pw_stream_destroy(stream);
        if (core)
            pw_core_disconnect(core);
        if (context)
            pw_context_destroy(context);
        if (loop) {
            pw_loop_leave(loop);
            pw_loop_destroy(loop);
        }
    }
};

PipeWireFrameGrab::PipeWireFrameGrab() : m_pw(std::make_unique<Pw>()) {}

PipeWireFrameGrab::~PipeWireFrameGrab() {
    m_pw.reset();
}

std::unique_ptr<PipeWireFrameGrab> PipeWireFrameGrab::connectToRemote(int remoteFd) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { pw_init(nullptr, nullptr); });

    std::unique_ptr<PipeWireFrameGrab> made(new PipeWireFrameGrab);
    Pw& pw = *made->m_pw;
    pw.loop = pw_loop_new(nullptr);
    if (!pw.loop) {
        close(remoteFd);
        return nullptr;
    }
    // The loop is driven from this thread only: Qt wakes it through the loop's own descriptor.
    pw_loop_enter(pw.loop);
    pw.context = pw_context_new(pw.loop, nullptr, 0);
    if (!pw.context) {
        close(remoteFd);
        return nullptr;
    }
    pw.core = pw_context_connect_fd(pw.context, remoteFd, nullptr, 0); // owns the descriptor from here
    if (!pw.core) {
        qCCritical(lcScreenshotService).noquote()
            << QStringLiteral("Norvane could not connect to PipeWire: %1.")
                   .arg(QString::fromLocal8Bit(strerror(errno)));
        return nullptr;
    }
    static const pw_core_events coreEvents = [] {
        pw_core_events events{};
        events.version = PW_VERSION_CORE_EVENTS;
        events.error = [](void* data, uint32_t id, int, int res, const char* message) {
            auto* self = static_cast<PipeWireFrameGrab*>(data);
            if (id != PW_ID_CORE)
                return;
            qCCritical(lcScreenshotService).noquote()
                << QStringLiteral("PipeWire ended the screen-cast connection: %1 (%2).")
                       .arg(logSafe(QString::fromUtf8(message)), QString::fromLocal8Bit(strerror(-res)));
            self->m_broken = true;
            self->endGrabSoon();
        };
        return events;
    }();
    pw_core_add_listener(pw.core, &pw.coreListener, &coreEvents, made.get());
    pw.notifier = std::make_unique<QSocketNotifier>(pw_loop_get_fd(pw.loop), QSocketNotifier::Read);
    connect(pw.notifier.get(), &QSocketNotifier::activated, made.get(), &PipeWireFrameGrab::dispatch);
    made->dispatch();
    return made;
}

void PipeWireFrameGrab::dispatch() {
    if (m_pw && m_pw->loop)
        pw_loop_iterate(m_pw->loop, 0);
}

void PipeWireFrameGrab::onParamChanged(uint32_t id, const spa_pod* param) {
    if (id != SPA_PARAM_Format || !param)
        return;
    uint32_t mediaType = 0, mediaSubtype = 0;
    spa_video_info_raw info{};
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &info) < 0)
        return;
    m_format = info.format;
    m_width = int(info.size.width);
    m_height = int(info.size.height);
    // Shared memory only: a DMA-BUF would need a GPU to read.
    uint8_t storage[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    const auto* buffers = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    pw_stream_update_params(m_pw->stream, &buffers, 1);
}

void PipeWireFrameGrab::onProcess() {
    pw_buffer* buffer = pw_stream_dequeue_buffer(m_pw->stream);
    if (!buffer)
        return;
    const spa_data& plane = buffer->buffer->datas[0];
    if (!m_frame && plane.data && plane.chunk && plane.chunk->size > 0 &&
        !(plane.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) {
        const int stride = plane.chunk->stride > 0 ? plane.chunk->stride : m_width * 4;
        const std::size_t offset = std::min<std::size_t>(plane.chunk->offset, plane.maxsize);
        m_frame = imageFromVideoBuffer(static_cast<const uchar*>(plane.data) + offset,
                                       std::min<std::size_t>(plane.chunk->size, plane.maxsize - offset),
                                       m_width, m_height, stride, m_format);
    }
    pw_stream_queue_buffer(m_pw->stream, buffer);
    if (m_frame)
        endGrabSoon();
}

void PipeWireFrameGrab::endGrabSoon() {
    // Queued: the waiting grab tears the stream down, which must not happen inside its own callback.
    QMetaObject::invokeMethod(
        this,
        [this, grab = m_grabs] {
            if (m_grabbing && grab == m_grabs)
                Q_EMIT grabEnded();
        },
        Qt::QueuedConnection);
}

void PipeWireFrameGrab::endStream() {
    if (!m_pw->stream)
        return;
    pw_stream_disconnect(m_pw->stream);
    pw_stream_destroy(m_pw->stream);
    m_pw->stream = nullptr;
    dispatch();
}

QCoro::Task<std::optional<QImage>> PipeWireFrameGrab::grab(uint32_t nodeId,
                                                           std::chrono::milliseconds timeout) {
    if (m_grabbing || m_broken)
        co_return std::nullopt;
    static const pw_stream_events streamEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = [](void* data, pw_stream_state, pw_stream_state state, const char* error) {
            auto* self = static_cast<PipeWireFrameGrab*>(data);
            if (!self->m_grabbing || (state != PW_STREAM_STATE_ERROR && state != PW_STREAM_STATE_UNCONNECTED))
                return;
            if (error)
                qCCritical(lcScreenshotService).noquote()
                    << QStringLiteral("The screen-cast stream failed: %1.")
                           .arg(logSafe(QString::fromUtf8(error)));
            self->endGrabSoon();
        };
        events.param_changed = [](void* data, uint32_t id, const spa_pod* param) {
            static_cast<PipeWireFrameGrab*>(data)->onParamChanged(id, param);
        };
        events.process = [](void* data) { static_cast<PipeWireFrameGrab*>(data)->onProcess(); };
        return events;
    }();

    ++m_grabs;
    m_frame.reset();
    m_format = 0;
    m_width = m_height = 0;
    m_pw->stream = pw_stream_new(m_pw->core, "Norvane window picture",
                                 pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                   "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!m_pw->stream)
        co_return std::nullopt;
    pw_stream_add_listener(m_pw->stream, &m_pw->streamListener, &streamEvents, this);

    uint8_t storage[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    // No modifier is offered, so the producer falls back to shared memory.
    const auto* formats = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_RGBx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA)));
    m_grabbing = true;
    const int connected = pw_stream_connect(
        m_pw->stream, PW_DIRECTION_INPUT, nodeId,
        pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), &formats, 1);
    if (connected < 0) {
        m_grabbing = false;
        endStream();
        co_return std::nullopt;
    }
    dispatch();
    QPointer<PipeWireFrameGrab> self(this);
    if (!m_frame && !m_broken)
        co_await qCoro(this, &PipeWireFrameGrab::grabEnded, timeout);
    if (!self)
        co_return std::nullopt;
    m_grabbing = false;
    endStream();
    if (!m_frame)
        qCCritical(lcScreenshotService).noquote()
            << QStringLiteral("The screen-cast stream gave no picture within %1 milliseconds.")
                   .arg(timeout.count());
    auto frame = std::move(m_frame);
    m_frame.reset();
    co_return frame;
}

} // namespace norvane
