// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "Logging.h"

#include "Records.h"

#include <QString>

Q_LOGGING_CATEGORY(lcMonitoringService, "Norvane.MonitoringService", QtInfoMsg)
Q_LOGGING_CATEGORY(lcInputActivityMonitor, "Norvane.InputActivityMonitor", QtInfoMsg)
Q_LOGGING_CATEGORY(lcScreenshotService, "Norvane.ScreenshotService", QtInfoMsg)
Q_LOGGING_CATEGORY(lcScreenshotDiskStore, "Norvane.ScreenshotDiskStore", QtInfoMsg)
Q_LOGGING_CATEGORY(lcOpportunityAnalyzer, "Norvane.OpportunityAnalyzer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNudgePanelController, "Norvane.NudgePanelController", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "Norvane.App", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAppState, "Norvane.AppState", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSentRequestLog, "Norvane.SentRequestLog", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCaptureRetention, "Norvane.CaptureRetention", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSessionBusService, "Norvane.SessionBusService", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFailureNotifier, "Norvane.FailureNotifier", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLoginStartup, "Norvane.LoginStartup", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDesktopSession, "Norvane.DesktopSession", QtInfoMsg)

namespace norvane {

QString logSafe(const QString& text) {
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool bidiControl = (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
        if (u == u'\n')
            safe += QLatin1String("\\n");
        else if (u == u'\r')
            safe += QLatin1String("\\r");
        else if (u == u'\t')
            safe += QLatin1String("\\t");
        else if (isControlCharacter(c) || bidiControl)
            safe += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
        else
            safe += c;
    }
    return safe;
}

} // namespace norvane
