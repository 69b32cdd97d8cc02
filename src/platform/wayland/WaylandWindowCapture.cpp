// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "WaylandWindowCapture.h"

#include "SwayIpc.h"
#include "WaylandConnection.h"
#include "WaylandScreencopy.h"
#include "WaylandToplevels.h"
#include "model/Logging.h"
#include "platform/x11/WindowImageReduction.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QtConcurrent>

namespace norvane {

namespace {

std::optional<QImage> reduced(const QImage& image, QSize target) {
    QImage result = reduceWindowImage(image, target);
    if (result.isNull())
        return std::nullopt;
    return result;
}

} // namespace

WaylandWindowCapture::WaylandWindowCapture(WaylandConnection* connection, WaylandToplevels* toplevels,
                                           WaylandScreencopy* screencopy, double maxLongestEdge)
    : m_connection(connection), m_toplevels(toplevels), m_screencopy(screencopy),
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
    if (!m_connection || !m_connection->ensureConnected() || m_connection->outputs().isEmpty())
        co_return std::nullopt;
    if (windowID == kWholeScreen)
        co_return co_await m_screencopy->capture(m_connection->outputs().constFirst().output);

    const auto toplevel = m_toplevels->toplevel(windowID);
    if (!toplevel)
        co_return std::nullopt;
    const auto tree = readSwayTree(m_swaySocket);
    const auto place = tree ? findSwayWindow(*tree, toplevel->appId, toplevel->title) : std::nullopt;
    if (!place) {
        // Where the window lies is unknown: the whole output it shows on is the closest picture.
        if (toplevel->outputs.isEmpty())
            co_return std::nullopt;
        co_return co_await m_screencopy->capture(toplevel->outputs.constFirst());
    }
    const QRect region = place->contentRect & place->outputRect;
    for (const QRect& own : swayWindowsOfProcess(*tree, QCoreApplication::applicationPid())) {
        if (own.intersects(region)) {
            qCDebug(lcScreenshotService).noquote()
                << QStringLiteral("Window %1 is partly covered by Norvane's own window; no picture taken.")
                       .arg(windowID);
            co_return std::nullopt;
        }
    }
    wl_output* output = m_connection->outputNamed(place->outputName);
    if (!output || region.isEmpty())
        co_return std::nullopt;
    co_return co_await m_screencopy->capture(output, region.translated(-place->outputRect.topLeft()));
}

} // namespace norvane
