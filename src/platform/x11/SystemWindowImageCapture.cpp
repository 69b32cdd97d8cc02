// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SystemWindowImageCapture.h"

#include "WindowImageReduction.h"
#include "X11Connection.h"
#include "XcbUtil.h"
#include "model/Logging.h"

#include <xcb/composite.h>
#include <xcb/shm.h>

#include <QCoroFuture>
#include <QtConcurrent>

#include <atomic>
#include <vector>

#include <sys/ipc.h>
#include <sys/shm.h>

namespace norvane {

using x11::checkedReply;
using x11::XcbPtr;

namespace {

// Larger than any real window; a bogus geometry must not make us allocate gigabytes.
constexpr qint64 kMaxPixels = 64LL * 1024 * 1024;
constexpr size_t kMaxSegments = 3;
constexpr int kMaxTreeDepth = 32;

struct Segment {
    void* address = nullptr;
    size_t size = 0;
    uint32_t id = 0;
    // Set while a QImage still shows the segment's memory; cleared by that image's last copy.
    std::atomic<bool> busy{false};

    ~Segment() {
        if (address)
            shmdt(address);
    }
};

void releaseSegment(void* info) {
    auto* holder = static_cast<std::shared_ptr<Segment>*>(info);
    (*holder)->busy.store(false, std::memory_order_release);
    delete holder;
}

void releaseReply(void* info) {
    std::free(info);
}

} // namespace

// Shared-memory segments the server writes window pixels into. An image wraps its segment without a copy,
// so a segment is reused only when every image made from it is gone (the encoder may still hold one).
struct SystemWindowImageCapture::SegmentPool {
    quint64 generation = 0;
    std::vector<std::shared_ptr<Segment>> segments;

    void reset(xcb_connection_t* connection, quint64 newGeneration) {
        if (connection && newGeneration == generation) {
            for (const auto& segment : segments)
                xcb_shm_detach(connection, segment->id);
        }
        segments.clear();
        generation = newGeneration;
    }

    // A free segment of at least `size` bytes; null when all are in use or shared memory fails.
    std::shared_ptr<Segment> acquire(X11Connection* x, size_t size) {
        if (generation != x->generation())
            reset(nullptr, x->generation());
        for (const auto& segment : segments) {
            if (segment->size >= size && !segment->busy.load(std::memory_order_acquire))
                return segment;
        }
        if (segments.size() >= kMaxSegments) {
            // Replace an idle segment that is too small; if none is idle, the caller reads without one.
            auto idle = std::find_if(segments.begin(), segments.end(),
                                     [](const auto& s) { return !s->busy.load(std::memory_order_acquire); });
            if (idle == segments.end())
                return nullptr;
            xcb_shm_detach(x->connection(), (*idle)->id);
            segments.erase(idle);
        }
        auto segment = create(x, size);
        if (segment)
            segments.push_back(segment);
        return segment;
    }

