#include "X11TestSupport.h"

#include <QDeadlineTimer>

namespace norvane::testing {

TestWindow::TestWindow(const QStringList& arguments) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(NORVANE_TEST_WINDOW), arguments);
    QDeadlineTimer deadline(10000);
    while (!m_process.canReadLine() && m_process.waitForReadyRead(int(deadline.remainingTime()))) {
    }
    const QByteArray line = m_process.readLine();
    if (line.startsWith("WINDOW "))
        m_id = line.mid(7).trimmed().toUInt();
}

TestWindow::~TestWindow() {
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool runTool(const QString& program, const QStringList& arguments, QString* output) {
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(10000); // the destructor kills a hanging one
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool xdotool(const QString& command) {
    return runTool(QStringLiteral("xdotool"), command.split(u' '));
}

bool activateWindow(quint32 window) {
    return xdotool(QStringLiteral("windowactivate --sync %1").arg(window));
}

} // namespace norvane::testing
