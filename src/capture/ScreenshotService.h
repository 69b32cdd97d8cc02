// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/AppState.h"
#include "model/Clock.h"
#include "model/ServiceInterfaces.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

namespace norvane {

// Turns the frontmost window of another application into one Screenshot: captures it unless it is
// excluded, scales it to at most 1024 pixels on the longest edge, encodes it as JPEG and drops frames that
// did not change.
// Main-thread confined; only the encoding and hashing run on a worker, and the last-frame pair is touched
// on the main thread alone.
class ScreenshotService : public QObject, public ScreenCapturing {
    Q_OBJECT
public:
    static constexpr double kMaxLongestEdge = 1024.0;
    static constexpr int kJpegQuality = 70; // 0 to 100

    // The collaborators are not owned and must outlive the service.
    ScreenshotService(FrontmostWindowProviding* windowProvider, WindowImageCapturing* imageCapture,
                      ScreenRecordingPermissionChecking* permissionChecker, Clock* clock,
                      QObject* parent = nullptr);
    ~ScreenshotService() override;

    static ScreenshotService* shared();

    // Where the exclusions are read before every capture; none without one.
    void setExclusionSource(const AppState* appState) { m_exclusionSource = appState; }

    std::optional<FrontmostWindowInfo> frontmostWindowInfo() override;
    // The frontmost window when it belongs to another program, else the last such window this service
    // saw in front (Norvane's own window comes to the front while the user works in it).
    std::optional<FrontmostWindowInfo> recentOtherWindow();
    QCoro::Task<std::optional<Screenshot>> captureFrontmostWindow(bool force) override;
    void resetDeduplicationState() override;

    // The image redrawn into an opaque RGB picture whose longest edge is at most `maxLongestEdge`
    // (sizes truncated), then JPEG-encoded at `quality` (0 to 100). Nothing for a null image or when
    // encoding fails. Thread-safe.
    static std::optional<QByteArray> makeJPEGData(const QImage& image, double maxLongestEdge, int quality);
    // SHA-256 of the bytes as 64 lowercase hexadecimal digits.
    static QString makeFingerprint(const QByteArray& bytes);
    // appName|window number|title: equal signatures mean the same window with the same title.
    static QString makeCaptureSignature(const FrontmostWindowInfo& window);

    // The pixel size makeJPEGData() produces for an image of `size`.
    static QSize scaledSize(const QSize& size, double maxLongestEdge);

private:
    FrontmostWindowProviding* m_windowProvider;
    WindowImageCapturing* m_imageCapture;
    ScreenRecordingPermissionChecking* m_permissionChecker;
    Clock* m_clock;
    QPointer<const AppState> m_exclusionSource;
    std::optional<FrontmostWindowInfo> m_lastOtherWindow;
    std::optional<QString> m_lastCaptureSignature;
    std::optional<QString> m_lastCaptureFingerprint;
};

} // namespace norvane
