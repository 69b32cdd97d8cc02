// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/AppState.h"
#include "model/CaptureHousekeeping.h"
#include "model/Clock.h"
#include "model/ServiceInterfaces.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>

namespace norvane {

// Keeps the captures folder within the user's age and size limits: prunes at start-up, then at most once
// an hour while monitoring, and whenever a limit changes. Also deletes every capture on request and says
// what the folder holds, for the settings window. Main thread only; the file work runs in the store.
class CaptureRetention : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Provided by the application")

    Q_PROPERTY(int lastChoice READ lastChoice CONSTANT)
    Q_PROPERTY(int ageChoice READ ageChoice NOTIFY limitsChanged)
    Q_PROPERTY(QString ageLabel READ ageLabel NOTIFY limitsChanged)
    Q_PROPERTY(int sizeChoice READ sizeChoice NOTIFY limitsChanged)
    Q_PROPERTY(QString sizeLabel READ sizeLabel NOTIFY limitsChanged)
    Q_PROPERTY(QString summary READ summary NOTIFY summaryChanged)
    Q_PROPERTY(QString deleteConfirmation READ deleteConfirmation NOTIFY monitoringChanged)

public:
    static inline const QString retentionDaysKey = QStringLiteral("capture_retention_days");
    static inline const QString sizeLimitKey = QStringLiteral("capture_size_limit_mib");
    // Slider order; 0 means no limit.
    static constexpr int dayChoices[] = {1, 7, 30, 0};
    static constexpr int sizeChoicesMiB[] = {250, 1024, 5120, 0};
    static constexpr int defaultDays = 7;
    static constexpr int defaultSizeMiB = 1024;
    static constexpr double pruneIntervalSeconds = 3600.0;

    // `monitoring` is asked when everything is deleted (monitoring refers back to the settings window,
    // which shows this); without it only the buffer folder is emptied with the captures.
    CaptureRetention(AppState* appState, CaptureHousekeeping* store,
                     std::function<MonitoringControlling*()> monitoring, Clock* clock,
                     QObject* parent = nullptr);
    ~CaptureRetention() override;

    static CaptureRetention* shared();

    // Prunes now and follows monitoring from here on.
    void start();

    int retentionDays() const { return m_days; }
    int sizeLimitMiB() const { return m_sizeMiB; }
    int lastChoice() const { return 3; }
    int ageChoice() const;
    QString ageLabel() const;
    int sizeChoice() const;
    QString sizeLabel() const;
    QString summary() const;
    QString deleteConfirmation() const;

    // Slider position → stored limit, rounded and clamped to the choices.
    Q_INVOKABLE void setAgeChoice(double position);
    Q_INVOKABLE void setSizeChoice(double position);
    Q_INVOKABLE void refreshSummary();
    // With monitoring off the buffer goes too; while monitoring runs it is what the next analysis needs.
    Q_INVOKABLE void deleteAll();

Q_SIGNALS:
    void limitsChanged();
    void summaryChanged();
    void monitoringChanged();

private:
    void pruneNow();
    void schedule();
    QCoro::Task<> prune();
    QCoro::Task<> removeEverything();
    QCoro::Task<> summarize();
    void setSummary(const CaptureFolderSummary& summary);
    int readLimit(const QString& key, const int (&choices)[4], int fallback) const;

    AppState* m_appState;
    CaptureHousekeeping* m_store;
    std::function<MonitoringControlling*()> m_monitoring;
    Clock* m_clock;
    int m_days = defaultDays;
    int m_sizeMiB = defaultSizeMiB;
    std::optional<QDateTime> m_lastPrune;
    std::optional<quint64> m_timer;
    std::optional<CaptureFolderSummary> m_summary;
};

} // namespace norvane
