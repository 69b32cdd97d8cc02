// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "capture/ScreenshotService.h"
#include "model/ServiceInterfaces.h"

#include <QPointer>

#include <functional>

namespace norvane {

class WaylandConnection;
class WaylandScreencopy;
class WaylandToplevels;

// A window's picture on a wlroots compositor: the part of its output that the window covers, cut out
// by screencopy where Sway's layout tree says where the window is. Norvane's own windows are never in
// the picture: when one of them overlaps the window, there is no picture.
class WaylandWindowCapture : public WindowImageCapturing {
public:
    // The number of the stand-in window of sessions that do not name their windows: the whole output.
    static constexpr quint32 kWholeScreen = 0xffffffffu;

    WaylandWindowCapture(WaylandConnection* connection, WaylandToplevels* toplevels,
                         WaylandScreencopy* screencopy,
                         double maxLongestEdge = ScreenshotService::kMaxLongestEdge);

    QCoro::Task<std::optional<QImage>> captureWindowImage(quint32 windowID) override;

    // Sway's IPC socket; SWAYSOCK by default. Empty where the compositor is not Sway.
    void setSwaySocket(QString path) { m_swaySocket = std::move(path); }
    bool knowsWindowPlaces() const { return !m_swaySocket.isEmpty(); }

private:
    QCoro::Task<std::optional<QImage>> captureFullSize(quint32 windowID);

    QPointer<WaylandConnection> m_connection;
    WaylandToplevels* m_toplevels;
    WaylandScreencopy* m_screencopy;
    double m_maxLongestEdge;
    QString m_swaySocket;
};

} // namespace norvane
