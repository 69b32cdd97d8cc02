#pragma once

#include <QProcess>
#include <QStringList>

namespace norvane::testing {

// A real top-level window owned by a separate X client (norvane_testwin, see test_window.cpp for its
// options), closed when this object goes away.
class TestWindow {
public:
    explicit TestWindow(const QStringList& arguments);
    ~TestWindow();

    bool isReady() const { return m_id != 0; }
    quint32 id() const { return m_id; }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
    quint32 m_id = 0;
};

// Runs a command (xdotool, xprop) to completion, at most ten seconds; true when it exited with 0.
bool runTool(const QString& program, const QStringList& arguments, QString* output = nullptr);

// An xdotool command line, split on spaces: "windowactivate --sync 4194305", "click 1".
bool xdotool(const QString& command);

// xdotool windowactivate --sync, which returns once the window manager reports the window active.
bool activateWindow(quint32 window);

} // namespace norvane::testing
