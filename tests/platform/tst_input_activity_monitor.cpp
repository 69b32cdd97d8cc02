#include "fakes/FakeInputEventSource.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualClock.h"
#include "monitoring/InputActivityMonitor.h"

#include <QTest>

using namespace norvane;
using namespace norvane::testing;

Q_DECLARE_METATYPE(norvane::InputEventType)
Q_DECLARE_METATYPE(std::optional<norvane::MeaningfulInputKind>)

namespace {
struct Fixture {
    ManualClock clock;
    FakeInputEventSource source;
    InputActivityMonitor monitor{&source, &clock};
};
} // namespace

class TestInputActivityMonitor : public QObject {
    Q_OBJECT
private slots:
    void recordsMeaningfulEventsByKind_data() {
        QTest::addColumn<InputEventType>("type");
        QTest::addColumn<std::optional<MeaningfulInputKind>>("kind");
        using T = InputEventType;
        const auto kind = [](MeaningfulInputKind k) { return std::optional(k); };
        const std::optional<MeaningfulInputKind> none;
        QTest::newRow("left down") << T::LeftMouseDown << kind(MeaningfulInputKind::MouseDown);
        QTest::newRow("right down") << T::RightMouseDown << kind(MeaningfulInputKind::MouseDown);
        QTest::newRow("other down") << T::OtherMouseDown << kind(MeaningfulInputKind::MouseDown);
        QTest::newRow("left drag") << T::LeftMouseDragged << kind(MeaningfulInputKind::MouseDrag);
        QTest::newRow("right drag") << T::RightMouseDragged << kind(MeaningfulInputKind::MouseDrag);
        QTest::newRow("other drag") << T::OtherMouseDragged << kind(MeaningfulInputKind::MouseDrag);
        QTest::newRow("key down") << T::KeyDown << kind(MeaningfulInputKind::Keyboard);
        QTest::newRow("scroll") << T::ScrollWheel << kind(MeaningfulInputKind::Scroll);
        QTest::newRow("left up") << T::LeftMouseUp << none;
        QTest::newRow("right up") << T::RightMouseUp << none;
        QTest::newRow("other up") << T::OtherMouseUp << none;
        QTest::newRow("moved") << T::MouseMoved << none;
        QTest::newRow("key up") << T::KeyUp << none;
        QTest::newRow("modifier") << T::ModifierKeyChanged << none;
    }
    // The time recorded is the moment of the event, not of a later read.
    void recordsMeaningfulEventsByKind() {
        QFETCH(InputEventType, type);
        QFETCH(std::optional<MeaningfulInputKind>, kind);
        Fixture f;
        QVERIFY(!f.monitor.lastMeaningfulInputAt() && !f.monitor.lastMeaningfulInputKind());
        f.monitor.start();
        const QDateTime earlier = f.clock.now();
        f.source.emitEvent(InputEventType::KeyDown); // a known earlier input an ignored event leaves alone
        f.clock.advance(2.5);
        const QDateTime at = f.clock.now();
        f.source.emitEvent(type, 1);
        f.clock.advance(3);

        QCOMPARE(f.monitor.lastMeaningfulInputAt(), std::optional(kind ? at : earlier));
        QCOMPARE(f.monitor.lastMeaningfulInputKind(),
                 kind ? kind : std::optional(MeaningfulInputKind::Keyboard));
    }

    void startInstallsOnceAndRetriesARefusal() {
        Fixture f;
        f.source.refuseStart = true;
        f.monitor.start();
        QVERIFY(!f.monitor.isWatching());
        f.source.refuseStart = false;
        f.monitor.start();
        f.monitor.start();
        QCOMPARE(f.source.startCalls, 2);
        QCOMPARE(f.source.listeners.size(), size_t(1));
        QVERIFY(f.monitor.isWatching());
    }

    void stopForgetsAndStopsListening() {
        Fixture f;
        f.monitor.start();
        f.source.emitEvent(InputEventType::KeyDown);
        QVERIFY(f.monitor.lastMeaningfulInputAt());

        f.monitor.stop();
        QVERIFY(!f.monitor.lastMeaningfulInputAt());
        QVERIFY(!f.monitor.lastMeaningfulInputKind());
        QVERIFY(f.source.listeners.empty());
        QVERIFY(!f.monitor.isWatching());
        f.source.emitEvent(InputEventType::KeyDown);
        QVERIFY(!f.monitor.lastMeaningfulInputAt());

        // Stopping again is harmless, and a new start watches again.
        f.monitor.stop();
        f.monitor.start();
        QCOMPARE(f.source.listeners.size(), size_t(1));
        f.source.emitEvent(InputEventType::OtherMouseDown, 2);
        QCOMPARE(f.monitor.lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::MouseDown));
    }

    void unavailableSourceIsReportedOnceAndRecordsNothing() {
        LogCapture log;
        Fixture f;
        f.source.available = false;
        f.monitor.start();
        f.monitor.stop();
        f.monitor.start();

        QVERIFY(!f.monitor.isAvailable());
        QVERIFY(!f.monitor.isWatching());
        QVERIFY(f.source.listeners.empty());
        QCOMPARE(log.messages(QStringLiteral("Norvane.InputActivityMonitor"), QtCriticalMsg),
                 QStringList{QStringLiteral("Keyboard and mouse activity cannot be observed: ") +
                             f.source.reason});

        // Once the platform can deliver again, a start watches.
        f.source.available = true;
        f.monitor.start();
        QVERIFY(f.monitor.isAvailable());
        f.source.emitEvent(InputEventType::KeyDown);
        QCOMPARE(f.monitor.lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::Keyboard));
    }

    void destroyedMonitorLeavesNoListener() {
        FakeInputEventSource source;
        ManualClock clock;
        {
            InputActivityMonitor monitor(&source, &clock);
            monitor.start();
            QCOMPARE(source.listeners.size(), size_t(1));
        }
        QVERIFY(source.listeners.empty());
        source.emitEvent(InputEventType::KeyDown); // must not reach the destroyed monitor
    }
};

QTEST_GUILESS_MAIN(TestInputActivityMonitor)
#include "tst_input_activity_monitor.moc"
