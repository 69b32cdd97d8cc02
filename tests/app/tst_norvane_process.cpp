// The real program under a real X server: it reads the stored key and opens the window the switch asks
// for; a second launch hands its arguments over and exits. (Its end on SIGTERM is checked end to end.)
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestNorvaneProcess : public QObject {
    Q_OBJECT

    QTemporaryDir config, runtime;

    bool start(QProcess& process) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(NORVANE_BINARY), {QStringLiteral("--open-settings")});
        return process.waitForStarted();
    }

private slots:
    void secondLaunchHandsOver() {
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSettings(config.filePath(QStringLiteral("Norvane/Norvane.ini")), QSettings::IniFormat)
            .setValue(QStringLiteral("gemini_api_key"), QStringLiteral("AIza-process-test"));
        QProcess first;
        QVERIFY(start(first));
        const QStringList search{QStringLiteral("search"), QStringLiteral("--name"),
                                 QStringLiteral("^Norvane Settings$")};
        QTRY_VERIFY_WITH_TIMEOUT(QProcess::execute(QStringLiteral("xdotool"), search) == 0, 20000);
        QVERIFY(QFile::exists(runtime.filePath(QStringLiteral("norvane.socket"))));

        QProcess second;
        QVERIFY(start(second));
        QVERIFY(second.waitForFinished(20000));
        QVERIFY(second.exitCode() == 0 && second.readAll().contains("Norvane is already running"));
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate();
        QVERIFY(first.waitForFinished(20000));
        QVERIFY2(first.readAll().contains("Another launch of Norvane handed over"), "no hand-over");
    }
};

QTEST_GUILESS_MAIN(TestNorvaneProcess)
#include "tst_norvane_process.moc"
