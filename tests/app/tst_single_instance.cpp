// A second launch hands its arguments to the running instance over a per-user local socket.
#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QFile>
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
        const QFile::Permissions all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                       QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                       QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(QFile::permissions(running.fullServerName()) & all, QFile::ReadOwner | QFile::WriteOwner);

        const QStringList arguments{QStringLiteral("norvane"), QStringLiteral("--open-settings"),
                                    QStringLiteral("caf\u00e9 \"quoted\"\n")};
        QVERIFY(SingleInstance::handOver(name, arguments, 2000));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
        QCOMPARE(received.first().first().toStringList(), arguments);

        // A second server cannot take over; later launches still reach the first.
        SingleInstance second(name);
        QVERIFY(!second.listen());
        QVERIFY(SingleInstance::handOver(name, {QStringLiteral("norvane")}, 2000));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 2, 5000);
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
    }

    void unreadableOrOversizedMessagesAreIgnored() {
        const QString name = socketName("garbage.socket");
        SingleInstance running(name);
        QVERIFY(running.listen());
        QSignalSpy received(&running, &SingleInstance::argumentsReceived);

        for (const QByteArray& message : {QByteArray("{\"not\": \"a list\"}\n"),
                                          QByteArray(SingleInstance::maxMessageBytes + 4096, 'a')}) {
            QLocalSocket sender;
            sender.connectToServer(name);
            QVERIFY(sender.waitForConnected(2000));
            sender.write(message);
            QTRY_COMPARE_WITH_TIMEOUT(sender.state(), QLocalSocket::UnconnectedState, 5000);
        }
        QCOMPARE(received.size(), 0);

        // The server still serves well-formed hand-overs.
        QVERIFY(SingleInstance::handOver(name, {QStringLiteral("ok")}, 2000));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
