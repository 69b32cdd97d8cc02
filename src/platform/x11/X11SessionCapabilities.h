// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/ServiceInterfaces.h"

namespace norvane {

class InputEventSource;
class X11Connection;

// What this X11 session offers Norvane, in the order the settings window lists it: the display, raw
// input events (XInput 2), true window contents (Composite), fast reads (MIT-SHM), and whether native
// Wayland windows are out of sight because this is XWayland.
QList<SessionCapability> x11SessionCapabilities(X11Connection* connection, InputEventSource* input);

} // namespace norvane
