// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SystemScreenRecordingPermissionChecker.h"

#include "X11Connection.h"
#include "model/Logging.h"

namespace norvane {

SystemScreenRecordingPermissionChecker::SystemScreenRecordingPermissionChecker(X11Connection* connection)
    : m_connection(connection) {}

bool SystemScreenRecordingPermissionChecker::hasScreenRecordingPermission() {
    const bool reachable = m_connection->ensureConnected();
    // Asked on every capture: say why once per outage, not every few seconds.
    if (!reachable && !m_reported) {
        qCCritical(lcScreenshotService).noquote()
            << QStringLiteral("Screen capture is not possible: %1").arg(m_connection->unavailableReason());
    }
    m_reported = !reachable;
    return reachable;
}

} // namespace norvane
