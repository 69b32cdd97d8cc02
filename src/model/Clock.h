// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "Cancellation.h"

#include <QDateTime>

#include <coroutine>
#include <functional>
#include <map>
#include <memory>

namespace norvane {

// The program's only source of time. Production uses the wall clock and real timers; tests use a
// manual clock that they advance, so hours of activity run in milliseconds.
class Clock {
public:
    virtual ~Clock() = default;

    virtual QDateTime now() const = 0;

    // Calls `fire` once, `seconds` from now (on the main thread). Returns an id for cancelTimer().
    virtual quint64 startTimer(double seconds, std::function<void()> fire) = 0;
    virtual void cancelTimer(quint64 id) = 0;

    // The process-wide wall clock.
    static Clock* system();

    class SleepAwaiter;
    // Suspends the awaiting coroutine for `seconds`, or until `token` is cancelled, whichever is first.
    // Either way the coroutine resumes; it checks the token to tell the two apart.
    SleepAwaiter sleep(double seconds, CancellationToken token = {});

    // Seconds from `from` to `to`, with millisecond precision.
    static double secondsBetween(const QDateTime& from, const QDateTime& to) {
        return double(from.msecsTo(to)) / 1000.0;
    }
};

class Clock::SleepAwaiter {
public:
    SleepAwaiter(Clock* clock, double seconds, CancellationToken token)
        : m_clock(clock), m_seconds(seconds), m_token(std::move(token)) {}

    bool await_ready() const { return m_token.isCancelled(); }
    void await_suspend(std::coroutine_handle<> handle);
    void await_resume() const {}

private:
    Clock* m_clock;
    double m_seconds;
    CancellationToken m_token;
};

// The wall clock with Qt timers. Long sleeps are split so any duration works.
class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    quint64 startTimer(double seconds, std::function<void()> fire) override;
    void cancelTimer(quint64 id) override;

private:
    struct Pending;
    void arm(quint64 id);
    quint64 m_nextId = 1;
    std::map<quint64, std::shared_ptr<Pending>> m_pending;
};

} // namespace norvane
