// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "ApplicationMain.h"
#include "AppDelegate.h"
#include "CaptureRetention.h"
#include "CommandLine.h"
#include "FailureNotifier.h"
#include "RemoteCommands.h"
#include "SessionBusService.h"
#include "SettingsWindowManager.h"
#include "SharedInstances.h"
#include "ShellCommands.h"
#include "SingleInstance.h"
#include "Translations.h"
#include "TrayFallback.h"
#include "TrayMenu.h"
#include "model/AppState.h"
#include "model/Logging.h"
#include "platform/posix/AllocatorTuning.h"
#include "platform/posix/TerminationSignals.h"

#include <QApplication>
#include <QQuickWindow>
#include <QSystemTrayIcon>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Norvane_SettingsPlugin)

namespace norvane {

namespace {

void nameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Norvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NORVANE_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Norvane"));
}

// Help, usage errors and commands for a running Norvane need no display: they are dealt with before the
// graphical application exists, so `norvane --status` works over SSH or from a timer. Nothing when
// Norvane itself has to run in this process.
std::optional<int> answerWithoutDisplay(int argc, char* argv[]) {
    QCoreApplication client(argc, argv);
    nameApplication();
    installTranslations(&client);
    const QStringList arguments = QCoreApplication::arguments();
    const CommandLine commandLine = parseCommandLine(arguments);
    if (commandLine.outcome != CommandLine::Outcome::Run)
        return finishCommandLine(commandLine);
    return forwardToRunningInstance(SingleInstance::defaultServerName(), commandLine.command, arguments);
}

} // namespace

int runApplication(int argc, char* argv[], SharedInstances::Options options) {
    if (const std::optional<int> exitCode = answerWithoutDisplay(argc, argv))
        return *exitCode;
    limitAllocatorRetention();
    // The card and the settings page are small and mostly still: the software scene graph draws them in
    // a few milliseconds, where an OpenGL context would load a driver that stays mapped for the life of
    // this tray process (without a GPU, Mesa's llvmpipe adds about 100 MB resident and a render thread).
    // QT_QUICK_BACKEND still picks another backend.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QApplication app(argc, argv);
    nameApplication();
    QApplication::setDesktopFileName(QStringLiteral("norvane"));
    installTranslations(&app);
    // A tray application: closing the settings window never ends it.
    QApplication::setQuitOnLastWindowClosed(AppDelegate::applicationShouldTerminateAfterLastWindowClosed());
    quitOnTerminationSignals(app);

    // Norvane runs here; what it was asked to do once it runs, if anything.
    const QStringList arguments = QApplication::arguments();
    const CommandLine commandLine = parseCommandLine(arguments);
    const QString socketName = SingleInstance::defaultServerName();

    int result = 0;
    {
        const auto afterLaunch = options.afterLaunch;
        SharedInstances root(std::move(options));
        AppState* appState = AppState::shared(); // loads the settings
        // Made before the settings window that shows it, so it also outlives that window.
        CaptureRetention::shared()->start();

        SingleInstance instance(socketName);
        if (!instance.listen())
            qCWarning(lcApp)
                << "Norvane could not listen for later launches; a second launch starts another copy.";

        AppDelegate delegate(appState, sharedMonitoring(), SettingsWindowManager::shared());
        QObject::connect(&instance, &SingleInstance::argumentsReceived, &delegate,
                         &AppDelegate::secondLaunch);
        RemoteCommands remoteCommands(appState, sharedMonitoring(), SettingsWindowManager::shared(),
                                      [] { ShellCommands::shared()->openHistory(); });
        instance.setRequestHandler(
            [&remoteCommands](const QJsonObject& request) { return remoteCommands.handle(request); });

        TrayIcon tray(ShellCommands::shared());
        tray.show();
        SessionBusService busService(appState, ShellCommands::shared(), sharedMonitoring());
        busService.registerOn(QDBusConnection::sessionBus());
        DesktopNotifications notifications;
        FailureNotifier failureNotifier(appState, &notifications, root.clock());
        TrayFallback fallback(
            root.clock(), [] { return QSystemTrayIcon::isSystemTrayAvailable(); }, ShellCommands::shared(),
            SettingsWindowManager::shared(),
            [] {
                const QQuickView* window = SettingsWindowManager::shared()->window();
                return window && window->isVisible();
            });

        qCInfo(lcApp) << "Norvane is running; monitoring is off.";
        delegate.applicationDidFinishLaunching(arguments);
        // A command that started Norvane applies once it runs.
        if (commandLine.command.kind != RemoteCommand::Kind::Launch) {
            const RemoteCommands::Reply reply = remoteCommands.execute(commandLine.command);
            printCommandOutput(reply.exitCode != 0, reply.output);
        }
        fallback.start();
        if (afterLaunch)
            afterLaunch();
        result = QApplication::exec();
    }
    return result;
}

} // namespace norvane
