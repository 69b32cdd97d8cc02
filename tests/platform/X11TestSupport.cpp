#include "X11TestSupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace norvane::testing {

TestWindow::TestWindow(const QStringList& arguments) : m_process(std::make_unique<QProcess>()) {
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(QStringLiteral(NORVANE_TEST_WINDOW), arguments);
    QDeadlineTimer deadline(10000);
    QByteArray output;
    while (!deadline.hasExpired() && m_process->state() != QProcess::NotRunning) {
        if (!m_process->waitForReadyRead(int(deadline.remainingTime())))
            continue;
        output += m_process->readAllStandardOutput();
        const int at = output.indexOf("WINDOW ");
        const int end = output.indexOf('\n', at);
        if (at >= 0 && end > at) {
            m_id = output.mid(at + 7, end - at - 7).trimmed().toUInt();
            break;
        }
    }
}

TestWindow::~TestWindow() {
    close();
}

qint64 TestWindow::pid() const {
    return m_process ? m_process->processId() : 0;
}

void TestWindow::close() {
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

bool runTool(const QString& program, const QStringList& arguments, QString* output) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool activateWindow(quint32 window) {
    return runTool(QStringLiteral("xdotool"),
                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window)});
}

QString processName(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

} // namespace norvane::testing
