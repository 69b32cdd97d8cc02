// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QLoggingCategory>

// One category per service, named "Norvane.<TypeName>"; debug lines are off unless the logging rules
// turn them on (QT_LOGGING_RULES="Norvane.*.debug=true"). Levels: decisions not to act at debug;
// state changes, captures, selections and the start of an analysis at info; failures at critical.
Q_DECLARE_LOGGING_CATEGORY(lcMonitoringService)
Q_DECLARE_LOGGING_CATEGORY(lcInputActivityMonitor)
Q_DECLARE_LOGGING_CATEGORY(lcScreenshotService)
Q_DECLARE_LOGGING_CATEGORY(lcScreenshotDiskStore)
Q_DECLARE_LOGGING_CATEGORY(lcOpportunityAnalyzer)
Q_DECLARE_LOGGING_CATEGORY(lcNudgePanelController)
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcAppState)
Q_DECLARE_LOGGING_CATEGORY(lcSentRequestLog)
Q_DECLARE_LOGGING_CATEGORY(lcCaptureRetention)
Q_DECLARE_LOGGING_CATEGORY(lcSessionBusService)
Q_DECLARE_LOGGING_CATEGORY(lcFailureNotifier)
Q_DECLARE_LOGGING_CATEGORY(lcLoginStartup)
Q_DECLARE_LOGGING_CATEGORY(lcDesktopSession)

class QString;

namespace norvane {

// A text from outside (a window title, an application name, a server's message) fit for one log line:
// line breaks, other control characters and bidirectional overrides become visible escapes, so the
// text can neither start a forged line nor hide what follows it.
QString logSafe(const QString& text);

} // namespace norvane
