// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/Clock.h"

#include <algorithm>
#include <cmath>
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
        const double ms = std::clamp(seconds * 1000.0, 0.0, 9.0e15);
        m_timers.emplace(m_now.addMSecs(qint64(ms + 0.5)), Timer{++m_lastId, std::move(fire)});
        return m_lastId;
    }
    void cancelTimer(quint64 id) override {
        std::erase_if(m_timers, [id](const auto& entry) { return entry.second.id == id; });
    }

    void advance(double seconds) {
        const QDateTime target = m_now.addMSecs(qint64(std::round(seconds * 1000.0)));
        while (!m_timers.empty() && m_timers.begin()->first <= target) {
            auto due = m_timers.extract(m_timers.begin());
            m_now = std::max(m_now, due.key());
            due.mapped().fire();
        }
        m_now = std::max(m_now, target);
    }
    void setNow(const QDateTime& now) { m_now = now; }
    int pendingTimers() const { return int(m_timers.size()); }

private:
    struct Timer {
        quint64 id;
        std::function<void()> fire;
    };
    QDateTime m_now;
    quint64 m_lastId = 0;
    std::multimap<QDateTime, Timer> m_timers; // by deadline; equal deadlines in creation order
};

} // namespace norvane::testing
