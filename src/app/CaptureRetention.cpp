// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "CaptureRetention.h"

#include "model/Logging.h"

#include <QLocale>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace norvane {

namespace {

constexpr qint64 kSecondsPerDay = 24 * 60 * 60;
constexpr quint64 kBytesPerMiB = 1024 * 1024;

int indexOf(const int (&choices)[4], int value) {
    const auto found = std::find(std::begin(choices), std::end(choices), value);
    return found == std::end(choices) ? -1 : int(found - std::begin(choices));
}

int choiceAt(const int (&choices)[4], double position) {
    return choices[int(std::clamp(std::round(position), 0.0, 3.0))];
}

} // namespace

CaptureRetention::CaptureRetention(AppState* appState, CaptureHousekeeping* store,
                                   std::function<MonitoringControlling*()> monitoring, Clock* clock,
                                   QObject* parent)
    : QObject(parent), m_appState(appState), m_store(store), m_monitoring(std::move(monitoring)),
      m_clock(clock ? clock : Clock::system()) {
    m_days = readLimit(retentionDaysKey, dayChoices, defaultDays);
    m_sizeMiB = readLimit(sizeLimitKey, sizeChoicesMiB, defaultSizeMiB);
}

CaptureRetention::~CaptureRetention() {
    if (m_timer)
        m_clock->cancelTimer(*m_timer);
}

int CaptureRetention::readLimit(const QString& key, const int (&choices)[4], int fallback) const {
    const QVariant stored = m_appState->storedSetting(key);
    if (!stored.isValid())
        return fallback;
    bool ok = false;
    const int value = stored.toInt(&ok);
    if (ok && indexOf(choices, value) >= 0)
        return value;
    qCInfo(lcCaptureRetention, "The stored setting %s is not one of its choices; using %d instead.",
           qPrintable(key), fallback);
    return fallback;
}

void CaptureRetention::start() {
    connect(m_appState, &AppState::isMonitoringChanged, this, [this] {
        schedule();
        Q_EMIT monitoringChanged();
    });
    pruneNow();
}

// MARK: - Schedule

void CaptureRetention::pruneNow() {
    m_lastPrune = m_clock->now();
    schedule();
    prune();
}

// One timer while monitoring runs, due an hour after the last prune; none while it is off.
void CaptureRetention::schedule() {
    if (m_timer) {
        m_clock->cancelTimer(*m_timer);
        m_timer.reset();
    }
    if (!m_appState->isMonitoring() || !m_lastPrune)
        return;
    const double elapsed = Clock::secondsBetween(*m_lastPrune, m_clock->now());
    QPointer<CaptureRetention> self(this);
    m_timer = m_clock->startTimer(std::max(0.0, pruneIntervalSeconds - elapsed), [self] {
        if (!self)
            return;
        self->m_timer.reset();
        self->pruneNow();
    });
}

QCoro::Task<> CaptureRetention::prune() {
    QPointer<CaptureRetention> self(this);
    const qint64 maxAge = qint64(m_days) * kSecondsPerDay;
    const quint64 maxBytes = quint64(m_sizeMiB) * kBytesPerMiB;
    const QDateTime now = m_clock->now();
    const CaptureFolderSummary summary = co_await m_store->pruneCaptures(now, maxAge, maxBytes);
    if (self)
        self->setSummary(summary);
}

// MARK: - Limits

int CaptureRetention::ageChoice() const {
    return indexOf(dayChoices, m_days);
}

int CaptureRetention::sizeChoice() const {
    return indexOf(sizeChoicesMiB, m_sizeMiB);
}

QString CaptureRetention::ageLabel() const {
    if (m_days == 0)
        return tr("Forever");
    return m_days == 1 ? tr("1 day") : tr("%1 days").arg(m_days);
}

QString CaptureRetention::sizeLabel() const {
    if (m_sizeMiB == 0)
        return tr("No limit");
    return m_sizeMiB < 1024 ? tr("%1 MB").arg(m_sizeMiB) : tr("%1 GB").arg(m_sizeMiB / 1024);
}

void CaptureRetention::setAgeChoice(double position) {
    if (std::isnan(position) || choiceAt(dayChoices, position) == m_days)
        return;
    m_days = choiceAt(dayChoices, position);
    m_appState->writeSetting(retentionDaysKey, m_days);
    Q_EMIT limitsChanged();
    pruneNow();
}

void CaptureRetention::setSizeChoice(double position) {
    if (std::isnan(position) || choiceAt(sizeChoicesMiB, position) == m_sizeMiB)
        return;
    m_sizeMiB = choiceAt(sizeChoicesMiB, position);
    m_appState->writeSetting(sizeLimitKey, m_sizeMiB);
    Q_EMIT limitsChanged();
    pruneNow();
}

// MARK: - What is stored

void CaptureRetention::refreshSummary() {
    summarize();
}

QCoro::Task<> CaptureRetention::summarize() {
    QPointer<CaptureRetention> self(this);
    const CaptureFolderSummary summary = co_await m_store->summarizeCaptures();
    if (self)
        self->setSummary(summary);
}

void CaptureRetention::setSummary(const CaptureFolderSummary& summary) {
    m_summary = summary;
    Q_EMIT summaryChanged();
}

QString CaptureRetention::summary() const {
    if (!m_summary)
        return tr("Counting the stored captures.");
    if (m_summary->count == 0)
        return tr("No captures are stored.");
    const QLocale locale;
    const QString size =
        locale.formattedDataSize(qint64(m_summary->bytes), 1, QLocale::DataSizeTraditionalFormat);
    if (m_summary->count == 1)
        return tr("1 capture is stored, taking %1.").arg(size);
    return tr("%1 captures are stored, taking %2.").arg(locale.toString(m_summary->count), size);
}

QString CaptureRetention::deleteConfirmation() const {
    return m_appState->isMonitoring()
               ? tr("Delete every stored capture? This cannot be undone. The recent screenshots "
                    "monitoring is working with stay until it stops.")
               : tr("Delete every stored capture and the recent screenshots? This cannot be undone.");
}

void CaptureRetention::deleteAll() {
    removeEverything();
}

QCoro::Task<> CaptureRetention::removeEverything() {
    QPointer<CaptureRetention> self(this);
    const bool stopped = !m_appState->isMonitoring();
    if (MonitoringControlling* monitoring = m_monitoring ? m_monitoring() : nullptr; stopped && monitoring)
        monitoring->discardStoppedBuffer();
    const CaptureFolderSummary summary = co_await m_store->deleteAllCaptures(stopped);
    if (self)
        self->setSummary(summary);
}

} // namespace norvane
