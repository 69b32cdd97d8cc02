// Start-up decisions, the second-launch hand-over to the settings window, and stopping on quit.
#include "app/AppDelegate.h"
#include "app/StartupDecision.h"
#include "fakes/FakeMonitoringControl.h"
#include "fakes/Fakes.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace norvane;
using namespace norvane::testing;

Q_DECLARE_METATYPE(std::optional<norvane::SettingsPresentationMode>)

class TestAppDelegate : public QObject {
    Q_OBJECT

    struct Env {
        QTemporaryDir dir;
        QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
        ManualClock clock;
        std::unique_ptr<AppState> appState;
        FakeMonitoringControl monitoring;
        FakeSettingsWindow window;
        std::unique_ptr<AppDelegate> delegate;

        explicit Env(const QString& storedKey) {
            if (!storedKey.isNull())
                settings.setValue(AppState::apiKeyKey, storedKey);
            appState = std::make_unique<AppState>(&settings, nullptr, &clock);
            monitoring.appState = appState.get();
            delegate = std::make_unique<AppDelegate>(appState.get(), &monitoring, &window);
        }
    };

private slots:
    void decision_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<std::optional<SettingsPresentationMode>>("expected");
        const QString app = QStringLiteral("norvane");
        const auto setup = std::optional(SettingsPresentationMode::Setup);
        const auto standard = std::optional(SettingsPresentationMode::Standard);
        const std::optional<SettingsPresentationMode> none;
        QTest::newRow("blank key") << QString() << QStringList{app} << setup;
        QTest::newRow("blank key, --open-settings")
            << QString() << QStringList{app, "--open-settings"} << setup;
        QTest::newRow("key of spaces") << QStringLiteral("    ") << QStringList{app} << setup;
        QTest::newRow("key of spaces and newlines, --open-settings")
            << QStringLiteral(" \n\t \r\n") << QStringList{app, "--open-settings"} << setup;
        QTest::newRow("key, no arguments") << QStringLiteral("AIza-key") << QStringList{app} << none;
        QTest::newRow("key, --open-settings")
            << QStringLiteral("AIza-key") << QStringList{app, "--open-settings"} << standard;
        QTest::newRow("padded key, --open-settings among others")
            << QStringLiteral("  AIza-key \n") << QStringList{app, "-v", "--open-settings", "x"} << standard;
        QTest::newRow("key, switch with a value")
            << QStringLiteral("k") << QStringList{app, "--open-settings=1"} << none;
        QTest::newRow("key, switch in other case")
            << QStringLiteral("k") << QStringList{app, "--OPEN-SETTINGS"} << none;
    }

    // The pure decision and the delegate that acts on it agree, row for row.
    void decision() {
        QFETCH(QString, key);
        QFETCH(QStringList, arguments);
        QFETCH(std::optional<SettingsPresentationMode>, expected);
        QCOMPARE(startupSettingsMode(key, arguments), expected);

        Env env(key);
        env.delegate->applicationDidFinishLaunching(arguments);
        if (expected)
            QCOMPARE(env.window.shows, QList<SettingsPresentationMode>{*expected});
        else
            QVERIFY(env.window.shows.isEmpty());
        // Nothing else starts at launch.
        QCOMPARE(env.monitoring.startCalls, 0);
        QVERIFY(!env.appState->isMonitoring());
    }

    void secondLaunchShowsStandardSettings() {
        Env env(QStringLiteral("k"));
        env.delegate->applicationDidFinishLaunching({QStringLiteral("norvane")});
        QVERIFY(env.window.shows.isEmpty());
        env.delegate->secondLaunch({QStringLiteral("norvane")});
        QCOMPARE(env.window.shows, QList<SettingsPresentationMode>{SettingsPresentationMode::Standard});
    }

    void quittingStopsMonitoring() {
        Env env(QStringLiteral("k"));
        env.monitoring.startFromUserRequest();
        QVERIFY(env.appState->isMonitoring());
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
        QCOMPARE(env.monitoring.stopCalls, 1);
        QVERIFY(!env.appState->isMonitoring());
    }

    void closingTheLastWindowDoesNotQuit() {
        QVERIFY(!AppDelegate::applicationShouldTerminateAfterLastWindowClosed());
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_app_delegate.moc"