    static std::shared_ptr<Segment> create(X11Connection* x, size_t size) {
        constexpr size_t granule = 1 << 20;
        size = (size + granule - 1) / granule * granule;
        const int shmId = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (shmId < 0)
            return nullptr;
        auto segment = std::make_shared<Segment>();
        void* address = shmat(shmId, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(shmId, IPC_RMID, nullptr);
            return nullptr;
        }
        segment->address = address;
        segment->size = size;
        segment->id = xcb_generate_id(x->connection());
        const bool attached = x11::requestSucceeded(
            x->connection(), xcb_shm_attach_checked(x->connection(), segment->id, shmId, 0));
        // Marked for removal at once: the memory goes away with the last attachment, even after a crash.
        shmctl(shmId, IPC_RMID, nullptr);
        if (!attached)
            return nullptr;
        return segment;
    }
};

struct SystemWindowImageCapture::Region {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    X11Connection::PixelLayout layout;
};

SystemWindowImageCapture::SystemWindowImageCapture(X11Connection* connection, double maxLongestEdge)
    : m_connection(connection), m_pool(std::make_unique<SegmentPool>()), m_maxLongestEdge(maxLongestEdge) {}

SystemWindowImageCapture::~SystemWindowImageCapture() {
    if (m_connection)
        m_pool->reset(m_connection->connection(), m_connection->generation());
}

namespace {
std::optional<QImage> reduced(const QImage& image, QSize target, quint32 windowID) {
    QImage result = reduceWindowImage(image, target);
    if (result.isNull()) {
        qCWarning(lcScreenshotService).noquote()
            << QStringLiteral("Window %1 could not be reduced to the capture size.").arg(windowID);
        return std::nullopt;
    }
    return result;
}
} // namespace

QSize SystemWindowImageCapture::targetSize(QSize size) const {
    return m_maxLongestEdge > 0 ? ScreenshotService::scaledSize(size, m_maxLongestEdge) : size;
}

QCoro::Task<std::optional<QImage>> SystemWindowImageCapture::captureWindowImage(quint32 windowID) {
    std::optional<QImage> image = readFullSize(windowID);
    if (!image)
        co_return std::nullopt;
    const QSize target = targetSize(image->size());
    if (target == image->size())
        co_return image;
    // Only the read needs the X connection; the reduction would block the main thread for milliseconds.
    // Nothing of `this` is touched after the wait, so the capture may be gone by then.
    // A named future, not a temporary inside the co_await: with GCC 12 the temporary form (a lambda
    // holding the picture) corrupted the heap.
    QFuture<std::optional<QImage>> pending = QtConcurrent::run(&reduced, std::move(*image), target, windowID);
    image.reset();
    std::optional<QImage> result = co_await pending;
    co_return result;
}

std::optional<QImage> SystemWindowImageCapture::readWindowImage(quint32 windowID) {
    std::optional<QImage> image = readFullSize(windowID);
    if (!image)
        return std::nullopt;
    const QSize target = targetSize(image->size());
    if (target == image->size())
        return image;
    return reduced(*image, target, windowID); // frees the shared-memory segment at once
}

void SystemWindowImageCapture::observe(Stage stage) {
    if (m_stageObserver)
        m_stageObserver(stage);
}

std::optional<QImage> SystemWindowImageCapture::readPixels(uint32_t drawable, const Region& region) {
    xcb_connection_t* c = m_connection->connection();
    const int pad = region.layout.scanlinePad;
    const qsizetype stride =
        qsizetype((qint64(region.width) * region.layout.bitsPerPixel + pad - 1) / pad * pad / 8);
    const size_t bytes = size_t(stride) * size_t(region.height);
    const auto format = QImage::Format(region.layout.qimageFormat);

    if (m_connection->hasShm()) {
        if (auto segment = m_pool->acquire(m_connection, bytes)) {
            auto reply = checkedReply(xcb_shm_get_image_reply, c,
                                      xcb_shm_get_image(c, drawable, int16_t(region.x), int16_t(region.y),
                                                        uint16_t(region.width), uint16_t(region.height), ~0u,
                                                        XCB_IMAGE_FORMAT_Z_PIXMAP, segment->id, 0));
            if (!reply)
                return std::nullopt;
            segment->busy.store(true, std::memory_order_relaxed);
            m_lastReadPath.sharedMemory = true;
            return QImage(static_cast<uchar*>(segment->address), region.width, region.height, stride, format,
                          releaseSegment, new std::shared_ptr<Segment>(segment));
        }
        if (m_pool->segments.empty())
            m_connection->disableShm(); // the server cannot attach our memory (a remote display)
    }

    auto reply =
        checkedReply(xcb_get_image_reply, c,
                     xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, int16_t(region.x),
                                   int16_t(region.y), uint16_t(region.width), uint16_t(region.height), ~0u));
    if (!reply || size_t(xcb_get_image_data_length(reply.get())) < bytes)
        return std::nullopt;
    m_lastReadPath.sharedMemory = false;
    uchar* data = xcb_get_image_data(reply.get());
    return QImage(data, region.width, region.height, stride, format, releaseReply, reply.release());
}

