#pragma once

class QWindow;

namespace norvane {

// Asks the window manager to keep `window` out of the taskbar and the pager (EWMH
// _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER). Call it before every show: the window manager
// drops the state when a window is withdrawn, and Qt merges what it finds with its own states when it
// maps the window. False when the window is not on an X11 display.
bool keepOutOfTaskbarAndPager(QWindow* window);

} // namespace norvane
