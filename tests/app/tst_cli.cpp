// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// The command line: what the arguments ask for, and the real norvane binary as a second process talking to
// a listening SingleInstance with RemoteCommands in this process (or to nobody, or to a socket that never
// answers).
#include "app/CommandLine.h"
#include "app/RemoteCommands.h"
#include "app/SingleInstance.h"
#include "fakes/Fakes.h"

#include <QJsonDocument>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace norvane;
using namespace norvane::testing;
using namespace Qt::StringLiterals;
using Outcome = CommandLine::Outcome;

namespace {

// The real binary's exit code and its first line: on standard output when it succeeded, else on standard
// error. Its runtime folder (and so its socket) is `runtime`.
std::pair<int, QString> runNorvane(const QString& runtime, const char* arguments) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* folder : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        env.insert(QLatin1String(folder), runtime);
    env.insert(u"QT_LOGGING_RULES"_s, u"Norvane.*.info=false"_s); // the log shares standard error
    // A terminal without a display, as over SSH: asking the running copy needs none.
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.remove(u"DISPLAY"_s);
    env.remove(u"WAYLAND_DISPLAY"_s);
    process.setProcessEnvironment(env);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral(NORVANE_BINARY), QProcess::splitCommand(QString::fromUtf8(arguments)));
    // The server in this process answers while the event loop runs here.
    if (!finished.wait(20000))
        process.kill();
    const QByteArray text =
        process.exitCode() == 0 ? process.readAllStandardOutput() : process.readAllStandardError();
    return {process.exitCode(), QString::fromUtf8(text).section(u'\n', 0, 0)};
}

