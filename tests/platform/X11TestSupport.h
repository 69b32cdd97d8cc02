#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace norvane::testing {

// A real top-level window owned by a separate X client (the norvane_testwin helper), closed when this
// object goes away.
class TestWindow {
public:
    explicit TestWindow(const QStringList& arguments);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    bool isReady() const { return m_id != 0; }
    quint32 id() const { return m_id; }
    qint64 pid() const;
    void close();

private:
    std::unique_ptr<QProcess> m_process;
    quint32 m_id = 0;
};

// Runs a command (xdotool, xprop) to completion, at most ten seconds; true when it exited with 0.
bool runTool(const QString& program, const QStringList& arguments, QString* output = nullptr);

// xdotool windowactivate --sync, then wait until the window manager reports it active.
bool activateWindow(quint32 window);

// The process name the kernel keeps for `pid`.
QString processName(qint64 pid);

} // namespace norvane::testing
