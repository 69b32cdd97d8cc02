#pragma once
// What the tests that run the whole program share: the program under test in a home of its own, the
// typing pad the user works in, and waiting on both while the event loop turns.
#include "platform/X11TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>
#include <optional>

namespace norvane::testing {

inline const QString kApiKey = QStringLiteral("AIzaE2E-do-not-log-7f3c9b21");

inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50); // the loopback server and the child processes are served meanwhile
    }
    return true;
}

inline QString toolOutput(const QString& program, const QStringList& arguments) {
    QString output;
    runTool(program, arguments, &output);
    return output.trimmed();
}

inline quint32 activeWindow() {
    return toolOutput("xdotool", {"getactivewindow"}).toUInt();
}

// Visible windows of process `pid` whose title matches the regular expression `title`.
inline QList<quint32> visibleWindows(qint64 pid, const QString& title) {
    QList<quint32> windows;
    const QStringList arguments{"search", "--all", "--onlyvisible", "--pid", QString::number(pid),
                                "--name", title};
    for (const QString& line : toolOutput("xdotool", arguments).split('\n', Qt::SkipEmptyParts))
        windows.append(line.toUInt());
    return windows;
}

// A left click at a point of the screen, as a user's pointer would make it.
inline bool clickAt(const QPoint& point) {
    return xdotool(QStringLiteral("mousemove --sync %1 %2 click 1").arg(point.x()).arg(point.y()));
}

// Long enough for a burst's third capture on a slow machine (a wake capture, then one every four seconds).
inline constexpr int kBurstMs = 60000;

// The typing pad (norvane_typing_pad): another program's window that draws each key typed into it.
class TypingPad {
public:
    TypingPad() {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(NORVANE_TYPING_PAD));
        waitUntil([this] { return keys() >= 0 && m_id != 0; }, 30000);
    }
    ~TypingPad() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    quint32 id() const { return m_id; }
    bool activate() {
        return activateWindow(m_id) && waitUntil([this] { return activeWindow() == m_id; });
    }
    // Keeps typing, about two keys a second, until `condition` holds. Each key is confirmed drawn by the
    // pad, so it went to the pad and changed its picture.
    bool typeUntil(const std::function<bool()>& condition, int timeoutMs = kBurstMs) {
        const QDeadlineTimer deadline(timeoutMs);
        for (int next = 0; !condition(); ++next) {
            const int before = keys();
            if (deadline.hasExpired() || !runTool("xdotool", {"type", QString(QChar('a' + next % 26))}) ||
                !waitUntil([&] { return keys() > before; }, 5000))
                return false;
            waitUntil(condition, 400);
        }
        return true;
    }

private:
    int keys() {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.startsWith("WINDOW "))
                m_id = line.mid(7).toUInt();
            else if (line.startsWith("KEYS "))
                m_keys = line.mid(5).toInt();
        }
        return m_keys;
    }
    QProcess m_process;
    quint32 m_id = 0;
    int m_keys = 0;
};

