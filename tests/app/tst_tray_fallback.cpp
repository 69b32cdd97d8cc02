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
    void fallback_data() {
        QTest::addColumn<bool>("trayAppears");
        QTest::addColumn<bool>("setupWindowOpen");
        QTest::addColumn<bool>("engaged");
        QTest::addColumn<int>("shows");
        QTest::newRow("no tray: the window opens with the commands") << false << false << true << 1;
        QTest::newRow("a tray appearing during the wait is enough") << true << false << false << 0;
        // The first-run window keeps its presentation and shows the commands itself.
        QTest::newRow("setup window already open") << false << true << true << 0;
    }

    void fallback() {
        QFETCH(bool, trayAppears);
        QFETCH(bool, setupWindowOpen);
        QFETCH(bool, engaged);
        QFETCH(int, shows);
        LogCapture log;
        Env env;
        env.windowVisible = setupWindowOpen;
        env.fallback.start();
        env.clock.advance(1);
        env.trayAvailable = trayAppears;
        env.clock.advance(TrayFallback::waitSeconds - 1.1);
        QVERIFY(env.window.shows.isEmpty());
        QVERIFY(!env.commands.showsInWindow());

        env.clock.advance(0.1);
        QCOMPARE(env.window.shows.size(), shows);
        if (shows)
            QCOMPARE(env.window.shows.first(), SettingsPresentationMode::Standard);
        QCOMPARE(env.commands.showsInWindow(), engaged);
        QCOMPARE(log.contains(QStringLiteral("Norvane.App"), QtInfoMsg, TrayFallback::noTrayLogLine),
                 engaged);
        env.clock.advance(60); // It happens once.
        QCOMPARE(env.window.shows.size(), shows);
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