std::optional<QImage> SystemWindowImageCapture::readFullSize(quint32 windowID) {
    if (!m_connection->ensureConnected()) {
        qCCritical(lcScreenshotService).noquote() << QStringLiteral("Cannot capture window %1: %2")
                                                         .arg(windowID)
                                                         .arg(m_connection->unavailableReason());
        return std::nullopt;
    }
    xcb_connection_t* c = m_connection->connection();
    const xcb_window_t root = m_connection->root();
    const xcb_window_t window = windowID;
    auto fail = [&](const QString& sentence) -> std::optional<QImage> {
        m_connection->discardEvents();
        qCWarning(lcScreenshotService).noquote() << sentence.arg(windowID);
        return std::nullopt;
    };

    auto attributesCookie = xcb_get_window_attributes(c, window);
    auto geometryCookie = xcb_get_geometry(c, window);
    auto treeCookie = xcb_query_tree(c, window);
    auto attributes = checkedReply(xcb_get_window_attributes_reply, c, attributesCookie);
    auto geometry = checkedReply(xcb_get_geometry_reply, c, geometryCookie);
    auto tree = checkedReply(xcb_query_tree_reply, c, treeCookie);
    if (!attributes || !geometry || !tree)
        return fail(QStringLiteral("Window %1 is gone, so its pixels could not be read."));
    if (attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return fail(QStringLiteral("Window %1 is not shown on screen, so its pixels could not be read."));
    if (qint64(geometry->width) * geometry->height > kMaxPixels)
        return fail(QStringLiteral("Window %1 is too large to capture."));

    // The top-level ancestor (the window manager's frame): with the root's children redirected, it is the
    // window whose off-screen storage holds our window's pixels.
    xcb_window_t topLevel = window;
    xcb_window_t parent = tree->parent;
    for (int depth = 0; parent != root && parent != XCB_WINDOW_NONE; ++depth) {
        if (depth == kMaxTreeDepth)
            return fail(QStringLiteral("Window %1 is nested too deeply to capture."));
        topLevel = parent;
        auto up = checkedReply(xcb_query_tree_reply, c, xcb_query_tree(c, parent));
        if (!up)
            return fail(QStringLiteral("Window %1 is gone, so its pixels could not be read."));
        parent = up->parent;
    }
    observe(Stage::WindowExamined);

    QString why;
    std::optional<QImage> image = m_connection->hasComposite()
                                      ? readThroughComposite(window, topLevel, *geometry, *attributes, why)
                                      : readFromScreen(window, *geometry, *attributes, why);
    if (!why.isEmpty())
        return fail(why);
    observe(Stage::PixelsRead);
    if (!image)
        return fail(QStringLiteral("The X server did not return the pixels of window %1."));

    // Off-screen storage outlives its window for a moment; only a window still shown gives a picture.
    auto after = checkedReply(xcb_get_window_attributes_reply, c, xcb_get_window_attributes(c, window));
    if (!after || after->map_state != XCB_MAP_STATE_VIEWABLE)
        return fail(QStringLiteral("Window %1 disappeared while its pixels were being read."));
    m_connection->discardEvents();
    return image;
}

std::optional<QImage> SystemWindowImageCapture::readThroughComposite(
    xcb_window_t window, xcb_window_t topLevel, const xcb_get_geometry_reply_t& geometry,
    const xcb_get_window_attributes_reply_t& attributes, QString& why) {
    xcb_connection_t* c = m_connection->connection();
    std::optional<QImage> image;
    Region region;
    region.width = geometry.width;
    region.height = geometry.height;
    // Name both storages at once: the window's own exists when it is redirected by itself (a
    // translucent window inside an opaque frame is), else the frame's holds it.
    const bool nested = topLevel != window;
    auto frameAttributesCookie = xcb_get_window_attributes(c, topLevel);
    auto frameGeometryCookie = xcb_get_geometry(c, topLevel);
    auto offsetCookie = xcb_translate_coordinates(c, window, topLevel, 0, 0);
    const xcb_pixmap_t ownPixmap = xcb_generate_id(c);
    auto ownCookie = xcb_composite_name_window_pixmap_checked(c, window, ownPixmap);
    const xcb_pixmap_t framePixmap = nested ? xcb_generate_id(c) : xcb_pixmap_t(XCB_PIXMAP_NONE);
    xcb_void_cookie_t frameCookie{};
    if (nested)
        frameCookie = xcb_composite_name_window_pixmap_checked(c, topLevel, framePixmap);

    auto frameAttributes = checkedReply(xcb_get_window_attributes_reply, c, frameAttributesCookie);
    auto frameGeometry = checkedReply(xcb_get_geometry_reply, c, frameGeometryCookie);
    auto offset = checkedReply(xcb_translate_coordinates_reply, c, offsetCookie);
    const bool ownNamed = x11::requestSucceeded(c, ownCookie);
    const bool frameNamed = nested && x11::requestSucceeded(c, frameCookie);
    if (!frameAttributes || !frameGeometry || !offset) {
        if (ownNamed)
            xcb_free_pixmap(c, ownPixmap);
        if (frameNamed)
            xcb_free_pixmap(c, framePixmap);
        why = QStringLiteral("Window %1 is gone, so its pixels could not be read.");
        return std::nullopt;
    }

    xcb_pixmap_t source = XCB_PIXMAP_NONE;
    int pixmapWidth = 0;
    int pixmapHeight = 0;
    bool supported = false;
    if (ownNamed) {
        // Pixmap coordinates start at the outer corner of the border.
        source = ownPixmap;
        region.x = geometry.border_width;
        region.y = geometry.border_width;
        pixmapWidth = geometry.width + 2 * geometry.border_width;
        pixmapHeight = geometry.height + 2 * geometry.border_width;
        supported = m_connection->pixelLayout(geometry.depth, attributes.visual, &region.layout);
    } else if (frameNamed) {
        source = framePixmap;
        region.x = offset->dst_x + frameGeometry->border_width;
        region.y = offset->dst_y + frameGeometry->border_width;
        pixmapWidth = frameGeometry->width + 2 * frameGeometry->border_width;
        pixmapHeight = frameGeometry->height + 2 * frameGeometry->border_width;
        supported = m_connection->pixelLayout(frameGeometry->depth, frameAttributes->visual, &region.layout);
    }
    if (source != XCB_PIXMAP_NONE) {
        const QRect clipped = QRect(region.x, region.y, region.width, region.height)
                                  .intersected(QRect(0, 0, pixmapWidth, pixmapHeight));
        region.x = clipped.x();
        region.y = clipped.y();
        region.width = clipped.width();
        region.height = clipped.height();
        observe(Stage::PixelsNamed);
        if (supported && !clipped.isEmpty())
            image = readPixels(source, region);
    }
    if (ownNamed)
        xcb_free_pixmap(c, ownPixmap);
    if (frameNamed)
        xcb_free_pixmap(c, framePixmap);
    if (source == XCB_PIXMAP_NONE) {
        why = QStringLiteral("Window %1 is gone, so its pixels could not be read.");
        return std::nullopt;
    }
    if (!supported) {
        why = QStringLiteral("Window %1 uses a pixel format that cannot be read.");
        return std::nullopt;
    }
    m_lastReadPath.composite = true;
    return image;
}

std::optional<QImage>
SystemWindowImageCapture::readFromScreen(xcb_window_t window, const xcb_get_geometry_reply_t& geometry,
                                         const xcb_get_window_attributes_reply_t& attributes, QString& why) {
    xcb_connection_t* c = m_connection->connection();
    const xcb_window_t root = m_connection->root();
    Region region;
    region.width = geometry.width;
    region.height = geometry.height;
    // Without Composite only the part on screen can be read, and covered parts show what covers them.
    auto offset =
        checkedReply(xcb_translate_coordinates_reply, c, xcb_translate_coordinates(c, window, root, 0, 0));
    auto rootGeometry = checkedReply(xcb_get_geometry_reply, c, xcb_get_geometry(c, root));
    if (!offset || !rootGeometry) {
        why = QStringLiteral("Window %1 is gone, so its pixels could not be read.");
        return std::nullopt;
    }
    const QRect onScreen = QRect(offset->dst_x, offset->dst_y, region.width, region.height)
                               .intersected(QRect(0, 0, rootGeometry->width, rootGeometry->height));
    if (onScreen.isEmpty()) {
        why = QStringLiteral("Window %1 is not shown on screen, so its pixels could not be read.");
        return std::nullopt;
    }
    if (!m_connection->pixelLayout(geometry.depth, attributes.visual, &region.layout)) {
        why = QStringLiteral("Window %1 uses a pixel format that cannot be read.");
        return std::nullopt;
    }
    region.x = onScreen.x() - offset->dst_x;
    region.y = onScreen.y() - offset->dst_y;
    region.width = onScreen.width();
    region.height = onScreen.height();
    observe(Stage::PixelsNamed);
    m_lastReadPath.composite = false;
    return readPixels(window, region);
}

} // namespace norvane
