// A second launch hands its arguments to the running instance over a per-user local socket.
#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace norvane;

class TestSingleInstance : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString socketName(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private slots:
    void handOverReachesTheRunningInstance() {
        const QString name = socketName("handover.socket");
        SingleInstance running(name);
        QVERIFY(running.listen());
        QSignalSpy received(&running, &SingleInstance::argumentsReceived);

        const QStringList arguments{QStringLiteral("norvane"), QStringLiteral("--open-settings"),
                                    QStringLiteral("caf\u00e9 \"quoted\"\n")};
        QVERIFY(SingleInstance::handOver(name, arguments, 2000));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
        QCOMPARE(received.first().first().toStringList(), arguments);

        // A later launch is heard as well.
        QVERIFY(SingleInstance::handOver(name, {QStringLiteral("norvane")}, 2000));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 2, 5000);
    }

    void socketIsTheUsersAlone() {
        const QString name = socketName("mode.socket");
        SingleInstance running(name);
        QVERIFY(running.listen());
        const QFile::Permissions mode = QFile::permissions(running.fullServerName());
        const QFile::Permissions ownerGroupOther = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                   QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                                   QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(mode & ownerGroupOther, QFile::ReadOwner | QFile::WriteOwner); // 0600
    }

    void nobodyListeningMeansThisLaunchRuns() {
        QVERIFY(!SingleInstance::handOver(socketName("nobody.socket"), {QStringLiteral("norvane")}, 500));
    }

    void secondServerCannotTakeOverARunningOne() {
        const QString name = socketName("taken.socket");
        SingleInstance first(name);
        QVERIFY(first.listen());
        SingleInstance second(name);
        QVERIFY(!second.listen());
        QSignalSpy received(&first, &SingleInstance::argumentsReceived);
        QVERIFY(SingleInstance::handOver(name, {QStringLiteral("x")}, 2000));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
    }

    // A socket file left behind by an instance that died does not keep the next one from starting.
    void leftoverSocketFileIsReplaced() {
        const QString name = socketName("stale.socket");
        {
            QFile leftover(name);
            QVERIFY(leftover.open(QIODevice::WriteOnly));
        }
        QVERIFY(!SingleInstance::handOver(name, {QStringLiteral("norvane")}, 500));
        SingleInstance running(name);
        QVERIFY(running.listen());
        QSignalSpy received(&running, &SingleInstance::argumentsReceived);
        QVERIFY(SingleInstance::handOver(name, {QStringLiteral("again")}, 2000));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
        QCOMPARE(received.first().first().toStringList(), QStringList{QStringLiteral("again")});
    }

    void unreadableOrOversizedMessagesAreIgnored() {
        const QString name = socketName("garbage.socket");
        SingleInstance running(name);
        QVERIFY(running.listen());
        QSignalSpy received(&running, &SingleInstance::argumentsReceived);

        QLocalSocket garbage;
        garbage.connectToServer(name);
        QVERIFY(garbage.waitForConnected(2000));
        garbage.write("{\"not\": \"a list\"}\n");
        QVERIFY(garbage.waitForBytesWritten(2000));
        QTRY_COMPARE_WITH_TIMEOUT(garbage.state(), QLocalSocket::UnconnectedState, 5000);

        QLocalSocket flood;
        flood.connectToServer(name);
        QVERIFY(flood.waitForConnected(2000));
        flood.write(QByteArray(SingleInstance::maxMessageBytes + 4096, 'a'));
        QTRY_COMPARE_WITH_TIMEOUT(flood.state(), QLocalSocket::UnconnectedState, 5000);
        QCOMPARE(received.size(), 0);

        // The server still serves well-formed hand-overs.
        QVERIFY(SingleInstance::handOver(name, {QStringLiteral("ok")}, 2000));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
    }

    void defaultNameIsInTheRuntimeFolder() {
        const QString name = SingleInstance::defaultServerName();
        QVERIFY(name.endsWith(QStringLiteral("/norvane.socket")));
        QVERIFY(QFileInfo(name).isAbsolute());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