// One running copy of the application under test in its own home (settings, data and runtime folders in
// a temporary directory), the API key in its settings, the model service at `endpoint`.
class Norvane {
public:
    Norvane(const QString& name, const QUrl& endpoint) : m_name(name) {
        const QDir root(m_home.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString setting :
             {"HOME=home", "XDG_CONFIG_HOME=config", "XDG_DATA_HOME=data", "XDG_RUNTIME_DIR=runtime"}) {
            root.mkpath(setting.section('=', 1));
            env.insert(setting.section('=', 0, 0), root.filePath(setting.section('=', 1)));
        }
        // Qt refuses a runtime folder that others may enter.
        QFile::setPermissions(root.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSettings(root.filePath("config/Norvane/Norvane.ini"), QSettings::IniFormat)
            .setValue("gemini_api_key", kApiKey);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_LOGGING_RULES", "Norvane.*.debug=true");
        env.remove("QT_MESSAGE_PATTERN");
        env.insert("NORVANE_TEST_GEMINI_ENDPOINT", endpoint.toString());
        for (const char* flag :
             {"NORVANE_TEST_START_MONITORING", "NORVANE_TEST_LOG_DIAGNOSTICS", "NORVANE_TEST_CONTROL"})
            env.insert(flag, "1");
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(root.filePath("home"));
        start();
    }
    // Starts it (again, after kill(), in the same home); the log starts afresh.
    void start() {
        m_stderr.clear();
        m_process.start(QStringLiteral(NORVANE_UNDER_TEST));
        m_process.waitForStarted(10000);
    }
    // SIGKILL: no clean-up of any kind, as in a crash or a power cut.
    void kill() {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    ~Norvane() {
        if (QTest::currentTestFailed()) // what the program said is the best clue to why
            qWarning().noquote() << "----" << m_name << "----\n" << log().right(6000);
        if (!terminate())
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    const QString& name() const { return m_name; }
    qint64 pid() const { return m_process.processId(); }
    QString data(const QString& path) const { return m_home.filePath("data/Norvane/screenshots/" + path); }
    // SIGTERM, as a logout would send; true when it ended by itself with status 0.
    bool terminate() {
        m_process.terminate();
        return m_process.waitForFinished(20000) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    }
    // Its log (stderr); a position in it (mark()) stands for "from now on".
    QString log() {
        m_stderr += m_process.readAllStandardError();
        return QString::fromUtf8(m_stderr);
    }
    qsizetype mark() { return log().size(); }
    bool says(const QString& text, qsizetype from = 0) { return log().indexOf(text, from) >= 0; }
    // The end of the first line at or after `from` that matches, or -1.
    qsizetype saysLine(const QString& pattern, qsizetype from = 0) {
        return QRegularExpression("^" + pattern + "$", QRegularExpression::MultilineOption)
            .match(log(), from)
            .capturedEnd();
    }
    bool leaksKey() {
        const QByteArray all = m_stderr + m_process.readAll() + m_stdout;
        return all.contains(kApiKey.toUtf8()) || all.contains("do-not-log-7f3c9b21");
    }

    // Asks the process about an item of the nudge card (see norvane_under_test).
    QJsonObject locate(const QString& objectName) {
        m_process.write("locate " + objectName.toUtf8() + '\n');
        waitUntil([this] { return m_process.canReadLine(); }, 10000);
        const QByteArray line = m_process.readLine();
        m_stdout += line;
        return QJsonDocument::fromJson(line).object();
    }
    QString text(const QString& objectName) { return locate(objectName)["text"].toString(); }
    // The item's centre once the card has come to rest: fully shown and in the same place twice.
    std::optional<QPoint> settledCentre(const QString& objectName) {
        QRect previous, settled;
        waitUntil([&] {
            const QJsonObject item = locate(objectName);
            const QRect rect(item["x"].toInt(), item["y"].toInt(), item["width"].toInt(),
                             item["height"].toInt());
            const bool shown = item["visible"].toBool() && item["panelVisible"].toBool() &&
                               item["panelOpacity"].toDouble() > 0.999 && rect.isValid();
            settled = shown && rect == previous ? rect : QRect();
            previous = shown ? rect : QRect();
            return settled.isValid();
        });
        return settled.isValid() ? std::optional(settled.center()) : std::nullopt;
    }

private:
    QString m_name;
    QTemporaryDir m_home;
    QProcess m_process;
    QByteArray m_stderr, m_stdout;
};

// With no tray on this desktop each copy opens its settings window a few seconds after launch, and it
// takes the focus: wait for that, then put the pad in front, as the user would.
inline bool putPadInFront(TypingPad& pad, const QList<Norvane*>& copies) {
    for (Norvane* copy : copies) {
        if (!waitUntil([&] { return copy->says("system tray is available"); }, 30000))
            return false;
        if (copy->says("No system tray is available"))
            waitUntil(
                [&] { return visibleWindows(copy->pid(), "^Norvane Settings$").contains(activeWindow()); });
    }
    return pad.activate();
}

} // namespace norvane::testing
