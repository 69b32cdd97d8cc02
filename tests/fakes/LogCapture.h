#pragma once

#include <QList>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>

namespace norvane::testing {

// Collects every log line while alive (all Norvane categories, debug included).
class LogCapture {
public:
    struct Line {
        QtMsgType type;
        QString category;
        QString message;
    };

    LogCapture();
    ~LogCapture();

    const QList<Line>& lines() const;
    // Messages of one category (for example "Norvane.MonitoringService"), optionally of one level.
    QStringList messages(const QString& category) const;
    QStringList messages(const QString& category, QtMsgType type) const;
    bool contains(const QString& category, QtMsgType type, const QString& message) const;
    void clear();
};

} // namespace norvane::testing
