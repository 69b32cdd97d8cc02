// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "app/ApplicationMain.h"
#include "app/SettingsController.h"
#include "app/SharedInstances.h"
#include "model/AppState.h"
#include "nudge/NudgePanelController.h"

#include <QFile>
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
// With NORVANE_TEST_CONTROL=1 two observers exist, for tests that drive it from outside: every change of
// the pipeline status line goes to stderr as "diagnostics: <state> | <title the settings window shows> |
// <detail>", and object names on lines of stdin are answered with one line on stdout describing
// that item of the nudge card, so the test can click into the card.

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

// "x y width height shown text" of the nudge card's item named `objectName`: where it is on screen (device
// pixels), whether it is shown (1) on a fully opaque card, and its text.
QByteArray locate(const QString& objectName) {
    QQuickView* panel = norvane::NudgePanelController::shared()->panel();
    QQuickItem* item =
        panel && panel->rootObject() ? panel->rootObject()->findChild<QQuickItem*>(objectName) : nullptr;
    if (!item)
        return "0 0 0 0 0 \n";
    const qreal ratio = panel->devicePixelRatio();
    const QRect r = QRectF(item->mapToGlobal(QPointF(0, 0)) * ratio, item->size() * ratio).toRect();
    const bool shown = item->isVisible() && panel->isVisible() && panel->opacity() > 0.999;
    return QString::asprintf("%d %d %d %d %d ", r.x(), r.y(), r.width(), r.height(), int(shown)).toUtf8() +
           item->property("text").toString().toUtf8() + '\n';
}

// Answers each object name on a line of stdin with one line on stdout. Read unbuffered, one line
// per wake-up: what is left in the pipe wakes the notifier again.
void serveControlRequests() {
    auto* in = new QFile(qApp);
    in->open(STDIN_FILENO, QIODevice::ReadOnly | QIODevice::Unbuffered);
    auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [in, notifier] {
        const QByteArray request = in->readLine();
        if (request.isEmpty())
            notifier->setEnabled(false);
        else
            fputs(locate(QString::fromUtf8(request).trimmed()).constData(), stdout);
        fflush(stdout);
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
    const bool control = qEnvironmentVariableIntValue("NORVANE_TEST_CONTROL") == 1;
    options.afterLaunch = [=] {
        if (control) { // observers first, so the change monitoring makes is already seen
            logDiagnostics();
            serveControlRequests();
        }
        if (startMonitoring)
            norvane::sharedMonitoring()->startFromUserRequest();
    };
    return norvane::runApplication(argc, argv, std::move(options));
}
