// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

class QCoreApplication;

namespace norvane {

// SIGINT and SIGTERM quit the event loop, so a terminated Norvane shuts down the same way as "Quit":
// monitoring stops and nothing is left half-written.
void quitOnTerminationSignals(QCoreApplication& app);

} // namespace norvane
