// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

namespace norvane::testing {

// Runs a command (xdotool, xprop) to completion, at most ten seconds; true when it exited with 0.
inline bool runTool(const QString& program, const QStringList& arguments, QString* output = nullptr) {
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(10000); // the destructor kills a hanging one
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// An xdotool command line, split on spaces: "windowactivate --sync 4194305", "click 1".
inline bool xdotool(const QString& command) {
    return runTool(QStringLiteral("xdotool"), command.split(u' '));
}

// xdotool windowactivate --sync, which returns once the window manager reports the window active.
inline bool activateWindow(quint32 window) {
    return xdotool(QStringLiteral("windowactivate --sync %1").arg(window));
}

// A real top-level window owned by a separate X client (norvane_testwin, see test_window.cpp for its
// options), closed when this object goes away.
class TestWindow {
public:
    // A window the window manager has not mapped within 15 s is started once more (a loaded machine
    // may stall one map request); a second failure is reported with what the client said.
    explicit TestWindow(const QStringList& arguments) {
        for (int attempt = 0; attempt < 2 && m_id == 0; ++attempt) {
            if (attempt > 0) {
                qWarning("norvane_testwin not mapped after 15 s (state %d, stderr: %s); starting it again",
                         int(m_process.state()), m_process.readAllStandardError().constData());
                m_process.kill();
                m_process.waitForFinished(5000);
            }
            m_process.start(QStringLiteral(NORVANE_TEST_WINDOW), arguments);
            QDeadlineTimer deadline(15000);
            while (!m_process.canReadLine() && m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            }
            const QByteArray line = m_process.readLine();
            m_id = line.startsWith("WINDOW ") ? line.mid(7).trimmed().toUInt() : 0;
        }
    }
    ~TestWindow() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool isReady() const { return m_id != 0; }
    quint32 id() const { return m_id; }
    qint64 pid() const { return m_process.processId(); }
    // With "--paint typing-pad": the keys it has drawn so far, as read while the event loop turned.
    int keys() {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine();
            if (line.startsWith("KEYS "))
                m_keys = line.mid(5).trimmed().toInt();
        }
        return m_keys;
    }

private:
    QProcess m_process;
    quint32 m_id = 0;
    int m_keys = 0;
};

} // namespace norvane::testing
