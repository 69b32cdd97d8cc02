// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "capture/ScreenshotService.h"
#include "model/ServiceInterfaces.h"

#include <QPointer>

#include <xcb/xcb.h>

#include <functional>
#include <memory>

namespace norvane {

class X11Connection;

// One window's own pixels: from Composite's off-screen storage where the server offers it (so covered
// parts are true), read through a reused shared-memory segment, else with a plain image read. A window
// that vanishes or is hidden before the read is finished gives nothing. Like a platform capture
// configured for the output size, it delivers pictures already reduced to at most `maxLongestEdge`
// pixels on the longest edge (sizes truncated), which is much cheaper here than in the encoder.
class SystemWindowImageCapture : public WindowImageCapturing {
public:
    // `maxLongestEdge` 0 delivers the window at full size.
    explicit SystemWindowImageCapture(X11Connection* connection,
                                      double maxLongestEdge = ScreenshotService::kMaxLongestEdge);
    ~SystemWindowImageCapture() override;

    // Reads on the calling (main) thread and reduces the picture on a worker.
    QCoro::Task<std::optional<QImage>> captureWindowImage(quint32 windowID) override;

    // The same capture, all on the calling thread. Images of depth-32 windows are premultiplied ARGB;
    // others are RGB32.
    std::optional<QImage> readWindowImage(quint32 windowID);

    // How the last successful read was made.
    struct ReadPath {
        bool composite = false;
        bool sharedMemory = false;
    };
    ReadPath lastReadPath() const { return m_lastReadPath; }

    // Points between the steps of a read, so a test can make the window vanish mid-capture.
    enum class Stage { WindowExamined, PixelsNamed, PixelsRead };
    void setStageObserver(std::function<void(Stage)> observer) { m_stageObserver = std::move(observer); }

private:
    std::optional<QImage> readFullSize(quint32 windowID);
    QSize targetSize(QSize size) const;
    struct Region;
    std::optional<QImage> readPixels(uint32_t drawable, const Region& region);
    // The two ways to the pixels of a viewable window of `region`'s size. Nothing with `why` set when the
    // window cannot be read; nothing with `why` empty when the server returned no pixels.
    std::optional<QImage> readThroughComposite(xcb_window_t window, xcb_window_t topLevel,
                                               const xcb_get_geometry_reply_t& geometry,
                                               const xcb_get_window_attributes_reply_t& attributes,
                                               QString& why);
    std::optional<QImage> readFromScreen(xcb_window_t window, const xcb_get_geometry_reply_t& geometry,
                                         const xcb_get_window_attributes_reply_t& attributes, QString& why);
    void observe(Stage stage);

    struct SegmentPool;
    QPointer<X11Connection> m_connection; // the composition root may drop it first at exit
    std::unique_ptr<SegmentPool> m_pool;
    double m_maxLongestEdge;
    ReadPath m_lastReadPath;
    std::function<void(Stage)> m_stageObserver;
};

} // namespace norvane
