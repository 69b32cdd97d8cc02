// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "ScreenshotService.h"

#include "model/Logging.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImageWriter>
#include <QPainter>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <qcorofuture.h>

#include <algorithm>
#include <cmath>

namespace norvane {

namespace {

struct EncodedFrame {
    QByteArray jpeg;
    QString fingerprint;
};

std::optional<EncodedFrame> encodeFrame(const QImage& image) {
    auto jpeg = ScreenshotService::makeJPEGData(image, ScreenshotService::kMaxLongestEdge,
                                                ScreenshotService::kJpegQuality);
    if (!jpeg)
        return std::nullopt;
    EncodedFrame frame;
    frame.fingerprint = ScreenshotService::makeFingerprint(*jpeg);
    frame.jpeg = std::move(*jpeg);
    return frame;
}

} // namespace

ScreenshotService::ScreenshotService(FrontmostWindowProviding* windowProvider,
                                     WindowImageCapturing* imageCapture,
                                     ScreenRecordingPermissionChecking* permissionChecker, Clock* clock,
                                     QObject* parent)
    : QObject(parent), m_windowProvider(windowProvider), m_imageCapture(imageCapture),
      m_permissionChecker(permissionChecker), m_clock(clock) {}

ScreenshotService::~ScreenshotService() = default;

std::optional<FrontmostWindowInfo> ScreenshotService::frontmostWindowInfo() {
    std::optional<FrontmostWindowInfo> window = m_windowProvider->frontmostWindowInfo();
    if (window && !window->isOwnApp)
        m_lastOtherWindow = window;
    return window;
}

std::optional<FrontmostWindowInfo> ScreenshotService::recentOtherWindow() {
    frontmostWindowInfo();
    return m_lastOtherWindow;
}

void ScreenshotService::resetDeduplicationState() {
    m_lastCaptureSignature.reset();
    m_lastCaptureFingerprint.reset();
}

QCoro::Task<std::optional<Screenshot>> ScreenshotService::captureFrontmostWindow(bool force) {
    if (!m_permissionChecker->hasScreenRecordingPermission())
        co_return std::nullopt;
    const std::optional<FrontmostWindowInfo> window = frontmostWindowInfo();
    if (!window || window->isOwnApp)
        co_return std::nullopt;
    if (m_exclusionSource && m_exclusionSource->captureExclusions().excludes(*window)) {
        // Not the title: it may be the very thing the user wanted kept private.
        qCDebug(lcScreenshotService).noquote()
            << QStringLiteral("Skipped the capture of an excluded window of %1")
                   .arg(logSafe(window->appName));
        co_return std::nullopt;
    }

    QPointer<ScreenshotService> self(this);
    // The window may close between the read above and the capture; the capturer then yields nothing.
    std::optional<QImage> image = co_await m_imageCapture->captureWindowImage(window->windowID);
    if (!self)
        co_return std::nullopt;
    if (!image) {
        qCWarning(lcScreenshotService).noquote()
            << QStringLiteral("Failed to capture image for window %1").arg(window->windowID);
        co_return std::nullopt;
    }

    // Named locals, not temporaries inside the co_await: GCC 12 destroys a capturing lambda temporary
    // in an awaited expression twice.
    // The window's pixels move into the encoder, so they are freed as soon as the frame is reduced.
    auto encode = [captured = std::move(*image)] { return encodeFrame(captured); };
    image.reset();
    QFuture<std::optional<EncodedFrame>> encoding = QtConcurrent::run(std::move(encode));
    const std::optional<EncodedFrame> encoded = co_await encoding;
    if (!self)
        co_return std::nullopt;
    if (!encoded) {
        qCWarning(lcScreenshotService).noquote()
            << QStringLiteral("Failed to create JPEG data for %1").arg(logSafe(window->appName));
        co_return std::nullopt;
    }

    const QString signature = makeCaptureSignature(*window);
    if (!force && m_lastCaptureSignature == signature && m_lastCaptureFingerprint == encoded->fingerprint) {
        qCDebug(lcScreenshotService).noquote()
            << QStringLiteral("Skipping duplicate frame for %1 because the image contents are unchanged")
                   .arg(logSafe(window->appName));
        co_return std::nullopt;
    }
    m_lastCaptureSignature = signature;
    m_lastCaptureFingerprint = encoded->fingerprint;

    Screenshot screenshot;
    screenshot.id = QUuid::createUuid();
    screenshot.image = encoded->jpeg;
    screenshot.appName = window->appName;
    screenshot.windowTitle = window->windowTitle;
    screenshot.windowID = window->windowID;
    screenshot.timestamp = m_clock->now();
    screenshot.activityState = MonitoringActivityState::Idle;
    screenshot.captureSignature = signature;
    screenshot.captureFingerprint = encoded->fingerprint;
    co_return screenshot;
}

QSize ScreenshotService::scaledSize(const QSize& size, double maxLongestEdge) {
    const double width = std::max(size.width(), 0);
    const double height = std::max(size.height(), 0);
    const double scale = maxLongestEdge / std::max(width, height);
    double targetWidth = 0;
    double targetHeight = 0;
    if (scale < 1.0) {
        targetWidth = std::max(width * scale, 1.0);
        targetHeight = std::max(height * scale, 1.0);
    } else {
        targetWidth = width == 0 ? 1.0 : width;
        targetHeight = std::max(height, 1.0);
    }
    // Truncated, not rounded: 3000 x 1000 becomes 1024 x 341.
    return QSize(int(targetWidth), int(targetHeight));
}

std::optional<QByteArray> ScreenshotService::makeJPEGData(const QImage& image, double maxLongestEdge,
                                                          int quality) {
    // A null picture has nothing to show; a blank 1 x 1 JPEG would pass for a frame.
    if (image.isNull())
        return std::nullopt;
    const QSize target = scaledSize(image.size(), maxLongestEdge);

    // Windows with an alpha channel (depth 32) arrive premultiplied; scale in that form so edges average
    // correctly, then composite onto an opaque background because JPEG has no alpha.
    QImage source =
        image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied) : image;
    if (source.size() != target)
        source = source.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    // An opaque picture goes to the encoder as it is; copying it onto a background would only add a
    // transient buffer the size of the frame.
    QImage opaque = source;
    if (source.format() != QImage::Format_RGB32) {
        opaque = QImage(target, QImage::Format_RGB32);
        if (opaque.isNull())
            return std::nullopt;
        opaque.fill(Qt::black);
        QPainter painter(&opaque);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QPoint(0, 0), source);
    }

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(std::clamp(quality, 0, 100));
    if (!writer.write(opaque) || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

QString ScreenshotService::makeFingerprint(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString ScreenshotService::makeCaptureSignature(const FrontmostWindowInfo& window) {
    return window.appName + QLatin1Char('|') + QString::number(window.windowID) + QLatin1Char('|') +
           window.windowTitle;
}

} // namespace norvane
