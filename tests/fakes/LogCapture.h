// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QLoggingCategory>
#include <QMutex>
#include <QStringList>

#include <optional>
#include <tuple>

namespace norvane::testing {

// Collects every log line while alive (all Norvane categories, debug included).
class LogCapture {
public:
    LogCapture() {
        QLoggingCategory::setFilterRules(QStringLiteral("Norvane.*.debug=true"));
        clear();
        s_previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                QMutexLocker lock(&s_mutex);
                s_lines.append({type, QString::fromLatin1(context.category ? context.category : ""), text});
            });
    }
    ~LogCapture() {
        qInstallMessageHandler(s_previous);
        QLoggingCategory::setFilterRules(QString());
    }

    // Messages of one category (for example "Norvane.MonitoringService"), optionally of one level.
    QStringList messages(const QString& category, std::optional<QtMsgType> type = {}) const {
        QMutexLocker lock(&s_mutex);
        QStringList result;
        for (const auto& [lineType, lineCategory, text] : s_lines)
            if (lineCategory == category && (!type || lineType == *type))
                result.append(text);
        return result;
    }
    void clear() {
        QMutexLocker lock(&s_mutex);
        s_lines.clear();
    }

private:
    static inline QMutex s_mutex;
    static inline QList<std::tuple<QtMsgType, QString, QString>> s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace norvane::testing
