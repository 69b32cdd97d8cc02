#include "LogCapture.h"

#include <QMutex>

namespace norvane::testing {

namespace {
QMutex g_mutex;
QList<LogCapture::Line> g_lines;
QtMessageHandler g_previous = nullptr;

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    QMutexLocker lock(&g_mutex);
    g_lines.append({type, QString::fromLatin1(context.category ? context.category : ""), message});
}
} // namespace

LogCapture::LogCapture() {
    QLoggingCategory::setFilterRules(QStringLiteral("Norvane.*.debug=true"));
    g_lines.clear();
    g_previous = qInstallMessageHandler(handler);
}

LogCapture::~LogCapture() {
    qInstallMessageHandler(g_previous);
    QLoggingCategory::setFilterRules(QString());
}

const QList<LogCapture::Line>& LogCapture::lines() const { return g_lines; }

QStringList LogCapture::messages(const QString& category) const {
    QMutexLocker lock(&g_mutex);
    QStringList result;
    for (const auto& line : g_lines)
        if (line.category == category)
            result.append(line.message);
    return result;
}

QStringList LogCapture::messages(const QString& category, QtMsgType type) const {
    QMutexLocker lock(&g_mutex);
    QStringList result;
    for (const auto& line : g_lines)
        if (line.category == category && line.type == type)
            result.append(line.message);
    return result;
}

bool LogCapture::contains(const QString& category, QtMsgType type, const QString& message) const {
    return messages(category, type).contains(message);
}

void LogCapture::clear() {
    QMutexLocker lock(&g_mutex);
    g_lines.clear();
}

} // namespace norvane::testing
