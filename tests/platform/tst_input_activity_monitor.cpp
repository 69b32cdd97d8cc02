#include "fakes/FakeInputEventSource.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualClock.h"
#include "monitoring/InputActivityMonitor.h"

#include <QTest>

using namespace norvane;
using namespace norvane::testing;

Q_DECLARE_METATYPE(norvane::InputEventType)
Q_DECLARE_METATYPE(std::optional<norvane::MeaningfulInputKind>)

class TestInputActivityMonitor : public QObject {
    Q_OBJECT
private slots:
    void recordsMeaningfulEventsByKind_data();
    void recordsMeaningfulEventsByKind();
    void recordsTheMomentOfRecording();
    void startTwiceInstallsOnce();
    void stopForgetsAndStopsListening();
    void unavailableSourceIsReportedOnceAndRecordsNothing();
    void refusedStartIsRetriedOnTheNextStart();
    void destroyedMonitorLeavesNoListener();
};

void TestInputActivityMonitor::recordsMeaningfulEventsByKind_data() {
    QTest::addColumn<InputEventType>("type");
    QTest::addColumn<std::optional<MeaningfulInputKind>>("kind");
    const std::optional<MeaningfulInputKind> none;
    QTest::newRow("left down") << InputEventType::LeftMouseDown
                               << std::optional(MeaningfulInputKind::MouseDown);
    QTest::newRow("right down") << InputEventType::RightMouseDown
                                << std::optional(MeaningfulInputKind::MouseDown);
    QTest::newRow("other down") << InputEventType::OtherMouseDown
                                << std::optional(MeaningfulInputKind::MouseDown);
    QTest::newRow("left drag") << InputEventType::LeftMouseDragged
                               << std::optional(MeaningfulInputKind::MouseDrag);
    QTest::newRow("right drag") << InputEventType::RightMouseDragged
                                << std::optional(MeaningfulInputKind::MouseDrag);
    QTest::newRow("other drag") << InputEventType::OtherMouseDragged
                                << std::optional(MeaningfulInputKind::MouseDrag);
    QTest::newRow("key down") << InputEventType::KeyDown << std::optional(MeaningfulInputKind::Keyboard);
    QTest::newRow("scroll") << InputEventType::ScrollWheel << std::optional(MeaningfulInputKind::Scroll);
    QTest::newRow("left up") << InputEventType::LeftMouseUp << none;
    QTest::newRow("right up") << InputEventType::RightMouseUp << none;
    QTest::newRow("other up") << InputEventType::OtherMouseUp << none;
    QTest::newRow("moved") << InputEventType::MouseMoved << none;
    QTest::newRow("key up") << InputEventType::KeyUp << none;
    QTest::newRow("modifier") << InputEventType::ModifierKeyChanged << none;
}

void TestInputActivityMonitor::recordsMeaningfulEventsByKind() {
    QFETCH(InputEventType, type);
    QFETCH(std::optional<MeaningfulInputKind>, kind);
    ManualClock clock;
    FakeInputEventSource source;
    InputActivityMonitor monitor(&source, &clock);
    monitor.start();

    // A known earlier input, so an ignored event visibly leaves it alone.
    const QDateTime earlier = clock.now();
    source.emitEvent(InputEventType::KeyDown);
    clock.advance(2.5);
    source.emitEvent(type, 1);

    if (kind) {
        QCOMPARE(monitor.lastMeaningfulInputAt(), std::optional(clock.now()));
        QCOMPARE(monitor.lastMeaningfulInputKind(), kind);
    } else {
        QCOMPARE(monitor.lastMeaningfulInputAt(), std::optional(earlier));
        QCOMPARE(monitor.lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::Keyboard));
    }
}

