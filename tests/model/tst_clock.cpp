#include "fakes/ManualClock.h"
#include "model/Cancellation.h"
#include "model/Clock.h"

#include <QCoroTask>
#include <QTest>

using namespace norvane;
using norvane::testing::ManualClock;

namespace {

struct SleepResult {
    bool resumed = false;
    bool cancelled = false;
};

// Detached: the test keeps `result` alive until the sleep has ended.
QCoro::Task<> sleeper(Clock* clock, double seconds, CancellationToken token, SleepResult* result) {
    co_await clock->sleep(seconds, token);
    result->resumed = true;
    result->cancelled = token.isCancelled();
}

} // namespace

class TestClock : public QObject {
    Q_OBJECT
private slots:
    void manualSleepResumesAtItsDeadline() {
        ManualClock clock;
        SleepResult result;
        sleeper(&clock, 5.0, {}, &result);
        clock.advance(4.999);
        QVERIFY(!result.resumed);
        clock.advance(0.001);
        QVERIFY(result.resumed);
        QVERIFY(!result.cancelled);
        QCOMPARE(clock.pendingTimers(), 0);
    }

    void cancellationResumesAtOnceAndDropsTheTimer() {
        ManualClock clock;
        CancellationSource source;
        SleepResult result;
        sleeper(&clock, 60.0, source.token(), &result);
        QCOMPARE(clock.pendingTimers(), 1);
        source.cancel();
        QVERIFY(result.resumed);
        QVERIFY(result.cancelled);
        QCOMPARE(clock.pendingTimers(), 0);
        source.cancel(); // a second cancel runs nothing again

        SleepResult late;
        sleeper(&clock, 60.0, source.token(), &late); // an already cancelled token does not wait at all
        QVERIFY(late.resumed && late.cancelled);
        QCOMPARE(clock.pendingTimers(), 0);
    }

    void tokenCallbacks() {
        QVERIFY(!CancellationToken().isCancelled());
        CancellationSource source;
        const CancellationToken token = source.token();
        int first = 0, second = 0;
        const int id = token.onCancel([&] { ++first; });
        token.onCancel([&] { ++second; });
        token.removeCallback(id);
        source.cancel();
        QVERIFY(token.isCancelled() && source.isCancelled());
        QCOMPARE(first, 0);
        QCOMPARE(second, 1);
        int late = 0;
        token.onCancel([&] { ++late; }); // runs at once once cancelled
        QCOMPARE(late, 1);
    }

    void systemTimersFireInOrderAndCancelled() {
        SystemClock clock;
        QList<int> fired;
        const quint64 cancelled = clock.startTimer(0.0, [&] { fired.append(1); });
        clock.startTimer(-5.0, [&] { fired.append(2); }); // a past deadline fires as soon as possible
        clock.startTimer(0.02, [&] { fired.append(3); });
        clock.cancelTimer(cancelled);
        QTRY_COMPARE_WITH_TIMEOUT(fired, (QList<int>{2, 3}), 5000);
    }

    void systemLongTimersWaitAndCancel() {
        SystemClock clock;
        int fired = 0;
        const quint64 days = clock.startTimer(100.0 * 86400.0, [&] { ++fired; });
        const quint64 endless = clock.startTimer(1e300, [&] { ++fired; }); // beyond any integer range
        bool sentinel = false;
        clock.startTimer(0.01, [&] { sentinel = true; });
        QTRY_VERIFY_WITH_TIMEOUT(sentinel, 5000);
        QCoreApplication::processEvents();
        QCOMPARE(fired, 0);
        clock.cancelTimer(days);
        clock.cancelTimer(endless);
        clock.cancelTimer(endless); // unknown ids are ignored
    }

    void systemSleepCancelledEarly() {
        SystemClock clock;
        CancellationSource source;
        SleepResult result;
        sleeper(&clock, 100.0 * 86400.0, source.token(), &result);
        QCoreApplication::processEvents();
        QVERIFY(!result.resumed);
        source.cancel();
        QVERIFY(result.resumed && result.cancelled);

        SleepResult shortSleep;
        sleeper(&clock, 0.01, {}, &shortSleep);
        QTRY_VERIFY_WITH_TIMEOUT(shortSleep.resumed, 5000);
        QVERIFY(!shortSleep.cancelled);
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
