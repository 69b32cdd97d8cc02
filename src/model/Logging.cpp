#include "Logging.h"

Q_LOGGING_CATEGORY(lcMonitoringService, "Norvane.MonitoringService", QtInfoMsg)
Q_LOGGING_CATEGORY(lcInputActivityMonitor, "Norvane.InputActivityMonitor", QtInfoMsg)
Q_LOGGING_CATEGORY(lcScreenshotService, "Norvane.ScreenshotService", QtInfoMsg)
Q_LOGGING_CATEGORY(lcScreenshotDiskStore, "Norvane.ScreenshotDiskStore", QtInfoMsg)
Q_LOGGING_CATEGORY(lcOpportunityAnalyzer, "Norvane.OpportunityAnalyzer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNudgePanelController, "Norvane.NudgePanelController", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "Norvane.App", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAppState, "Norvane.AppState", QtInfoMsg)
