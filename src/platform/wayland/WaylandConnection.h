// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

struct wl_display;
struct wl_interface;
struct wl_output;
struct wl_registry;
struct wl_seat;
struct wl_shm;
class QSocketNotifier;

namespace norvane {

// Norvane's own connection to the Wayland compositor, apart from the one Qt draws its windows through
// (which may even be X11 through XWayland). Events are read on the main thread as they arrive.
class WaylandConnection : public QObject {
    Q_OBJECT
public:
    // `displayName` empty means the WAYLAND_DISPLAY environment variable.
    explicit WaylandConnection(QObject* parent = nullptr);
    explicit WaylandConnection(const QString& displayName, QObject* parent = nullptr);
    ~WaylandConnection() override;

    static WaylandConnection* shared();

    // True when the compositor can be used now; connects when needed.
    bool ensureConnected();
    // Why not, as a full sentence, after ensureConnected() failed.
    QString unavailableReason() const { return m_unavailableReason; }

    wl_display* display() const { return m_display; }

    // Whether the compositor offers `interface` (a protocol interface name such as "wl_seat").
    bool hasGlobal(const char* interface) const;
    // Binds the compositor's `interface` at the highest version both sides know, or nothing when it is
    // not offered. The caller owns the proxy and destroys it before this connection goes.
    void* bind(const wl_interface* interface, uint32_t maxVersion, uint32_t* boundVersion = nullptr);

    struct Output {
        wl_output* output = nullptr;
        QString name; // the compositor's name for it, such as "HEADLESS-1" or "DP-2"
    };
    const QList<Output>& outputs() const { return m_outputs; }
    wl_output* outputNamed(const QString& name) const;
    wl_seat* seat() const { return m_seat; }
    wl_shm* shm() const { return m_shm; }

    // Sends what is queued and waits until the compositor has answered all of it.
    bool roundTrip();
    // Sends what is queued without waiting.
    void flush();

    // Bumped at every new connection, so users can drop objects tied to an older one.
    quint64 generation() const { return m_generation; }

Q_SIGNALS:
    // The compositor went away; every object made on the connection is gone with it.
    void lost();

private:
    struct Global {
        uint32_t name = 0;
        QByteArray interface;
        uint32_t version = 0;
    };
    bool connectToCompositor();
    void disconnectFromCompositor();
    void readEvents();
    bool checkError();
    static void handleGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                             uint32_t version);
    static void handleGlobalRemove(void* data, wl_registry* registry, uint32_t name);

    QString m_displayName;
    QString m_unavailableReason;
    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    wl_shm* m_shm = nullptr;
    QList<Global> m_globals;
    QList<Output> m_outputs;
    std::unique_ptr<QSocketNotifier> m_notifier;
    quint64 m_generation = 0;
};

} // namespace norvane
