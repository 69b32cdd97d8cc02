// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "X11WindowHints.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QList>
#include <QThread>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace norvane {

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// Whether the window manager still manages `window`: it keeps WM_STATE on the windows it manages and
// deletes it, or sets it to WithdrawnState (0), once a hidden window is let go.
bool isManaged(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t wmState) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, wmState, wmState, 0, 1), nullptr);
    if (!reply)
        return false;
    const bool managed = reply->format == 32 && xcb_get_property_value_length(reply) >= 4 &&
                         *static_cast<const uint32_t*>(xcb_get_property_value(reply)) != 0;
    std::free(reply);
    return managed;
}

// A window shown again before the window manager has processed its unmapping loses whatever states
// it was given for the new showing: the manager withdraws it after they were set and clears them.
void waitUntilWithdrawn(xcb_connection_t* connection, QWindow* window) {
    const auto id = xcb_window_t(window->winId());
    const xcb_atom_t wmState = internAtom(connection, "WM_STATE");
    if (window->isVisible() || wmState == XCB_ATOM_NONE)
        return;
    const QDeadlineTimer deadline(1000);
    while (isManaged(connection, id, wmState) && !deadline.hasExpired())
        QThread::msleep(5);
}

} // namespace

bool keepOutOfTaskbarAndPager(QWindow* window) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!window || !x11 || !x11->connection())
        return false;
    xcb_connection_t* connection = x11->connection();
    // Qt's own connection, so the property lands before the map request Qt sends on it later.
    waitUntilWithdrawn(connection, window);
    const auto id = xcb_window_t(window->winId());
    const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    const xcb_atom_t skipPager = internAtom(connection, "_NET_WM_STATE_SKIP_PAGER");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE || skipPager == XCB_ATOM_NONE)
        return false;

    // Keep whatever states are already there.
    QList<xcb_atom_t> atoms;
    xcb_get_property_reply_t* current = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (current) {
        if (current->format == 32 && current->type == XCB_ATOM_ATOM) {
            const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(current));
            const int count = xcb_get_property_value_length(current) / int(sizeof(xcb_atom_t));
            for (int i = 0; i < count; ++i)
                atoms.append(values[i]);
        }
        std::free(current);
    }
    for (const xcb_atom_t wanted : {skipTaskbar, skipPager}) {
        if (!atoms.contains(wanted))
            atoms.append(wanted);
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        uint32_t(atoms.size()), atoms.constData());
    xcb_flush(connection);
    return true;
}

bool hasCompositingManager() {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return true; // every Wayland compositor composites
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return false;
    xcb_connection_t* connection = x11->connection();
    const xcb_atom_t selection = internAtom(connection, "_NET_WM_CM_S0");
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!reply)
        return false;
    const bool owned = reply->owner != XCB_WINDOW_NONE;
    std::free(reply);
    return owned;
}

} // namespace norvane