void TestInputActivityMonitor::recordsTheMomentOfRecording() {
    ManualClock clock;
    FakeInputEventSource source;
    InputActivityMonitor monitor(&source, &clock);
    QVERIFY(!monitor.lastMeaningfulInputAt());
    QVERIFY(!monitor.lastMeaningfulInputKind());
    monitor.start();

    clock.advance(10);
    const QDateTime first = clock.now();
    source.emitEvent(InputEventType::ScrollWheel);
    clock.advance(3);
    QCOMPARE(monitor.lastMeaningfulInputAt(), std::optional(first));

    source.emitEvent(InputEventType::RightMouseDragged);
    QCOMPARE(monitor.lastMeaningfulInputAt(), std::optional(first.addSecs(3)));
    QCOMPARE(monitor.lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::MouseDrag));
}

void TestInputActivityMonitor::startTwiceInstallsOnce() {
    ManualClock clock;
    FakeInputEventSource source;
    InputActivityMonitor monitor(&source, &clock);
    monitor.start();
    monitor.start();
    QCOMPARE(source.startCalls, 1);
    QCOMPARE(source.listeners.size(), size_t(1));
    QVERIFY(monitor.isWatching());
}

void TestInputActivityMonitor::stopForgetsAndStopsListening() {
    ManualClock clock;
    FakeInputEventSource source;
    InputActivityMonitor monitor(&source, &clock);
    monitor.start();
    source.emitEvent(InputEventType::KeyDown);
    QVERIFY(monitor.lastMeaningfulInputAt());

    monitor.stop();
    QVERIFY(!monitor.lastMeaningfulInputAt());
    QVERIFY(!monitor.lastMeaningfulInputKind());
    QVERIFY(source.listeners.empty());
    QVERIFY(!monitor.isWatching());
    source.emitEvent(InputEventType::KeyDown);
    QVERIFY(!monitor.lastMeaningfulInputAt());

    // Stopping again is harmless, and a new start watches again.
    monitor.stop();
    monitor.start();
    QCOMPARE(source.listeners.size(), size_t(1));
    source.emitEvent(InputEventType::OtherMouseDown, 2);
    QCOMPARE(monitor.lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::MouseDown));
}

void TestInputActivityMonitor::unavailableSourceIsReportedOnceAndRecordsNothing() {
    LogCapture log;
    ManualClock clock;
    FakeInputEventSource source;
    source.available = false;
    InputActivityMonitor monitor(&source, &clock);
    monitor.start();
    monitor.stop();
    monitor.start();

    QVERIFY(!monitor.isAvailable());
    QVERIFY(!monitor.isWatching());
    QVERIFY(source.listeners.empty());
    const QStringList lines = log.messages(QStringLiteral("Norvane.InputActivityMonitor"), QtCriticalMsg);
    QCOMPARE(lines,
             QStringList{QStringLiteral("Keyboard and mouse activity cannot be observed: ") + source.reason});
    QVERIFY(!monitor.lastMeaningfulInputAt());

    // Once the platform can deliver again, a start watches.
    source.available = true;
    monitor.start();
    QVERIFY(monitor.isAvailable());
    source.emitEvent(InputEventType::KeyDown);
    QCOMPARE(monitor.lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::Keyboard));
}

void TestInputActivityMonitor::refusedStartIsRetriedOnTheNextStart() {
    ManualClock clock;
    FakeInputEventSource source;
    source.refuseStart = true;
    InputActivityMonitor monitor(&source, &clock);
    monitor.start();
    QVERIFY(!monitor.isWatching());
    source.refuseStart = false;
    monitor.start();
    QCOMPARE(source.startCalls, 2);
    QVERIFY(monitor.isWatching());
}

void TestInputActivityMonitor::destroyedMonitorLeavesNoListener() {
    ManualClock clock;
    FakeInputEventSource source;
    {
        InputActivityMonitor monitor(&source, &clock);
        monitor.start();
        QCOMPARE(source.listeners.size(), size_t(1));
    }
    QVERIFY(source.listeners.empty());
    source.emitEvent(InputEventType::KeyDown); // must not reach the destroyed monitor
}

QTEST_GUILESS_MAIN(TestInputActivityMonitor)
#include "tst_input_activity_monitor.moc"
