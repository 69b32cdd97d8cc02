// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/AppState.h"
#include "model/ServiceInterfaces.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace norvane {

// The menu's commands and their titles, shared by the tray menu and by the settings window's command row
// (shown when there is no tray). Titles and enabled states follow AppState as it changes.
class ShellCommands : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Provided by the application")
    Q_PROPERTY(bool isWatching READ isWatching NOTIFY changed)
    Q_PROPERTY(QString iconName READ iconName NOTIFY changed)
    Q_PROPERTY(QString monitoringTitle READ monitoringTitle NOTIFY changed)
    Q_PROPERTY(QString pauseTitle READ pauseTitle NOTIFY changed)
    Q_PROPERTY(bool pauseEnabled READ pauseEnabled NOTIFY changed)
    Q_PROPERTY(bool resumeTimeVisible READ resumeTimeVisible NOTIFY changed)
    Q_PROPERTY(QString resumeTimeTitle READ resumeTimeTitle NOTIFY changed)
    Q_PROPERTY(bool showsInWindow READ showsInWindow NOTIFY showsInWindowChanged)

public:
    static inline const QString settingsTitle = QStringLiteral(QT_TR_NOOP("Settings\u2026"));
    static inline const QString quitTitle = QStringLiteral(QT_TR_NOOP("Quit Norvane"));
    static inline const QString excludeTitle = QStringLiteral(QT_TR_NOOP("Exclude the current app"));
    static inline const QString historyTitle = QStringLiteral(QT_TR_NOOP("History\u2026"));
    // One of the titles above in the user's language.
    static QString translated(const QString& title) { return tr(title.toUtf8().constData()); }

    // `quit` ends the application (QCoreApplication::quit in production).
    ShellCommands(AppState* appState, MonitoringControlling* monitoring,
                  SettingsWindowPresenting* settingsWindow, std::function<void()> quit,
                  QObject* parent = nullptr);

    static ShellCommands* shared();

    // Where "Exclude the current app" finds the application: the frontmost window of another program,
    // or the last one seen while Norvane's own window was in front.
    void setExclusionCandidate(std::function<std::optional<FrontmostWindowInfo>()> candidate) {
        m_exclusionCandidate = std::move(candidate);
    }
    // The application that command would exclude; empty when there is none or it is excluded already.
    QString excludableApplication() const;

    // Monitoring on and not paused: the open eye.
    bool isWatching() const;
    QString iconName() const { return isWatching() ? QStringLiteral("eye") : QStringLiteral("eye.slash"); }
    QString monitoringTitle() const;
    QString pauseTitle() const;
    bool pauseEnabled() const;
    bool resumeTimeVisible() const;
    QString resumeTimeTitle() const;

    // True while the settings window stands in for a missing tray and shows these commands itself.
    bool showsInWindow() const { return m_showsInWindow; }
    void setShowsInWindow(bool value);

    Q_INVOKABLE void toggleMonitoring();
    Q_INVOKABLE void togglePause();
    Q_INVOKABLE void openSettings();
    Q_INVOKABLE void excludeCurrentApplication();
    // Set by the composition root; the history window is made on first use.
    void setHistoryOpener(std::function<void()> open) { m_openHistory = std::move(open); }
    Q_INVOKABLE void openHistory() {
        if (m_openHistory)
            m_openHistory();
    }
    Q_INVOKABLE void quit();

Q_SIGNALS:
    void changed();
    void showsInWindowChanged();

private:
    QPointer<AppState> m_appState;
    MonitoringControlling* m_monitoring;
    SettingsWindowPresenting* m_settingsWindow;
    std::function<void()> m_quit;
    std::function<std::optional<FrontmostWindowInfo>()> m_exclusionCandidate;
    std::function<void()> m_openHistory;
    bool m_showsInWindow = false;
};

} // namespace norvane
