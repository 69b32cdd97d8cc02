// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/ServiceInterfaces.h"

namespace norvane {

class X11Connection;

// On X11 any client may read any window, so capture is possible exactly when a display is reachable.
// Without one (no DISPLAY, a Wayland session without XWayland) the answer is no, and the log says why.
class SystemScreenRecordingPermissionChecker : public ScreenRecordingPermissionChecking {
public:
    explicit SystemScreenRecordingPermissionChecker(X11Connection* connection);

    bool hasScreenRecordingPermission() override;

private:
    X11Connection* m_connection;
    bool m_reported = false;
};

} // namespace norvane
