// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>

struct xcb_connection_t;

namespace norvane {

// The X connection that the window provider, the window capture and the permission check share, used on
// the main thread only. It connects on first use and again after the server went away, so a program
// started without a display can still find one later. No events are selected on it.
class X11Connection : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool useComposite = true; // read true window contents from Composite's off-screen storage
        bool useShm = true;       // read pixels through a shared-memory segment
    };

    // The atoms Norvane reads, interned together when it connects.
    enum class Atom : uint8_t {
        NetActiveWindow,
        NetClientListStacking,
        NetWmPid,
        NetWmName,
        Utf8String,
        NetWmWindowType,
        NetWmWindowTypeNormal,
        NetWmState,
        NetWmStateHidden,
        NetWmStateFullScreen,
        // Every other window type that EWMH defines, up to Count; the first recognised type decides.
        NetWmWindowTypeDesktop,
        NetWmWindowTypeDock,
        NetWmWindowTypeToolbar,
        NetWmWindowTypeMenu,
        NetWmWindowTypeUtility,
        NetWmWindowTypeSplash,
        NetWmWindowTypeDialog,
        NetWmWindowTypeDropdownMenu,
        NetWmWindowTypePopupMenu,
        NetWmWindowTypeTooltip,
        NetWmWindowTypeNotification,
        NetWmWindowTypeCombo,
        NetWmWindowTypeDnd,
        Count
    };
    class Atoms {
    public:
        // XCB_ATOM_NONE until connected.
        uint32_t operator[](Atom atom) const { return m_values[size_t(atom)]; }
        // One of the window types that make a window something other than a normal one.
        bool isOtherWindowType(uint32_t atom) const;

    private:
        friend class X11Connection;
        std::array<uint32_t, size_t(Atom::Count)> m_values{};
    };

    // `displayName` empty means the DISPLAY environment variable.
    explicit X11Connection(QObject* parent = nullptr);
    X11Connection(const QString& displayName, Options options, QObject* parent = nullptr);
    ~X11Connection() override;

    // True when a display can be used now; connects when needed.
    bool ensureConnected();
    // Why not, as a full sentence, after ensureConnected() failed.
    QString unavailableReason() const { return m_unavailableReason; }

    xcb_connection_t* connection() const { return m_connection; }
    uint32_t root() const { return m_root; }
    const Atoms& atoms() const { return m_atoms; }
    bool hasComposite() const { return m_hasComposite; }
    bool hasShm() const { return m_hasShm; }
    void disableShm() { m_hasShm = false; }
    bool hasRes() const { return m_hasRes; }

    // Drops events and errors of unchecked requests that piled up; nothing on this connection needs them.
    void discardEvents();

    // Pixel layout of a drawable of `depth` with `visual`, when it is one QImage can wrap directly.
    struct PixelLayout {
        int bitsPerPixel = 0;
        int scanlinePad = 0;
        int qimageFormat = 0; // QImage::Format
    };
    bool pixelLayout(uint8_t depth, uint32_t visual, PixelLayout* layout) const;

    // Bumped at every new connection, so users can drop state tied to an older one.
    quint64 generation() const { return m_generation; }

private:
    bool connectToServer();
    void disconnectFromServer();
    static Atoms internAtoms(xcb_connection_t* connection);
    void probeExtensions(xcb_connection_t* connection);

    QString m_displayName;
    Options m_options;
    xcb_connection_t* m_connection = nullptr;
    uint32_t m_root = 0;
    Atoms m_atoms;
    bool m_hasComposite = false;
    bool m_hasShm = false;
    bool m_hasRes = false;
    QString m_unavailableReason;
    quint64 m_generation = 0;
};

// Why no X display can be used, as a full sentence, for a connection attempt that failed.
QString describeUnreachableDisplay(const QString& displayName);

} // namespace norvane
