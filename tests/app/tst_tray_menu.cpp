// The tray menu and icon: titles, visibility and enabled states by monitoring state, and each action.
#include "app/ShellCommands.h"
#include "app/TrayMenu.h"
#include "fakes/FakeMonitoringControl.h"
#include "fakes/Fakes.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace norvane;
using namespace norvane::testing;

class TestTrayMenu : public QObject {
    Q_OBJECT

    struct Env {
        QTemporaryDir dir;
        QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
        ManualClock clock;
        AppState appState{&settings, nullptr, &clock};
        FakeMonitoringControl monitoring;
        FakeSettingsWindow window;
        int quitCalls = 0;
        ShellCommands commands{&appState, &monitoring, &window, [this] { ++quitCalls; }};
        TrayIcon tray{&commands};
        TrayMenu* menu = tray.trayMenu();

        Env() { monitoring.appState = &appState; }
    };

private slots:
    void initTestCase() {
        // The resume time is shown in the user's locale and time zone (the test runs with TZ=UTC).
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void layout() {
        Env env;
        const QList<QAction*> actions = env.menu->menu()->actions();
        QCOMPARE(actions.size(), 7);
        QCOMPARE(actions[0], env.menu->monitoringAction());
        QCOMPARE(actions[1], env.menu->pauseAction());
        QCOMPARE(actions[2], env.menu->resumeTimeAction());
        QVERIFY(actions[3]->isSeparator());
        QCOMPARE(actions[4]->text(), QStringLiteral("Settings\u2026"));
        QVERIFY(actions[5]->isSeparator());
        QCOMPARE(actions[6]->text(), QStringLiteral("Quit Norvane"));
        for (QAction* action : actions)
            QVERIFY(action->shortcut().isEmpty());
    }

    void states_data() {
        QTest::addColumn<QString>("monitoringTitle");
        QTest::addColumn<bool>("pauseEnabled");
        QTest::addColumn<QString>("pauseTitle");
        QTest::addColumn<bool>("resumeVisible");
        QTest::addColumn<QString>("icon");
        QTest::newRow("off") << "Monitoring: Off" << false << "Pause for 30 min" << false << "eye.slash";
        QTest::newRow("on") << "Monitoring: On" << true << "Pause for 30 min" << false << "eye";
        QTest::newRow("on-paused") << "Monitoring: Off" << true << "Resume Monitoring" << true << "eye.slash";
        QTest::newRow("off-with-pause")
            << "Monitoring: Off" << false << "Resume Monitoring" << true << "eye.slash";
    }

    void states() {
        QFETCH(QString, monitoringTitle);
        QFETCH(bool, pauseEnabled);
        QFETCH(QString, pauseTitle);
        QFETCH(bool, resumeVisible);
        QFETCH(QString, icon);
        Env env;
        const QLatin1String state(QTest::currentDataTag());
        env.appState.setIsMonitoring(state.startsWith(QLatin1String("on")));
        if (state.contains(QLatin1String("paus")))
            env.appState.pauseFor(30);
        QCOMPARE(env.menu->monitoringAction()->text(), monitoringTitle);
        QCOMPARE(env.menu->pauseAction()->text(), pauseTitle);
        QCOMPARE(env.menu->pauseAction()->isEnabled(), pauseEnabled);
        QCOMPARE(env.menu->resumeTimeAction()->isVisible(), resumeVisible);
        QVERIFY(!env.menu->resumeTimeAction()->isEnabled());
        if (resumeVisible) // 15:00 UTC plus 30 minutes, in the user's locale.
            QCOMPARE(env.menu->resumeTimeAction()->text(), QStringLiteral("Resumes at 3:30 PM"));
        QCOMPARE(env.tray.currentIconName(), icon);
        QVERIFY(!env.tray.systemTrayIcon()->icon().pixmap(22).isNull());
    }

    void monitoringItemStartsAndStops() {
        Env env;
        env.commands.togglePause(); // does nothing while off
        QVERIFY(!env.appState.isPaused());
        env.menu->monitoringAction()->trigger();
        QCOMPARE(env.monitoring.startCalls, 1);
        QVERIFY(env.menu->pauseAction()->isEnabled());

        // Paused reads "Off", yet choosing it stops monitoring, since monitoring is still on.
        env.appState.pauseFor(30);
        env.menu->monitoringAction()->trigger();
        QCOMPARE(env.monitoring.stopCalls, 1);
        QCOMPARE(env.monitoring.startCalls, 1);
        QVERIFY(!env.appState.isMonitoring());
        QVERIFY(!env.menu->pauseAction()->isEnabled());
    }

    // Paused by hand, resumed by hand, then paused again until the pause ends by itself after 30 minutes.
    void pauseAndResume() {
        Env env;
        env.appState.setIsMonitoring(true);
        env.menu->pauseAction()->trigger();
        QCOMPARE(*env.appState.pauseResumeTime(), env.clock.now().addSecs(30 * 60));
        QCOMPARE(env.menu->pauseAction()->text(), QStringLiteral("Resume Monitoring"));
        QCOMPARE(env.tray.currentIconName(), QStringLiteral("eye.slash"));
        env.menu->pauseAction()->trigger();
        QVERIFY(!env.appState.pauseResumeTime());
        QCOMPARE(env.menu->pauseAction()->text(), QStringLiteral("Pause for 30 min"));
        QCOMPARE(env.tray.currentIconName(), QStringLiteral("eye"));

        env.menu->pauseAction()->trigger();
        env.clock.advance(30 * 60 - 1);
        QCOMPARE(env.menu->pauseAction()->text(), QStringLiteral("Resume Monitoring"));
        env.clock.advance(1);
        QCOMPARE(env.menu->pauseAction()->text(), QStringLiteral("Pause for 30 min"));
        QVERIFY(!env.menu->resumeTimeAction()->isVisible());
        QCOMPARE(env.menu->monitoringAction()->text(), QStringLiteral("Monitoring: On"));
    }

    // Settings opens the standard window; Quit ends the application only after the menu has closed.
    void settingsAndQuit() {
        Env env;
        env.menu->settingsAction()->trigger();
        QCOMPARE(env.window.shows, QList<SettingsPresentationMode>{SettingsPresentationMode::Standard});
        env.menu->quitAction()->trigger();
        QCOMPARE(env.quitCalls, 0);
        QTRY_COMPARE_WITH_TIMEOUT(env.quitCalls, 1, 2000);
    }
};

QTEST_MAIN(TestTrayMenu)
#include "tst_tray_menu.moc"
