// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "capture/WindowChoice.h"
#include "model/ServiceInterfaces.h"

namespace norvane {

class X11Connection;

// The frontmost window as the window manager reports it (EWMH): the active window, its application
// (pid, WM_CLASS, /proc/<pid>/comm) and the stacking list of managed windows. The choice and the title
// rules are chooseFrontmostWindow's.
class SystemFrontmostWindowProvider : public FrontmostWindowProviding {
public:
    explicit SystemFrontmostWindowProvider(X11Connection* connection);

    std::optional<FrontmostWindowInfo> frontmostWindowInfo() override;

    // What the X server says right now; empty when no display is reachable or nothing is active.
    WindowSnapshot readSnapshot();

private:
    X11Connection* m_connection;
};

} // namespace norvane
