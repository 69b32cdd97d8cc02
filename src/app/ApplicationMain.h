// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "SharedInstances.h"

namespace norvane {

// Runs Norvane: the tray, the start-up decisions and the event loop, until the user quits or a
// termination signal arrives.
int runApplication(int argc, char* argv[], SharedInstances::Options options);

} // namespace norvane
