#pragma once

#include "model/Clock.h"

#include <QTimeZone>

#include <map>

namespace norvane::testing {

// A clock that only moves when the test advances it. Timers fire in deadline order, each at its own
// moment, so a coroutine that sleeps again inside advance() is woken again within the same call.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 12, 4), QTime(15, 0), Qt::UTC))
        : m_now(std::move(start)) {}

    QDateTime now() const override { return m_now; }

    quint64 startTimer(double seconds, std::function<void()> fire) override {
        const quint64 id = m_nextId++;
        const double ms = std::clamp(seconds * 1000.0, 0.0, 9.0e15);
        m_timers.emplace(id, Timer{m_now.addMSecs(qint64(ms + 0.5)), std::move(fire)});
        return id;
    }

    void cancelTimer(quint64 id) override { m_timers.erase(id); }

    void advance(double seconds) {
        const QDateTime target = m_now.addMSecs(qint64(seconds * 1000.0 + (seconds >= 0 ? 0.5 : -0.5)));
        for (;;) {
            auto due = m_timers.end();
            for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
                if (it->second.deadline <= target && (due == m_timers.end() || it->second.deadline < due->second.deadline))
                    due = it;
            }
            if (due == m_timers.end())
                break;
            if (due->second.deadline > m_now)
                m_now = due->second.deadline;
            auto fire = std::move(due->second.fire);
            m_timers.erase(due);
            fire();
        }
        if (target > m_now)
            m_now = target;
    }

    void setNow(const QDateTime& now) { m_now = now; }
    int pendingTimers() const { return int(m_timers.size()); }

private:
    struct Timer {
        QDateTime deadline;
        std::function<void()> fire;
    };
    QDateTime m_now;
    quint64 m_nextId = 1;
    std::map<quint64, Timer> m_timers; // ordered by id, so equal deadlines fire in creation order
};

} // namespace norvane::testing
