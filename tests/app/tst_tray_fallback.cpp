// Without a tray, the settings window opens with the menu's commands a few seconds after start.
#include "app/ShellCommands.h"
#include "app/TrayFallback.h"
#include "fakes/FakeMonitoringControl.h"
#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace norvane;
using namespace norvane::testing;

class TestTrayFallback : public QObject {
    Q_OBJECT

    struct Env {
        QTemporaryDir dir;
        QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
        ManualClock clock;
        AppState appState{&settings, nullptr, &clock};
        FakeMonitoringControl monitoring;
        FakeSettingsWindow window;
        ShellCommands commands{&appState, &monitoring, &window, [] {}};
        bool trayAvailable = false;
        bool windowVisible = false;
        TrayFallback fallback{&clock, [this] { return trayAvailable; }, &commands, &window,
                              [this] { return windowVisible; }};
    };

private slots:
    void noTrayOpensTheWindowWithCommands() {
        LogCapture log;
        Env env;
        env.fallback.start();
        env.clock.advance(TrayFallback::waitSeconds - 0.1);
        QVERIFY(env.window.shows.isEmpty());
        QVERIFY(!env.commands.showsInWindow());

        env.clock.advance(0.1);
        QCOMPARE(env.window.shows, QList<SettingsPresentationMode>{SettingsPresentationMode::Standard});
        QVERIFY(env.commands.showsInWindow());
        QVERIFY(env.fallback.isEngaged());
        QVERIFY(log.contains(QStringLiteral("Norvane.App"), QtInfoMsg, TrayFallback::noTrayLogLine));

        // It happens once.
        env.clock.advance(60);
        QCOMPARE(env.window.shows.size(), 1);
    }

    // A tray that registers during the wait is enough.
    void trayAppearingInTimeKeepsTheWindowClosed() {
        LogCapture log;
        Env env;
        env.fallback.start();
        env.clock.advance(1);
        env.trayAvailable = true;
        env.clock.advance(TrayFallback::waitSeconds);
        QVERIFY(env.window.shows.isEmpty());
        QVERIFY(!env.commands.showsInWindow());
        QVERIFY(!log.contains(QStringLiteral("Norvane.App"), QtInfoMsg, TrayFallback::noTrayLogLine));
    }

    // The first-run setup window is already up: it keeps its presentation and shows the commands itself.
    void openSetupWindowKeepsItsPresentation() {
        LogCapture log;
        Env env;
        env.windowVisible = true;
        env.fallback.start();
        env.clock.advance(TrayFallback::waitSeconds);
        QVERIFY(env.window.shows.isEmpty());
        QVERIFY(env.commands.showsInWindow());
        QVERIFY(log.contains(QStringLiteral("Norvane.App"), QtInfoMsg, TrayFallback::noTrayLogLine));
    }

    void destroyedBeforeTheWaitEndsDoesNothing() {
        ManualClock clock;
        FakeSettingsWindow window;
        {
            TrayFallback fallback(
                &clock, [] { return false; }, nullptr, &window);
            fallback.start();
        }
        QCOMPARE(clock.pendingTimers(), 0);
        clock.advance(10);
        QVERIFY(window.shows.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTrayFallback)
#include "tst_tray_fallback.moc"