// Everything a raw client gets back for `message`, until the server closes.
QByteArray exchange(const QString& name, const QByteArray& message) {
    QLocalSocket socket;
    socket.connectToServer(name);
    socket.write(message);
    QByteArray received;
    const auto closed = [&] {
        return (received += socket.readAll(), socket.state() == QLocalSocket::UnconnectedState);
    };
    return QTest::qWaitFor(closed, 5000) ? received + socket.readAll() : QByteArray();
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Each option becomes its request; bad values, unknown options, stray words and two commands at once
    // are usage errors that print the usage too.
    void parse_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("expected"); // the request, or words the text contains
        const auto row = [](const char* args, Outcome outcome, const char* expected) {
            QTest::newRow(args) << QString::fromUtf8(args) << outcome << QString::fromUtf8(expected);
        };
        constexpr Outcome run = Outcome::Run, bad = Outcome::UsageError;
        row("", run, R"({"command":"launch"})");
        row("--open-settings", run, R"({"command":"launch"})");
        row("--monitoring=off", run, R"({"command":"monitoring-off"})");
        row("--pause 1440", run, R"({"command":"pause","minutes":1440})");
        row("--json --status", run, R"({"command":"status","json":true})");
        row("--monitoring maybe", bad, "--monitoring takes on, off or toggle, not \"maybe\".");
        for (const char* minutes : {"0", "1441", "1.5", "-3", "+5"})
            row(qPrintable(u"--pause "_s + QLatin1String(minutes)), bad,
                "--pause takes a whole number of minutes");
        row("--json", bad, "--json goes with --status only.");
        row("--resume --status", bad, "Give one command at a time.");
        row("--pause 5 --pause 10", bad, "Give one command at a time.");
        row("--settings --open-settings", bad, "Give one command at a time.");
        row("--frobnicate", bad, "Unknown option 'frobnicate'.");
        row("settings", bad, "Norvane takes no arguments besides options; \"settings\" is not one.");
        row("-h", Outcome::Help, "--pause <minutes>");
        row("--version", Outcome::Version, "Norvane 9.8");
    }
    void parse() {
        QFETCH(QString, arguments);
        QFETCH(Outcome, outcome);
        QFETCH(QString, expected);
        QCoreApplication::setApplicationName(u"Norvane"_s);
        QCoreApplication::setApplicationVersion(u"9.8"_s);
        const auto parsed = parseCommandLine(QStringList{u"norvane"_s} + QProcess::splitCommand(arguments));
        QCOMPARE(parsed.outcome, outcome);
        if (outcome != Outcome::Run) {
            QVERIFY2(parsed.text.contains(expected), qPrintable(parsed.text));
            QCOMPARE(parsed.text.contains(u"Usage: "_s), outcome != Outcome::Version);
            return;
        }
        const QJsonObject request = parsed.command.toJson();
        QCOMPARE(QJsonDocument(request).toJson(QJsonDocument::Compact), expected.toUtf8());
        QVERIFY(RemoteCommand::fromJson(request) == std::optional(parsed.command));
    }

    // Commands from the real binary change the state and print the answer, in order. Malformed, oversized
    // and unknown requests are refused with an answer.
    void roundTrip() {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(u"settings.ini"_s), QSettings::IniFormat);
        ManualClock clock;
        AppState appState(&settings, nullptr, &clock);
        FakeMonitoringControl monitoring;
        monitoring.appState = &appState;
        monitoring.captureTimes = {clock.now().addSecs(-5400), clock.now().addSecs(-3000), clock.now()};
        FakeSettingsWindow window;
        int historyOpened = 0;
        RemoteCommands commands(&appState, &monitoring, &window, [&] { ++historyOpened; });
        SingleInstance server(dir.filePath(u"norvane.socket"_s));
        QVERIFY(server.listen());
        server.setRequestHandler([&](const QJsonObject& request) { return commands.handle(request); });

        for (
            const auto& [arguments, code, output] :
            std::initializer_list<std::tuple<const char*, int, const char*>>{
                {"--status", 0,
                 "Monitoring is off, with 2 captures in the last hour. Last status: Turn "
                 "monitoring on to start collecting screenshots for nudge analysis."},
                {"--pause 5", 1, "Monitoring is off, so there is nothing to pause."},
                {"--monitoring on", 0, "Monitoring is on."},
                {"--pause 90", 0, "Monitoring is paused until 4:30 PM."},
                {"--status", 0,
                 "Monitoring is paused until 4:30 PM, with 2 captures in the last hour. Last "
                 "status: Monitoring is paused until 4:30 PM."},
                {"--status --json", 0,
                 R"({"capturesLastHour":2,"lastDiagnostic":"Monitoring is paused until 4:30 PM.","monitoring":)"
                 R"(true,"paused":true,"pausedUntil":"2026-12-04T16:30:00Z","running":true})"},
                {"--resume", 0, "Monitoring is on."},
                {"--monitoring toggle", 0, "Monitoring is off."},
                {"--monitoring toggle", 1,
                 "Monitoring needs a Gemini API key; add it in the settings window."},
                {"--settings", 0, "The settings window is open."},
                {"--history", 0, "The history window is open."}}) {
            if (monitoring.stopCalls > 0)
                monitoring.appState = nullptr; // once stopped it stays off, as without a key
            QCOMPARE(runNorvane(dir.path(), arguments), std::pair(code, QString::fromUtf8(output)));
        }
        QCOMPARE(monitoring.startCalls, 2);
        QCOMPARE(window.shows, QList{SettingsPresentationMode::Setup});
        QCOMPARE(historyOpened, 1);

        for (const auto& [message, reply] :
             {std::pair(QByteArray("not json\n"), "Norvane could not read the request."),
              {"{\"command\":\"pause\",\"minutes\":0}\n", "Norvane does not know this command; the running "
                                                          "copy may be an older version."},
              {QByteArray(SingleInstance::maxMessageBytes + 1, 'a'),
               "The request was too large; Norvane refused it."}})
            QCOMPARE(QJsonDocument::fromJson(exchange(server.fullServerName(), message)).object(),
                     SingleInstance::reply(1, QString::fromUtf8(reply)));
    }

    // With nobody listening, commands that need no running Norvane say so and succeed without starting
    // it; usage errors exit 2 through the binary. A socket that accepts but never answers is given up on.
    void withoutAnswer() {
        for (const auto& [listening, arguments, code, output] :
             std::initializer_list<std::tuple<bool, const char*, int, const char*>>{
                 {false, "--status", 0, "Norvane is not running."},
                 {false, "--status --json", 0, R"({"running":false})"},
                 {false, "--monitoring off", 0, "Norvane is not running."},
                 {false, "--pause 5", 0, "Norvane is not running."},
                 {false, "--frobnicate", 2, "Unknown option 'frobnicate'."},
                 {true, "--status", 1, "Norvane did not answer within a second; it may be busy or stuck."}}) {
            QTemporaryDir dir;
            QLocalServer stuck; // accepts, and never reads
            QVERIFY(!listening || stuck.listen(dir.filePath(u"norvane.socket"_s)));
            QCOMPARE(runNorvane(dir.path(), arguments), std::pair(code, QString::fromUtf8(output)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
