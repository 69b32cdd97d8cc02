// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "capture/ScreenshotService.h"
#include "model/ServiceInterfaces.h"

#include <QPointer>
#include <QRect>

namespace norvane {

class WaylandConnection;
class WaylandScreencopy;
class WaylandWindowList;

// A screen the user chose to share (through the desktop portal): one frame on demand.
class SharedScreenSource {
public:
    virtual ~SharedScreenSource() = default;
    virtual bool isReady() = 0;
    virtual QCoro::Task<std::optional<QImage>> captureFrame() = 0;
    // Where the shared monitor lies in the compositor's layout coordinates, where the desktop says.
    virtual std::optional<QRect> sharedArea() const = 0;
};

// The part of `frame`, a picture of `area`, that `window` covers (both in layout coordinates; the frame
// may have more pixels than the area has points). Nothing when the window lies outside the area.
std::optional<QImage> cutOutWindow(const QImage& frame, QRect area, QRect window);

// A window's picture on Wayland, where no program may read another's window. On wlroots compositors
// screencopy copies the part of the output the window covers, where Sway's layout tree says where that
// is, else the whole output. Elsewhere the screen the user shares through the portal stands in, cut to
// the window where the compositor tells its place. Norvane's own windows are never in the picture: when
// one of them overlaps the window, there is no picture.
class WaylandWindowCapture : public WindowImageCapturing {
public:
    // The number of the stand-in window of sessions that do not name their windows: the whole screen.
    static constexpr quint32 kWholeScreen = 0xffffffffu;

    WaylandWindowCapture(WaylandConnection* connection, WaylandWindowList* windows,
                         WaylandScreencopy* screencopy,
                         double maxLongestEdge = ScreenshotService::kMaxLongestEdge);

    QCoro::Task<std::optional<QImage>> captureWindowImage(quint32 windowID) override;

    // Sway's IPC socket; SWAYSOCK by default. Empty where the compositor is not Sway.
    void setSwaySocket(QString path) { m_swaySocket = std::move(path); }
    bool knowsWindowPlaces() const { return !m_swaySocket.isEmpty(); }
    void setSharedScreen(SharedScreenSource* source) { m_sharedScreen = source; }

private:
    QCoro::Task<std::optional<QImage>> captureFullSize(quint32 windowID);

    QPointer<WaylandConnection> m_connection;
    WaylandWindowList* m_windows;
    WaylandScreencopy* m_screencopy;
    SharedScreenSource* m_sharedScreen = nullptr;
    double m_maxLongestEdge;
    QString m_swaySocket;
};

} // namespace norvane
