// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

class QWindow;

namespace norvane {

// Asks the window manager to keep `window` out of the taskbar and the pager (EWMH
// _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER). Call it before every show: the window manager
// drops the state when a window is withdrawn, and Qt merges what it finds with its own states when it
// maps the window. A window hidden a moment ago may not be withdrawn yet; this first waits (at most a
// second) until the window manager has let it go, or the states set now would be dropped with the old
// ones. False when the window is not on an X11 display.
bool keepOutOfTaskbarAndPager(QWindow* window);

// Whether a compositing manager owns the display (the EWMH _NET_WM_CM_S0 selection). Without one,
// transparent pixels of a window show as black. False when not on an X11 display.
bool hasCompositingManager();

} // namespace norvane
