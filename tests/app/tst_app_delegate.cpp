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

using Shows = QList<SettingsPresentationMode>;

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
        QTest::addColumn<Shows>("expected");
        const Shows setup{SettingsPresentationMode::Setup}, standard{SettingsPresentationMode::Standard};
        QTest::newRow("blank key") << QString() << QStringList{"norvane"} << setup;
        QTest::newRow("blank key, --open-settings")
            << QString() << QStringList{"norvane", "--open-settings"} << setup;
        QTest::newRow("key of spaces") << QStringLiteral(" \n\t \r\n") << QStringList{"norvane"} << setup;
        QTest::newRow("key") << QStringLiteral("k") << QStringList{"norvane"} << Shows{};
        QTest::newRow("padded key, --open-settings among others")
            << QStringLiteral("  k \n") << QStringList{"norvane", "-v", "--open-settings", "x"} << standard;
        QTest::newRow("key, switch with a value")
            << "k" << QStringList{"norvane", "--open-settings=1"} << Shows{};
        QTest::newRow("key, switch in other case")
            << "k" << QStringList{"norvane", "--OPEN-SETTINGS"} << Shows{};
    }

    // The pure decision and the delegate that acts on it agree, row for row; nothing else starts at launch.
    void decision() {
        QFETCH(QString, key);
        QFETCH(QStringList, arguments);
        QFETCH(Shows, expected);
        const std::optional<SettingsPresentationMode> decided = startupSettingsMode(key, arguments);
        QCOMPARE(decided ? Shows{*decided} : Shows{}, expected);

        Env env(key);
        env.delegate->applicationDidFinishLaunching(arguments);
        QCOMPARE(env.window.shows, expected);
        QCOMPARE(env.monitoring.startCalls, 0);
    }

    void secondLaunchAndQuit() {
        Env env(QStringLiteral("k"));
        env.delegate->applicationDidFinishLaunching({QStringLiteral("norvane")});
        env.delegate->secondLaunch({QStringLiteral("norvane")});
        QCOMPARE(env.window.shows, Shows{SettingsPresentationMode::Standard});
        QVERIFY(!AppDelegate::applicationShouldTerminateAfterLastWindowClosed());

        env.monitoring.startFromUserRequest();
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
        QCOMPARE(env.monitoring.stopCalls, 1);
        QVERIFY(!env.appState->isMonitoring());
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_app_delegate.moc"
