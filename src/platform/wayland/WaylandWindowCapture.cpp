// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "WaylandWindowCapture.h"

#include "SwayIpc.h"
#include "WaylandConnection.h"
#include "WaylandScreencopy.h"
#include "WaylandWindowList.h"
#include "model/Logging.h"
#include "platform/x11/WindowImageReduction.h"

#include <QCoroFuture>
#include <QGuiApplication>
#include <QWindow>
#include <QtConcurrent>

namespace norvane {

namespace {

std::optional<QImage> reduced(const QImage& image, QSize target) {
    QImage result = reduceWindowImage(image, target);
    if (result.isNull())
        return std::nullopt;
    return result;
}

// Whether one of this program's windows is on screen.
bool ownWindowShowing() {
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.begin(), windows.end(),
                       [](const QWindow* window) { return window->isVisible() && window->isExposed(); });
}

} // namespace

std::optional<QImage> cutOutWindow(const QImage& frame, QRect area, QRect window) {
    const QRect visible = window & area;
    if (frame.isNull() || visible.isEmpty())
        return std::nullopt;
    const double sx = double(frame.width()) / area.width(), sy = double(frame.height()) / area.height();
    const QRectF scaled((visible.x() - area.x()) * sx, (visible.y() - area.y()) * sy, visible.width() * sx,
                        visible.height() * sy);
    return frame.copy(scaled.toAlignedRect() & frame.rect());
}

WaylandWindowCapture::WaylandWindowCapture(WaylandConnection* connection, WaylandWindowList* windows,
                                           WaylandScreencopy* screencopy, double maxLongestEdge)
    : m_connection(connection), m_windows(windows), m_screencopy(screencopy),
      m_maxLongestEdge(maxLongestEdge), m_swaySocket(qEnvironmentVariable("SWAYSOCK")) {}

QCoro::Task<std::optional<QImage>> WaylandWindowCapture::captureWindowImage(quint32 windowID) {
    std::optional<QImage> image = co_await captureFullSize(windowID);
    if (!image)
        co_return std::nullopt;
    const QSize target =
        m_maxLongestEdge > 0 ? ScreenshotService::scaledSize(image->size(), m_maxLongestEdge) : image->size();
    if (target == image->size())
        co_return image;
    // A named future, as in the X11 capture: GCC 12 mishandles the temporary form.
    QFuture<std::optional<QImage>> pending = QtConcurrent::run(&reduced, std::move(*image), target);
    image.reset();
    std::optional<QImage> result = co_await pending;
    co_return result;
}

QCoro::Task<std::optional<QImage>> WaylandWindowCapture::captureFullSize(quint32 windowID) {
    if (!m_connection || !m_connection->ensureConnected())
        co_return std::nullopt;
    const bool screencopy = m_screencopy->isAvailable() && !m_connection->outputs().isEmpty();
    const std::optional<WaylandWindow> window =
        windowID == kWholeScreen ? std::nullopt : m_windows->window(windowID);
    if (windowID != kWholeScreen && !window)
        co_return std::nullopt;

    // Where the window lies, where the compositor says, and where Norvane's own windows lie.
    std::optional<QRect> place;
    bool placesKnown = false;
    QList<QRect> own;
    QString outputName;
    QRect outputRect;
    const qint64 ownProcess = QCoreApplication::applicationPid();
    if (const auto tree = window ? readSwayTree(m_swaySocket) : std::nullopt) {
        placesKnown = true;
        if (const auto found = findSwayWindow(*tree, window->appId, window->title)) {
            place = found->contentRect & found->outputRect;
            outputName = found->outputName;
            outputRect = found->outputRect;
        }
        own = swayWindowsOfProcess(*tree, ownProcess);
    } else if (window && window->geometry) {
        placesKnown = true;
        place = window->geometry;
        for (const WaylandWindow& other : m_windows->windows())
            if (other.processIdentifier == ownProcess && other.geometry && !other.minimized)
                own.append(*other.geometry);
    }
    if (placesKnown && !place)
        co_return std::nullopt; // the window is not where it was listed a moment ago: try again later
    if (!placesKnown && ownWindowShowing()) {
        qCDebug(lcScreenshotService).noquote()
            << QStringLiteral("One of Norvane's windows is on screen and the window's place is unknown; no "
                              "picture taken.");
        co_return std::nullopt;
    }
    if (place) {
        for (const QRect& ownRect : std::as_const(own)) {
            if (ownRect.intersects(*place)) {
                qCDebug(lcScreenshotService).noquote()
                    << QStringLiteral(
                           "Window %1 is partly covered by Norvane's own window; no picture taken.")
                           .arg(windowID);
                co_return std::nullopt;
            }
        }
    }

    if (screencopy) {
        if (wl_output* output = m_connection->outputNamed(outputName); output && place && !place->isEmpty())
            co_return co_await m_screencopy->capture(output, place->translated(-outputRect.topLeft()));
        // Where the window lies is unknown: the whole output it shows on is the closest picture.
        wl_output* shown = window && !window->outputs.isEmpty() ? window->outputs.constFirst()
                                                                : m_connection->outputs().constFirst().output;
        co_return co_await m_screencopy->capture(shown);
    }
    if (!m_sharedScreen || !m_sharedScreen->isReady())
        co_return std::nullopt;
    std::optional<QImage> frame = co_await m_sharedScreen->captureFrame();
    const std::optional<QRect> area = m_sharedScreen->sharedArea();
    if (!frame || !place || !area)
        co_return frame;
    co_return cutOutWindow(*frame, *area, *place);
}

} // namespace norvane
