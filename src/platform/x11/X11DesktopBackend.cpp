// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "platform/DesktopBackend.h"

#include "SystemFrontmostWindowProvider.h"
#include "SystemInputEventSource.h"
#include "SystemScreenRecordingPermissionChecker.h"
#include "SystemWindowImageCapture.h"
#include "X11Connection.h"
#include "X11SessionCapabilities.h"

namespace norvane {

namespace {

// Declared after what each is given, so they go in the reverse order.
class X11DesktopBackend final : public DesktopBackend {
public:
    FrontmostWindowProviding* frontmostWindows() override { return &m_frontmostWindows; }
    WindowImageCapturing* windowImages() override { return &m_windowImages; }
    ScreenRecordingPermissionChecking* permissionChecker() override { return &m_permissionChecker; }
    InputEventSource* inputEvents() override { return &m_inputEvents; }
    QList<SessionCapability> sessionCapabilities() override {
        return x11SessionCapabilities(&m_connection, &m_inputEvents);
    }

private:
    X11Connection m_connection;
    SystemFrontmostWindowProvider m_frontmostWindows{&m_connection};
    SystemWindowImageCapture m_windowImages{&m_connection}; // releases its shared memory on the connection
    SystemScreenRecordingPermissionChecker m_permissionChecker{&m_connection};
    SystemInputEventSource m_inputEvents;
};

} // namespace

std::unique_ptr<DesktopBackend> makeX11DesktopBackend() {
    return std::make_unique<X11DesktopBackend>();
}

} // namespace norvane
