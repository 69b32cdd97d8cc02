// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once
// What the tests that run the whole program share: the program under test in a home of its own, the
// typing pad the user works in, and waiting on both while the event loop turns.
#include "platform/X11TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>

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

// The ids of the visible windows of process `pid` whose title matches the regular expression `title`.
inline QStringList visibleWindows(qint64 pid, const QString& title) {
    return toolOutput("xdotool",
                      {"search", "--all", "--onlyvisible", "--pid", QString::number(pid), "--name", title})
        .split('\n', Qt::SkipEmptyParts);
}

// The application the user works in: a window of another program that draws each key typed into it.
inline const QStringList kTypingPad{"--paint",   "typing-pad", "--title", "Typing Pad", "--class",
                                    "TypingPad", "--size",     "800x500", "--pos",      "60,60"};

// Keeps typing into the pad, about two keys a second, until `condition` holds. Each key is confirmed drawn
// by the pad, so it went to the pad and changed its picture. The time allowed is long enough for a burst's
// third capture on a slow machine (a wake capture, then one every four seconds).
inline bool typeUntil(TestWindow& pad, const std::function<bool()>& condition, int timeoutMs = 60000) {
    const QDeadlineTimer deadline(timeoutMs);
    for (int next = 0; !condition(); ++next) {
        const int before = pad.keys();
        if (deadline.hasExpired() || !xdotool(QStringLiteral("type %1").arg(QChar('a' + next % 26))) ||
            !waitUntil([&] { return pad.keys() > before; }, 5000))
            return false;
        waitUntil(condition, 400);
    }
    return true;
}

// One running copy of the application under test in its own home (settings, data and runtime folders in
// a temporary directory), the API key and `settings` in its settings, the model service at `endpoint`.
class Norvane {
public:
    explicit Norvane(const QUrl& endpoint, const QVariantMap& settings = {}) {
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
        QSettings stored(root.filePath("config/Norvane/Norvane.ini"), QSettings::IniFormat);
        stored.setValue("gemini_api_key", kApiKey);
        for (auto it = settings.begin(); it != settings.end(); ++it)
            stored.setValue(it.key(), it.value());
        stored.sync();
        env.insert("QT_LOGGING_RULES", "Norvane.*.debug=true");
        env.remove("QT_MESSAGE_PATTERN");
        env.insert("NORVANE_TEST_GEMINI_ENDPOINT", endpoint.toString());
        env.insert("NORVANE_TEST_START_MONITORING", "1");
        env.insert("NORVANE_TEST_CONTROL", "1");
        m_process.setProcessEnvironment(env);
        start();
    }
    // Starts it (again, after kill(), in the same home); the log starts afresh.
    void start() {
        m_stderr.clear();
        m_process.start(QStringLiteral(NORVANE_UNDER_TEST));
        m_process.waitForStarted(10000);
    }
    // Another launch in the same home, as a user starting it twice: its exit code and what it said.
    std::pair<int, QByteArray> launchAgain() const {
        QProcess second;
        second.setProcessEnvironment(m_process.processEnvironment());
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.start(QStringLiteral(NORVANE_UNDER_TEST));
        second.waitForFinished(20000);
        return {second.exitCode(), second.readAll()};
    }
    // SIGKILL: no clean-up of any kind, as in a crash or a power cut.
    void kill() {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    ~Norvane() {
        if (QTest::currentTestFailed()) // what the program said is the best clue to why
            qWarning().noquote() << "---- Norvane's log ----\n" << log().right(6000);
        if (!terminate())
            kill();
    }

    qint64 pid() const { return m_process.processId(); }
    QString data(const QString& path) const { return m_home.filePath("data/Norvane/screenshots/" + path); }
    // SIGTERM, as a logout would send; true when it ended by itself with status 0.
    bool terminate() {
        m_process.terminate();
        return m_process.waitForFinished(20000) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    }
    // Its log (stderr); a position in it (log().size()) stands for "from now on".
    QString log() {
        // What the program has written may still wait in the pipe until the event loop reads it.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        m_stderr += m_process.readAllStandardError();
        return QString::fromUtf8(m_stderr);
    }
    // Where `text` ends in the log at or after `from`, or -1.
    qsizetype find(const QString& text, qsizetype from = 0) {
        const qsizetype at = log().indexOf(text, from);
        return at < 0 ? -1 : at + text.size();
    }
    bool says(const QString& text, qsizetype from = 0) { return from >= 0 && find(text, from) >= 0; }

    // Asks the process about an item of the nudge card (see norvane_under_test): its place on screen while
    // the card shows it, and its text.
    std::pair<QRect, QString> locate(const QString& objectName) {
        m_process.write(objectName.toUtf8() + '\n');
        waitUntil([this] { return m_process.canReadLine(); }, 10000);
        const QStringList f = QString::fromUtf8(m_process.readLine()).chopped(1).split(' ');
        const QRect rect(f.value(0).toInt(), f.value(1).toInt(), f.value(2).toInt(), f.value(3).toInt());
        return {f.value(4) == "1" ? rect : QRect(), f.mid(5).join(' ')};
    }
    QString text(const QString& objectName) { return locate(objectName).second; }
    // Clicks the item's centre once the card has come to rest: fully shown and in the same place twice.
    bool click(const QString& objectName) {
        QRect previous, settled;
        waitUntil([&] {
            const QRect rect = locate(objectName).first;
            settled = rect.isValid() && rect == previous ? rect : QRect();
            previous = rect;
            return settled.isValid();
        });
        const QPoint centre = settled.center();
        return settled.isValid() &&
               xdotool(QStringLiteral("mousemove --sync %1 %2 click 1").arg(centre.x()).arg(centre.y()));
    }

private:
    QTemporaryDir m_home;
    QProcess m_process;
    QByteArray m_stderr;
};

// With no tray on this desktop Norvane opens its settings window a few seconds after launch, and it takes
// the focus: wait for that, then put the pad in front, as the user would.
inline bool putPadInFront(TestWindow& pad, Norvane& app) {
    waitUntil(
        [&] {
            return visibleWindows(app.pid(), "^Norvane Settings$").contains(QString::number(activeWindow()));
        },
        30000);
    return activateWindow(pad.id());
}

} // namespace norvane::testing
