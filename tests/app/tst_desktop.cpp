// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// Norvane on the desktop: its session-bus object (on the private bus dbus-run-session gives this test),
// the notification when analyses keep failing (virtual time), and the autostart entry, checked with the
// desktop's own validator.
#include "app/FailureNotifier.h"
#include "app/LoginStartup.h"
#include "app/SessionBusService.h"
#include "app/StatusReport.h"
#include "fakes/Fakes.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace norvane;
using namespace norvane::testing;
using namespace Qt::StringLiterals;

namespace {
struct FakeNotifier : DesktopNotifying {
    QStringList bodies;
    void notify(const QString&, const QString& body) override { bodies << body; }
};
// The desktop's notification service, as far as Norvane uses it.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList received;
public Q_SLOTS:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        received << app + u'|' + summary + u'|' + body;
        return 1;
    }
};
} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
    QList<QVariantMap> m_changes;

public Q_SLOTS:
    void propertiesChanged(const QString&, const QVariantMap& changed, const QStringList&) {
        m_changes << changed;
    }

private Q_SLOTS:
    void sessionBusObject() {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(u"settings.ini"_s), QSettings::IniFormat);
        ManualClock clock;
        AppState state(&settings, nullptr, &clock);
        FakeMonitoringControl monitoring;
        monitoring.appState = &state;
        FakeSettingsWindow window;
        ShellCommands commands(&state, &monitoring, &window, {});
        SessionBusService service(&state, &commands, &monitoring);
        QVERIFY(service.registerOn(QDBusConnection::sessionBus()));

        // The client is a connection of its own, so every call goes through the bus daemon; the name
        // is taken for a second Norvane there.
        QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"client"_s);
        QVERIFY(!SessionBusService(&state, &commands, &monitoring).registerOn(client));
        const auto method = [&](const QString& name, const QVariantList& args = {},
                                const QString& interface = SessionBusService::interfaceName) {
            auto message = QDBusMessage::createMethodCall(SessionBusService::serviceName,
                                                          SessionBusService::objectPath, interface, name);
            message.setArguments(args);
            return client.call(message, QDBus::BlockWithGui);
        };
        const auto property = [&](const QString& name) {
            const auto reply = method(u"Get"_s, {SessionBusService::interfaceName, name},
                                      u"org.freedesktop.DBus.Properties"_s);
            return reply.arguments().value(0).value<QDBusVariant>().variant();
        };
        QVERIFY(client.connect(SessionBusService::serviceName, SessionBusService::objectPath,
                               u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s, this,
                               SLOT(propertiesChanged(QString, QVariantMap, QStringList))));

        QCOMPARE(property(u"Monitoring"_s), QVariant(false));
        QCOMPARE(method(u"SetMonitoring"_s, {true}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(property(u"Monitoring"_s), QVariant(true));
        QTRY_COMPARE(m_changes.size(), 1);
        QCOMPARE(m_changes.at(0).value(u"Monitoring"_s), QVariant(true));

        for (uint minutes : {0u, 1441u})
            QCOMPARE(method(u"Pause"_s, {minutes}).errorName(), u"org.freedesktop.DBus.Error.InvalidArgs"_s);
        QVERIFY(!state.isPaused());
        QCOMPARE(method(u"Pause"_s, {1440u}).type(), QDBusMessage::ReplyMessage);
        // Only what changed: the pause, its end and the diagnostic line, not the monitoring flag.
        QTRY_COMPARE(m_changes.size(), 2);
        QCOMPARE(m_changes.at(1).keys(), (QStringList{u"LastDiagnostic"_s, u"Paused"_s, u"PausedUntil"_s}));
        QCOMPARE(m_changes.at(1).value(u"PausedUntil"_s), QVariant(u"2026-12-05T15:00:00Z"_s));
        // The command line's status, word for word.
        const QJsonObject status = StatusReport::make(state, &monitoring);
        QCOMPARE(method(u"Status"_s).arguments().value(0).toString(), StatusReport::sentence(status));
        QCOMPARE(QJsonDocument::fromJson(method(u"StatusJson"_s).arguments().value(0).toString().toUtf8())
                     .object(),
                 status);
    }

    void failureNotificationsAreRationed() {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(u"settings.ini"_s), QSettings::IniFormat);
        ManualClock clock;
        AppState state(&settings, nullptr, &clock);
        const QString key = u"AIzaSy-secret-key-0123"_s;
        state.setApiKey(key);
        FakeNotifier notifier;
        FailureNotifier failures(&state, &notifier, &clock);
        const auto fail = [&](int times) {
            for (int i = 0; i < times; ++i)
                state.setNudgeDiagnostics(NudgePipelineState::Failed, u"API key not valid: "_s + key);
        };

        fail(2);
        QCOMPARE(notifier.bodies.size(), 0);
        fail(1);
        QCOMPARE(notifier.bodies.size(), 1);
        QVERIFY(notifier.bodies.at(0).contains(u"check the API key"_s));
        QVERIFY(!notifier.bodies.at(0).contains(key));
        fail(3);
        clock.advance(FailureNotifier::noticeIntervalSeconds - 1);
        fail(1);
        QCOMPARE(notifier.bodies.size(), 1);
        clock.advance(1);
        fail(1);
        QCOMPARE(notifier.bodies.size(), 2);

        // A success starts the count again; a card held back by the budget neither counts nor resets.
        clock.advance(FailureNotifier::noticeIntervalSeconds);
        state.setNudgeDiagnostics(NudgePipelineState::NoOpportunity, u"Nothing to say."_s);
        fail(2);
        state.setNudgeDiagnostics(NudgePipelineState::WaitingForActivity, u"Nudge budget reached."_s);
        QCOMPARE(notifier.bodies.size(), 2);
        fail(1);
        QCOMPARE(notifier.bodies.size(), 3);
    }

    void desktopNotification() {
        NotificationServer server;
        QDBusConnection desktop = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"desktop"_s);
        QVERIFY(desktop.registerObject(u"/org/freedesktop/Notifications"_s, &server,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(desktop.registerService(u"org.freedesktop.Notifications"_s));
        DesktopNotifications().notify(u"Summary"_s, u"Body."_s);
        QTRY_COMPARE(server.received, QStringList{u"Norvane|Summary|Body."_s});
    }

    void autostartEntry_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("execLine");
        QTest::newRow("plain") << u"/opt/norvane/bin/norvane"_s << u"Exec=/opt/norvane/bin/norvane"_s;
        QTest::newRow("space and dollar")
            << u"/home/a b/$x/norvane"_s << uR"(Exec="/home/a b/\\$x/norvane")"_s;
        QTest::newRow("percent") << u"/tmp/100%/norvane"_s << u"Exec=/tmp/100%%/norvane"_s;
    }

    void autostartEntry() {
        QFETCH(QString, executable);
        QFETCH(QString, execLine);
        QTemporaryDir home;
        const QString folder = home.filePath(u"config/autostart"_s);
        LoginStartup startup(folder, executable);
        startup.setEnabled(true);
        QTRY_VERIFY(QFile::exists(startup.entryPath()));
        QFile entry(startup.entryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(entry.readAll()).split(u'\n');
        QCOMPARE(lines.filter(QRegularExpression(u"^Exec="_s)), QStringList{execLine});
        QVERIFY(lines.contains(u"Name=Norvane"_s));
        QCOMPARE(int(entry.permissions() & 0x7777), 0x6644); // rw-r--r--

        QProcess validate;
        validate.start(u"desktop-file-validate"_s, {startup.entryPath()});
        QVERIFY(validate.waitForFinished());
        QCOMPARE(validate.readAll() + validate.readAllStandardError(), QByteArray());
        QCOMPARE(validate.exitCode(), 0);

        LoginStartup reopened(folder, executable);
        reopened.refresh();
        QTRY_VERIFY(reopened.isEnabled());
        reopened.setEnabled(false);
        QTRY_VERIFY(!QFile::exists(startup.entryPath()));

        // A folder that cannot be made: the box goes back and says why.
        QFile(home.filePath(u"file"_s)).open(QIODevice::WriteOnly);
        LoginStartup blocked(home.filePath(u"file/autostart"_s), executable);
        blocked.setEnabled(true);
        QTRY_VERIFY(!blocked.problem().isEmpty());
        QVERIFY(!blocked.isEnabled());
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
