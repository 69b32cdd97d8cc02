// The shell around the windows: the start-up decision, the tray menu and icon, the no-tray fallback, the
// second-launch hand-over over a per-user local socket, and stopping on quit.
#include "app/AppDelegate.h"
#include "app/SingleInstance.h"
#include "app/StartupDecision.h"
#include "app/TrayFallback.h"
#include "app/TrayMenu.h"
#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"

#include <QApplication>
#include <QLocalSocket>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace norvane;
using namespace norvane::testing;
using namespace Qt::StringLiterals;
using Shows = QList<SettingsPresentationMode>;

namespace {

struct Env {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(u"settings.ini"_s), QSettings::IniFormat};
    ManualClock clock;
    std::unique_ptr<AppState> appState;
    FakeMonitoringControl monitoring;
    FakeSettingsWindow window;
    int quitCalls = 0;
    std::unique_ptr<ShellCommands> commands;

    explicit Env(const QString& storedKey = u"k"_s) {
        settings.setValue(AppState::apiKeyKey, storedKey);
        appState = std::make_unique<AppState>(&settings, nullptr, &clock);
        monitoring.appState = appState.get();
        commands =
            std::make_unique<ShellCommands>(appState.get(), &monitoring, &window, [this] { ++quitCalls; });
    }
};

} // namespace

