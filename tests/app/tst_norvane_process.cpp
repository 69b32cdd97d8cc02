// The real program under a real X server: the launch decision opens the right window, a second launch
// hands its arguments over and exits, and SIGTERM stops monitoring before the process ends.
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestNorvaneProcess : public QObject {
    Q_OBJECT

    struct Home {
        QTemporaryDir config;
        QTemporaryDir runtime;

        void storeKey(const QString& key) const {
            QSettings(config.filePath(QStringLiteral("Norvane/Norvane.ini")), QSettings::IniFormat)
                .setValue(QStringLiteral("gemini_api_key"), key);
        }
        bool start(QProcess& process, const QStringList& arguments) const {
            QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            process.setProcessEnvironment(env);
            process.setProcessChannelMode(QProcess::MergedChannels);
            process.start(QStringLiteral(NORVANE_BINARY), arguments);
            return process.waitForStarted();
        }
    };

    static bool windowTitled(const QString& title) {
        QProcess search;
        search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), title});
        return search.waitForFinished(5000) && search.exitCode() == 0 &&
               !search.readAllStandardOutput().trimmed().isEmpty();
    }

private slots:
    void blankKeyOpensSetup() {
        Home home;
        QProcess norvane;
        QVERIFY(home.start(norvane, {QStringLiteral("--open-settings")}));
        QTRY_VERIFY_WITH_TIMEOUT(windowTitled(QStringLiteral("^Set Up Norvane$")), 20000);
        QVERIFY(!windowTitled(QStringLiteral("^Norvane Settings$")));
        norvane.terminate();
        if (!norvane.waitForFinished(10000))
            norvane.kill();
    }

    void secondLaunchHandsOverAndExits() {
        Home home;
        home.storeKey(QStringLiteral("AIza-process-test"));
        QProcess first;
        QVERIFY(home.start(first, {QStringLiteral("--open-settings")}));
        // The stored key is read: the switch opens the standard window, not setup.
        QTRY_VERIFY_WITH_TIMEOUT(windowTitled(QStringLiteral("^Norvane Settings$")), 20000);
        QVERIFY(QFile::exists(home.runtime.filePath(QStringLiteral("norvane.socket"))));

        QProcess second;
        QVERIFY(home.start(second, {QStringLiteral("--open-settings")}));
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(second.readAll().contains("Norvane is already running"));
        QCOMPARE(first.state(), QProcess::Running);

        // SIGTERM ends it through the same path as "Quit": monitoring stops first.
        first.terminate();
        QVERIFY(first.waitForFinished(20000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        const QByteArray log = first.readAll();
        QVERIFY2(log.contains("Norvane.App: Another launch of Norvane handed over"), log.constData());
        QVERIFY2(log.contains("Norvane.MonitoringService: Monitoring stopped"), log.constData());
        QVERIFY2(!log.contains("AIza-process-test"), log.constData());
    }
};

QTEST_GUILESS_MAIN(TestNorvaneProcess)
#include "tst_norvane_process.moc"
