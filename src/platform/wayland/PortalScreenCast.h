// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "WaylandWindowCapture.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace norvane {

class PipeWireFrameGrab;

// Pictures through the desktop portal's ScreenCast interface and PipeWire: the way GNOME, KDE Plasma and
// others let a program see the screen. The user picks a window or monitor once in the desktop's dialog;
// the portal's restore token lets later sessions reopen that choice without asking again.
class PortalScreenCast : public QObject, public SharedScreenSource {
    Q_OBJECT
public:
    // The restore token is kept by the caller (the settings store); load and save run on the main thread.
    PortalScreenCast(QDBusConnection bus, std::function<QString()> loadToken,
                     std::function<void(const QString&)> saveToken, QObject* parent = nullptr);
    ~PortalScreenCast() override;

    // The portal is on the bus and offers ScreenCast (version 4 or later keeps a choice across sessions).
    bool isAvailable();
    bool hasChosenSource() const;
    // Ready for frames without a dialog: a session is open or a choice can be restored.
    bool isReady() override;

    // Opens a session and lets the desktop ask the user for a source where it needs to. False when the
    // user cancels, the portal refuses or nothing answers.
    QCoro::Task<bool> requestConsent();
    // One frame of the chosen source, pulled on demand; no dialog. Nothing on any failure.
    QCoro::Task<std::optional<QImage>> captureFrame() override;
    // Where the shared monitor lies in the desktop's layout, while a session is open and the portal says.
    std::optional<QRect> sharedArea() const override { return m_sharedArea; }

    QString statusSentence();

private:
    struct Answer {
        bool ok = false;
        QVariantMap results;
    };
    QCoro::Task<Answer> ask(QString method, QList<QVariant> arguments, QVariantMap options,
                            std::chrono::milliseconds answerTimeout);
    QCoro::Task<bool> openSession(std::chrono::milliseconds answerTimeout);
    void closeSession();
    Q_SLOT void onSessionClosed();

    QDBusConnection m_bus;
    std::function<QString()> m_loadToken;
    std::function<void(const QString&)> m_saveToken;
    uint m_version = 0;
    QElapsedTimer m_failedProbe; // since the portal last failed to answer
    uint m_sourceTypes = 0;
    uint m_cursorModes = 0;
    QString m_sessionPath;
    uint m_nodeId = 0;
    std::optional<QRect> m_sharedArea;
    std::unique_ptr<PipeWireFrameGrab> m_pipeWire;
    bool m_busy = false;
};

} // namespace norvane
