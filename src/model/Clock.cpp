// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "Clock.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <map>

namespace norvane {

Clock::SleepAwaiter Clock::sleep(double seconds, CancellationToken token) {
    return SleepAwaiter(this, seconds, std::move(token));
}

void Clock::SleepAwaiter::await_suspend(std::coroutine_handle<> handle) {
    // Whichever comes first, the timer or the cancellation, resumes the coroutine exactly once.
    struct Shared {
        bool resumed = false;
        quint64 timerId = 0;
        int cancelId = 0;
    };
    auto shared = std::make_shared<Shared>();
    Clock* clock = m_clock;
    CancellationToken token = m_token;
    shared->timerId = clock->startTimer(m_seconds, [shared, handle, token] {
        if (shared->resumed)
            return;
        shared->resumed = true;
        token.removeCallback(shared->cancelId);
        handle.resume();
    });
    shared->cancelId = token.onCancel([shared, handle, clock] {
        if (shared->resumed)
            return;
        shared->resumed = true;
        clock->cancelTimer(shared->timerId);
        handle.resume();
    });
}

Clock* Clock::system() {
    static SystemClock clock;
    return &clock;
}

struct SystemClock::Pending {
    QDateTime deadline;
    std::function<void()> fire;
    std::unique_ptr<QTimer> timer;
};

quint64 SystemClock::startTimer(double seconds, std::function<void()> fire) {
    const quint64 id = m_nextId++;
    auto pending = std::make_shared<Pending>();
    // Clamp before converting: a duration too long for the integer range waits "forever" instead of wrapping.
    const double ms = std::clamp(seconds * 1000.0, 0.0, 9.0e15);
    pending->deadline = now().addMSecs(qint64(std::ceil(ms)));
    pending->fire = std::move(fire);
    m_pending.emplace(id, pending);
    arm(id);
    return id;
}

void SystemClock::arm(quint64 id) {
    auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    auto& pending = *it->second;
    constexpr qint64 maxChunkMs = 24LL * 3600 * 1000;
    const qint64 remaining = std::max<qint64>(0, now().msecsTo(pending.deadline));
    if (!pending.timer) {
        pending.timer = std::make_unique<QTimer>();
        pending.timer->setSingleShot(true);
        pending.timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(pending.timer.get(), &QTimer::timeout, [this, id] {
            auto found = m_pending.find(id);
            if (found == m_pending.end())
                return;
            if (now() < found->second->deadline) {
                arm(id);
                return;
            }
            auto fire = std::move(found->second->fire);
            // Delete the timer later: we are inside its timeout signal.
            found->second->timer.release()->deleteLater();
            m_pending.erase(found);
            fire();
        });
    }
    pending.timer->start(int(std::min(remaining, maxChunkMs)));
}

void SystemClock::cancelTimer(quint64 id) {
    auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    if (auto* timer = it->second->timer.release()) {
        // Stopped at once: a cancelled timer must not fire while its deletion is still pending.
        timer->stop();
        timer->deleteLater();
    }
    m_pending.erase(it);
}

} // namespace norvane
