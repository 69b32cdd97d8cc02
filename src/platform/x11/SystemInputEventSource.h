// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "RawInputClassifier.h"
#include "monitoring/InputEventSource.h"

#include <xcb/xcb.h>

#include <QHash>
#include <QObject>
#include <QSet>

#include <map>
#include <memory>

class QSocketNotifier;

namespace norvane {

// Global keyboard and mouse events from XInput 2 raw events, which the server sends for every device and
// every window, this program's own included, whoever has the focus or a grab. It uses its own
// connection (Qt selects XI2 events on its own) read on the main thread, and selects events only while
// someone listens.
class SystemInputEventSource : public QObject, public InputEventSource {
    Q_OBJECT
public:
    explicit SystemInputEventSource(QObject* parent = nullptr);
    // `displayName` empty means the DISPLAY environment variable.
    explicit SystemInputEventSource(const QString& displayName, QObject* parent = nullptr);
    ~SystemInputEventSource() override;

    bool isAvailable() override;
    QString unavailableReason() const override { return m_unavailableReason; }
    std::optional<ListenerId> start(Listener listener) override;
    void stop(ListenerId id) override;
    std::optional<QPoint> pointerPosition() override;

    int listenerCount() const { return int(m_listeners.size()); }

private:
    bool ensureConnected();
    void disconnectFromServer();
    void selectEvents(bool selected);
    void readEvents();
    void handleEvent(const xcb_generic_event_t* event);
    void handleRawMotion(const xcb_generic_event_t* event);
    void dispatch(const InputEvent& event);
    void refreshModifierKeycodes();
    const QSet<int>& scrollValuators(uint16_t device);

    QString m_displayName;
    QString m_unavailableReason;
    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
    uint8_t m_xiOpcode = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_selected = false;
    bool m_drainQueued = false;
    RawInputClassifier m_classifier;
    QHash<uint16_t, QSet<int>> m_scrollValuators; // per source device, the valuators that scroll
    std::map<ListenerId, Listener> m_listeners;
    ListenerId m_nextListenerId = 1;
};

} // namespace norvane
