#include "app/ApplicationMain.h"
#include "app/SettingsController.h"
#include "app/SharedInstances.h"
#include "model/AppState.h"
#include "model/ServiceInterfaces.h"
#include "nudge/NudgePanelController.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QQuickItem>
#include <QQuickView>
#include <QSocketNotifier>
#include <QUrl>

#include <cstdio>
#include <unistd.h>

// Norvane exactly as the product runs it, but talking to a model server on loopback: the end-to-end
// tests and the resource benchmark start it. NORVANE_TEST_GEMINI_ENDPOINT is the server's base URL
// (for example http://127.0.0.1:40123); with NORVANE_TEST_START_MONITORING=1 monitoring is turned on
// after launch, as the tray menu would.
//
// Two observers exist only in this build, for tests that drive it from outside:
// - NORVANE_TEST_LOG_DIAGNOSTICS=1 writes every change of the pipeline status line to stderr as
//   "diagnostics: <state> | <title the settings window shows> | <detail>".
// - NORVANE_TEST_CONTROL=1 answers "locate <objectName>" lines on stdin with one JSON line on stdout
//   describing that item of the nudge card: where it is on screen (device pixels), whether it is
//   visible, its text, and the card window's state. The test needs it to click into the card.

namespace {

void logDiagnostics() {
    norvane::AppState* state = norvane::AppState::shared();
    QObject::connect(state, &norvane::AppState::nudgeDiagnosticsChanged, state, [state] {
        const norvane::NudgePipelineDiagnostics& diagnostics = state->nudgeDiagnostics();
        const QByteArray line = "diagnostics: " + norvane::rawValue(diagnostics.state).toUtf8() + " | " +
                                norvane::SettingsController::titleForState(diagnostics.state).toUtf8() +
                                " | " + diagnostics.detail.toUtf8() + '\n';
        fputs(line.constData(), stderr);
        fflush(stderr);
    });
}

QJsonObject locate(const QString& objectName) {
    QQuickView* panel = norvane::NudgePanelController::shared()->panel();
    QQuickItem* root = panel ? panel->rootObject() : nullptr;
    QQuickItem* item = root ? root->findChild<QQuickItem*>(objectName) : nullptr;
    if (!item)
        return {{QStringLiteral("found"), false}};
    const qreal ratio = panel->devicePixelRatio();
    const QPointF topLeft = item->mapToGlobal(QPointF(0, 0)) * ratio;
    return {{QStringLiteral("found"), true},
            {QStringLiteral("panelVisible"), panel->isVisible()},
            {QStringLiteral("panelOpacity"), panel->opacity()},
            {QStringLiteral("visible"), item->isVisible()},
            {QStringLiteral("x"), qRound(topLeft.x())},
            {QStringLiteral("y"), qRound(topLeft.y())},
            {QStringLiteral("width"), qRound(item->width() * ratio)},
            {QStringLiteral("height"), qRound(item->height() * ratio)},
            {QStringLiteral("text"), item->property("text").toString()}};
}

void serveControlRequests() {
    auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier] {
        static QByteArray pending;
        char buffer[512];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            notifier->setEnabled(false);
            return;
        }
        pending.append(buffer, count);
        qsizetype end = 0;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray request = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (!request.startsWith("locate "))
                continue;
            const QJsonObject answer = locate(QString::fromUtf8(request.mid(7).trimmed()));
            fputs(QJsonDocument(answer).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
            fflush(stdout);
        }
    });
}

} // namespace

int main(int argc, char* argv[]) {
    norvane::SharedInstancesOptions options;
    const QUrl endpoint(qEnvironmentVariable("NORVANE_TEST_GEMINI_ENDPOINT"));
    if (endpoint.isValid() &&
        (endpoint.host() == QLatin1String("127.0.0.1") || endpoint.host() == QLatin1String("localhost")))
        options.geminiEndpointBase = endpoint;
    const bool startMonitoring = qEnvironmentVariableIntValue("NORVANE_TEST_START_MONITORING") == 1;
    const bool observeDiagnostics = qEnvironmentVariableIntValue("NORVANE_TEST_LOG_DIAGNOSTICS") == 1;
    const bool control = qEnvironmentVariableIntValue("NORVANE_TEST_CONTROL") == 1;
    options.afterLaunch = [=] {
        // Observers first, so the change monitoring makes is already seen.
        if (observeDiagnostics)
            logDiagnostics();
        if (control)
            serveControlRequests();
        if (startMonitoring)
            norvane::sharedMonitoring()->startFromUserRequest();
    };
    return norvane::runApplication(argc, argv, std::move(options));
}
