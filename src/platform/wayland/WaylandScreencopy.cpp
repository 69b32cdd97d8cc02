// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "WaylandScreencopy.h"

#include "WaylandConnection.h"
#include "model/Logging.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <QCoroSignal>
#include <QPointer>

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>

namespace norvane {

namespace {

constexpr auto kFrameTimeout = std::chrono::seconds(2);

// The QImage that reads wl_shm's little-endian 32-bit formats as they are.
std::optional<QImage::Format> imageFormat(uint32_t format) {
    switch (format) {
    case WL_SHM_FORMAT_XRGB8888:
    case WL_SHM_FORMAT_ARGB8888: // a screen is opaque: alpha is ignored
        return QImage::Format_RGB32;
    case WL_SHM_FORMAT_XBGR8888:
    case WL_SHM_FORMAT_ABGR8888:
        return QImage::Format_RGBX8888;
    default:
        return std::nullopt;
    }
}

} // namespace

// A shared-memory buffer the compositor writes into.
struct WaylandScreencopy::Buffer {
    uint32_t format = 0;
    int width = 0, height = 0, stride = 0;
    size_t size = 0;
    void* data = MAP_FAILED;
    wl_buffer* buffer = nullptr;

    ~Buffer() {
        if (buffer)
            wl_buffer_destroy(buffer);
        if (data != MAP_FAILED)
            munmap(data, size);
    }
    bool matches(uint32_t f, int w, int h, int s) const {
        return format == f && width == w && height == h && stride == s;
    }
    static std::unique_ptr<Buffer> make(wl_shm* shm, uint32_t format, int width, int height, int stride) {
        auto made = std::make_unique<Buffer>();
        made->format = format;
        made->width = width;
        made->height = height;
        made->stride = stride;
        made->size = size_t(stride) * size_t(height);
        const int fd = memfd_create("norvane-screencopy", MFD_CLOEXEC);
        if (fd < 0)
            return nullptr;
        if (ftruncate(fd, off_t(made->size)) != 0) {
            close(fd);
            return nullptr;
        }
        made->data = mmap(nullptr, made->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (made->data == MAP_FAILED) {
            close(fd);
            return nullptr;
        }
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(made->size));
        made->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, format);
        wl_shm_pool_destroy(pool);
        close(fd);
        return made;
    }
};

// One copy in progress. The compositor's events land here; `finished` ends the wait.
struct WaylandScreencopy::Frame : QObject {
    Q_OBJECT
public:
    QPointer<WaylandScreencopy> owner;
    zwlr_screencopy_frame_v1* frame = nullptr;
    uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool offered = false; // a shared-memory buffer was offered
    bool copying = false;
    bool yInverted = false;
    std::optional<bool> succeeded;

    ~Frame() override {
        // Without its owner the connection may be gone too, and the proxy with it.
        if (frame && owner)
            zwlr_screencopy_frame_v1_destroy(frame);
    }
    void copy() {
        if (copying)
            return;
        if (!offered || !imageFormat(format))
            return finish(false);
        auto& buffer = owner->m_buffer;
        if (!buffer || !buffer->matches(format, int(width), int(height), int(stride)))
            buffer = Buffer::make(owner->m_connection->shm(), format, int(width), int(height), int(stride));
        if (!buffer)
            return finish(false);
        copying = true;
        zwlr_screencopy_frame_v1_copy(frame, buffer->buffer);
        owner->m_connection->flush();
    }
    void finish(bool ok) {
        if (succeeded)
            return;
        succeeded = ok;
        Q_EMIT finished();
    }
    Q_SIGNAL void finished();
};

WaylandScreencopy::WaylandScreencopy(WaylandConnection* connection, QObject* parent)
    : QObject(parent), m_connection(connection) {
    connect(m_connection, &WaylandConnection::lost, this, &WaylandScreencopy::forget);
}

WaylandScreencopy::~WaylandScreencopy() {
    forget();
}

void WaylandScreencopy::forget() {
    m_buffer.reset();
    if (m_manager)
        zwlr_screencopy_manager_v1_destroy(m_manager);
    m_manager = nullptr;
}

bool WaylandScreencopy::isAvailable() {
    if (!m_manager && m_connection->ensureConnected() && m_connection->shm())
        m_manager = static_cast<zwlr_screencopy_manager_v1*>(
            m_connection->bind(&zwlr_screencopy_manager_v1_interface, 3, &m_version));
    return m_manager != nullptr;
}

QCoro::Task<std::optional<QImage>> WaylandScreencopy::capture(wl_output* output, QRect region) {
    if (!output || m_busy || !isAvailable())
        co_return std::nullopt;
    static const zwlr_screencopy_frame_v1_listener listener = {
        [](void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
           uint32_t stride) {
            auto* frame = static_cast<Frame*>(data);
            frame->format = format;
            frame->width = width;
            frame->height = height;
            frame->stride = stride;
            frame->offered = true;
            // Before version 3 the offers end with this one; later, with buffer_done.
            if (frame->owner->m_version < 3)
                frame->copy();
        },
        [](void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
            static_cast<Frame*>(data)->yInverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
        },
        [](void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
            static_cast<Frame*>(data)->finish(true);
        },
        [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->finish(false); },
        [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {},
        [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {},
        [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->copy(); },
    };
    m_busy = true;
    Frame pending;
    pending.owner = this;
    pending.frame = region.isEmpty()
                        ? zwlr_screencopy_manager_v1_capture_output(m_manager, 0, output)
                        : zwlr_screencopy_manager_v1_capture_output_region(
                              m_manager, 0, output, region.x(), region.y(), region.width(), region.height());
    zwlr_screencopy_frame_v1_add_listener(pending.frame, &listener, &pending);
    m_connection->flush();
    QPointer<WaylandScreencopy> self(this);
    if (!pending.succeeded)
        co_await qCoro(&pending, &Frame::finished, kFrameTimeout);
    if (!self)
        co_return std::nullopt;
    m_busy = false;
    if (!pending.succeeded.value_or(false) || !m_buffer) {
        qCWarning(lcScreenshotService).noquote()
            << (pending.succeeded
                    ? QStringLiteral("The compositor could not copy the screen.")
                    : QStringLiteral("The compositor did not copy the screen within two seconds."));
        co_return std::nullopt;
    }
    const QImage shared(static_cast<const uchar*>(m_buffer->data), m_buffer->width, m_buffer->height,
                        m_buffer->stride, *imageFormat(m_buffer->format));
    // A copy: the buffer is written again by the next capture.
    co_return pending.yInverted ? shared.mirrored(false, true) : shared.copy();
}

} // namespace norvane

#include "WaylandScreencopy.moc"
