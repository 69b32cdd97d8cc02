// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "FailureNotifier.h"

#include "model/Logging.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace norvane {

namespace {

// A server's message can run to pages; a notification shows a few lines.
constexpr qsizetype kMaxDetailCharacters = 300;

bool containsAny(const QString& text, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(), [&](const char* word) {
        return text.contains(QLatin1String(word), Qt::CaseInsensitive);
    });
}

} // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

void DesktopNotifications::notify(const QString& summary, const QString& body) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Norvane") << uint(0) << QStringLiteral("norvane") << summary << body
         << QStringList() << QVariantMap() << -1;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (finished->isError())
            qCWarning(lcFailureNotifier).noquote()
                << "The desktop did not show a notification:" << finished->error().message();
    });
}

FailureNotifier::FailureNotifier(AppState* appState, DesktopNotifying* notifier, Clock* clock,
                                 QObject* parent)
    : QObject(parent), m_appState(appState), m_notifier(notifier), m_clock(clock ? clock : Clock::system()) {
    if (m_appState)
        connect(m_appState, &AppState::nudgeDiagnosticsChanged, this, &FailureNotifier::diagnosticsChanged);
}

QString FailureNotifier::adviceFor(const QString& detail) {
    if (containsAny(detail, {"key is missing"}))
        return tr("Open Norvane's settings and enter your Gemini API key.");
    if (containsAny(detail,
                    {"api key", "api_key", "permission_denied", "unauthenticated", "HTTP 401", "HTTP 403"}))
        return tr("Open Norvane's settings and check the API key.");
    if (containsAny(detail, {"quota", "resource_exhausted", "HTTP 429", "rate limit"}))
        return tr("Your Gemini usage limit is reached; check your plan in Google AI Studio or wait a while.");
    if (containsAny(detail, {"timed out", "network", "host", "connection", "unreachable", "SSL"}))
        return tr("Check your internet connection; Norvane tries again with your next burst of activity.");
    return tr("Norvane tries again with your next burst of activity; its settings window shows the latest "
              "status.");
}

void FailureNotifier::diagnosticsChanged() {
    const NudgePipelineDiagnostics& diagnostics = m_appState->nudgeDiagnostics();
    switch (diagnostics.state) {
    case NudgePipelineState::NoOpportunity:
    case NudgePipelineState::NudgeVisible:
        m_failuresInARow = 0;
        return;
    case NudgePipelineState::Failed:
        break;
    default:
        return;
    }
    if (++m_failuresInARow < failuresBeforeNotice)
        return;
    const QDateTime now = m_clock->now();
    if (m_lastNotice && Clock::secondsBetween(*m_lastNotice, now) < noticeIntervalSeconds)
        return;
    m_lastNotice = now;

    QString detail = diagnostics.detail.trimmed().left(kMaxDetailCharacters);
    // The client masks the key already; a notification is seen by anyone near the screen, so again.
    for (const QString& stored : {m_appState->apiKey(), m_appState->openAIApiKey()}) {
        if (const QString key = stored.trimmed(); !key.isEmpty())
            detail.replace(key, QStringLiteral("[API key]"));
    }
    if (!detail.isEmpty() && !detail.back().isPunct())
        detail += u'.';
    qCInfo(lcFailureNotifier) << "Analyses failed" << m_failuresInARow << "times in a row; telling the user.";
    if (m_notifier)
        m_notifier->notify(tr("Norvane cannot analyze your work"),
                           tr("The last %1 analyses failed. %2 %3")
                               .arg(m_failuresInARow)
                               .arg(detail, adviceFor(diagnostics.detail)));
}

} // namespace norvane