class TestShell : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The resume time is shown in the user's locale and time zone (the test runs with TZ=UTC).
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void startupDecision_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<Shows>("expected");
        const Shows setup{SettingsPresentationMode::Setup}, standard{SettingsPresentationMode::Standard};
        QTest::newRow("no key") << ""
                                << "norvane" << setup;
        QTest::newRow("no key, --open-settings") << ""
                                                 << "norvane --open-settings" << setup;
        QTest::newRow("key of spaces") << " \n\t \r\n"
                                       << "norvane" << setup;
        QTest::newRow("key") << "k"
                             << "norvane" << Shows{};
        QTest::newRow("padded key, switch among others") << " k \n"
                                                         << "norvane -v --open-settings x" << standard;
        QTest::newRow("switch with a value") << "k"
                                             << "norvane --open-settings=1" << Shows{};
        QTest::newRow("switch in other case") << "k"
                                              << "norvane --OPEN-SETTINGS" << Shows{};
    }

    // The decision and the delegate that acts on it agree, row for row; nothing else starts at launch.
    void startupDecision() {
        QFETCH(QString, key);
        QFETCH(QString, arguments);
        QFETCH(Shows, expected);
        const std::optional<SettingsPresentationMode> decided =
            startupSettingsMode(key, arguments.split(u' '));
        QCOMPARE(decided ? Shows{*decided} : Shows{}, expected);
        Env env(key);
        AppDelegate(env.appState.get(), &env.monitoring, &env.window)
            .applicationDidFinishLaunching(arguments.split(u' '));
        QCOMPARE(env.window.shows, expected);
        QCOMPARE(env.monitoring.startCalls, 0);
        // A second launch handed over to the running copy opens the settings: setup while there is no key.
        env.window.shows.clear();
        AppDelegate(env.appState.get(), &env.monitoring, &env.window).secondLaunch(arguments.split(u' '));
        QCOMPARE(env.window.shows, Shows{expected.value(0, SettingsPresentationMode::Standard)});
    }

    void trayMenu_data() {
        QTest::addColumn<bool>("monitoring");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<QString>("menu"); // the first entries shown, enabled ones marked with a star
        QTest::addColumn<QString>("icon");
        QTest::newRow("off") << false << false << "Monitoring: Off* | Pause for 30 min"
                             << "eye.slash";
        QTest::newRow("on") << true << false << "Monitoring: On* | Pause for 30 min*"
                            << "eye";
        QTest::newRow("on, paused") << true << true
                                    << "Monitoring: Off* | Resume Monitoring* | Resumes at 3:30 PM"
                                    << "eye.slash";
        QTest::newRow("off with a pause")
            << false << true << "Monitoring: Off* | Resume Monitoring | Resumes at 3:30 PM"
            << "eye.slash";
    }

    // Titles, enabled states and the icon follow the state; no entry has a shortcut.
    void trayMenu() {
        QFETCH(bool, monitoring);
        QFETCH(bool, paused);
        QFETCH(QString, menu);
        QFETCH(QString, icon);
        Env env;
        TrayIcon tray(env.commands.get());
        env.appState->setIsMonitoring(monitoring);
        if (paused)
            env.appState->pauseFor(30); // 15:00 UTC plus 30 minutes
        QStringList shown;
        for (QAction* action : tray.trayMenu()->menu()->actions()) {
            QVERIFY(action->shortcut().isEmpty());
            if (action->isVisible())
                shown.append(action->isSeparator() ? u"-"_s
                                                   : action->text() + (action->isEnabled() ? "*" : ""));
        }
        QCOMPARE(shown.join(u" | "), menu + u" | - | Settings\u2026* | - | Quit Norvane*"_s);
        QCOMPARE(tray.currentIconName(), icon);
        QVERIFY(!tray.systemTrayIcon()->icon().pixmap(22).isNull());
    }

    // Pause is for 30 minutes, and ends by hand; "Monitoring" stops a paused session although it reads
    // "Off"; Settings opens the standard window; Quit waits for the menu to close.
    void trayMenuActions() {
        Env env;
        TrayIcon tray(env.commands.get());
        TrayMenu* menu = tray.trayMenu();
        env.commands->togglePause(); // nothing to pause while off
        QVERIFY(!env.appState->isPaused());
        menu->monitoringAction()->trigger();
        QCOMPARE(env.monitoring.startCalls, 1);
        menu->pauseAction()->trigger();
        QCOMPARE(*env.appState->pauseResumeTime(), env.clock.now().addSecs(30 * 60));
        menu->pauseAction()->trigger();
        QVERIFY(!env.appState->isPaused());
        menu->pauseAction()->trigger();
        menu->monitoringAction()->trigger();
        QCOMPARE(env.monitoring.stopCalls, 1);
        menu->settingsAction()->trigger();
        QCOMPARE(env.window.shows, Shows{SettingsPresentationMode::Standard});
        menu->quitAction()->trigger();
        QCOMPARE(env.quitCalls, 0);
        QTRY_COMPARE_WITH_TIMEOUT(env.quitCalls, 1, 2000);
    }

    // Three seconds after start, with still no tray, the window opens with the commands, once. A tray
    // showing up meanwhile is enough; a setup window already open keeps its presentation and gains them.
    void noTrayFallback() {
        for (const auto& [trayAppears, setupOpen, engaged, shows] :
             {std::tuple(false, false, true, 1), {true, false, false, 0}, {false, true, true, 0}}) {
            LogCapture log;
            Env env;
            bool tray = false;
            TrayFallback fallback(
                &env.clock, [&] { return tray; }, env.commands.get(), &env.window, [&] { return setupOpen; });
            fallback.start();
            env.clock.advance(1);
            tray = trayAppears;
            env.clock.advance(TrayFallback::waitSeconds - 1.1);
            QVERIFY(env.window.shows.isEmpty() && !env.commands->showsInWindow());
            env.clock.advance(0.1);
            QCOMPARE(env.commands->showsInWindow(), engaged);
            QCOMPARE(log.contains(u"Norvane.App"_s, QtInfoMsg, TrayFallback::noTrayLogLine), engaged);
            env.clock.advance(60);
            QCOMPARE(env.window.shows, Shows(shows, SettingsPresentationMode::Standard));
        }
        Env env;
        TrayFallback(
            &env.clock, [] { return false; }, nullptr, &env.window)
            .start(); // gone before the wait ends
        QCOMPARE(env.clock.pendingTimers(), 0);
    }

    // Only the owner may use the socket; a socket file left by an instance that died is replaced; a second
    // server cannot take over; unreadable or oversized messages are dropped; arguments arrive intact.
    void secondLaunchHandOver() {
        QTemporaryDir dir;
        const QString name = dir.filePath(u"norvane.socket"_s);
        QVERIFY(QFile(name).open(QIODevice::WriteOnly));
        QVERIFY(!SingleInstance::handOver(name, {u"norvane"_s}, 500));
        SingleInstance running(name);
        QVERIFY(running.listen());
        QSignalSpy received(&running, &SingleInstance::argumentsReceived);
        QCOMPARE(QFile::permissions(name) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(!SingleInstance(name).listen());
        for (const QByteArray& message : {QByteArray("{\"not\": \"a list\"}\n"),
                                          QByteArray(SingleInstance::maxMessageBytes + 4096, 'a')}) {
            QLocalSocket sender;
            sender.connectToServer(name);
            QVERIFY(sender.waitForConnected(2000));
            sender.write(message);
            QTRY_COMPARE_WITH_TIMEOUT(sender.state(), QLocalSocket::UnconnectedState, 5000);
        }
        const QStringList arguments{u"norvane"_s, u"--open-settings"_s, u"caf\u00e9 \"quoted\"\n"_s};
        QVERIFY(SingleInstance::handOver(name, arguments, 2000));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
        QCOMPARE(received.first().first().toStringList(), arguments);
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
