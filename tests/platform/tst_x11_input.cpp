#include "X11TestSupport.h"
#include "fakes/ManualClock.h"
#include "monitoring/InputActivityMonitor.h"
#include "platform/x11/SystemInputEventSource.h"

#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QTest>
#include <QWindow>

using namespace norvane;
using namespace norvane::testing;

namespace {

// An xdotool command line, split on spaces: "click 1", "mousemove_relative -- 40 25".
bool xdotool(const QString& command) {
    return runTool(QStringLiteral("xdotool"), command.split(u' '));
}

class KeyCountingWindow : public QWindow {
public:
    int keyPresses = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        ++keyPresses;
        QWindow::keyPressEvent(event);
    }
};

} // namespace

// Real XTEST input through xdotool, seen by the raw-event source on its own connection, recorded with a
// manual clock: every step sets a new virtual time first, so the recorded time tells which step counted.
class TestX11Input : public QObject {
    Q_OBJECT

    std::unique_ptr<ManualClock> m_clock;
    std::unique_ptr<SystemInputEventSource> m_source;
    std::unique_ptr<InputActivityMonitor> m_monitor;
    QList<InputEvent> m_seen; // what the test's own listener saw, in order

    bool seen(InputEventType type) const {
        return std::any_of(m_seen.begin(), m_seen.end(), [&](const InputEvent& e) { return e.type == type; });
    }
    bool waitForEvent(InputEventType type) {
        QDeadlineTimer deadline(10000);
        while (!seen(type) && !deadline.hasExpired())
            QTest::qWait(10);
        return seen(type);
    }
    // Runs `command` at a new virtual time and returns that time.
    QDateTime inputAt(int advance, const QString& command) {
        m_clock->advance(advance);
        const QDateTime at = m_clock->now();
        return xdotool(command) ? at : QDateTime();
    }
    // Runs an ignored step, then a shift press as a marker: events arrive in order, so once the marker is
    // in, anything the step caused has been handled.
    bool ignoredStepHandled(const QString& command) {
        m_clock->advance(7);
        m_seen.clear();
        return xdotool(command) && xdotool(QStringLiteral("key shift")) &&
               waitForEvent(InputEventType::ModifierKeyChanged);
    }

private slots:
    void init() {
        m_clock = std::make_unique<ManualClock>();
        m_source = std::make_unique<SystemInputEventSource>();
        QVERIFY(m_source->isAvailable());
        m_monitor = std::make_unique<InputActivityMonitor>(m_source.get(), m_clock.get());
        m_monitor->start();
        QVERIFY(m_monitor->isWatching());
        m_seen.clear();
        QVERIFY(m_source->start([this](const InputEvent& event) { m_seen.append(event); }));
        QVERIFY(xdotool(QStringLiteral("mousemove 5 5"))); // away from any window, no button held
    }
    void cleanup() {
        m_monitor.reset();
        m_source.reset();
        m_clock.reset();
    }

    void meaningfulInputIsRecordedByKind_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<MeaningfulInputKind>("kind");
        using K = MeaningfulInputKind;
        QTest::newRow("typing") << "type hello" << K::Keyboard;
        QTest::newRow("shortcut") << "key ctrl+s" << K::Keyboard;
        QTest::newRow("left click") << "click 1" << K::MouseDown;
        QTest::newRow("middle click") << "click 2" << K::MouseDown;
        QTest::newRow("right click") << "click 3" << K::MouseDown;
        QTest::newRow("back button") << "click 8" << K::MouseDown;
        QTest::newRow("scroll up") << "click 4" << K::Scroll;
        QTest::newRow("scroll sideways") << "click 6" << K::Scroll;
    }
    void meaningfulInputIsRecordedByKind() {
        QFETCH(QString, command);
        QFETCH(MeaningfulInputKind, kind);
        const QDateTime at = inputAt(30, command);
        QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), std::optional(at), 10000);
        QCOMPARE(m_monitor->lastMeaningfulInputKind(), std::optional(kind));
    }

    void rightDragIsRecordedAsDrag() {
        const QDateTime pressedAt = inputAt(5, QStringLiteral("mousedown 3"));
        QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), std::optional(pressedAt), 10000);
        QCOMPARE(m_monitor->lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::MouseDown));

        const QDateTime draggedAt = inputAt(1, QStringLiteral("mousemove_relative -- 40 25"));
        QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), std::optional(draggedAt), 10000);
        QCOMPARE(m_monitor->lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::MouseDrag));

        // After the release, moving again is plain motion: the drag is over.
        QVERIFY(xdotool(QStringLiteral("mouseup 3")));
        QVERIFY(ignoredStepHandled(QStringLiteral("mousemove_relative -- -20 -10")));
        QVERIFY(seen(InputEventType::MouseMoved));
        QCOMPARE(m_monitor->lastMeaningfulInputAt(), std::optional(draggedAt));
    }

    void releasesPlainMotionAndModifiersChangeNothing_data() {
        QTest::addColumn<QString>("before"); // meaningful, recorded at the earlier time
        QTest::addColumn<QString>("ignored");
        QTest::addColumn<MeaningfulInputKind>("kind");
        QTest::addColumn<InputEventType>("expectedSeen"); // what the source reports for the ignored step
        using K = MeaningfulInputKind;
        using T = InputEventType;
        QTest::newRow("key up") << "keydown a"
                                << "keyup a" << K::Keyboard << T::ModifierKeyChanged;
        QTest::newRow("mouse up") << "mousedown 1"
                                  << "mouseup 1" << K::MouseDown << T::LeftMouseUp;
        QTest::newRow("plain motion") << "click 2"
                                      << "mousemove_relative -- 15 15" << K::MouseDown << T::MouseMoved;
        QTest::newRow("modifier alone") << "key x"
                                        << "key Control_L" << K::Keyboard << T::ModifierKeyChanged;
        QTest::newRow("super alone") << "click 1"
                                     << "key Super_L" << K::MouseDown << T::ModifierKeyChanged;
    }
    void releasesPlainMotionAndModifiersChangeNothing() {
        QFETCH(QString, before);
        QFETCH(QString, ignored);
        QFETCH(MeaningfulInputKind, kind);
        QFETCH(InputEventType, expectedSeen);
        const QDateTime recordedAt = inputAt(7, before);
        QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), std::optional(recordedAt), 10000);

        QVERIFY(ignoredStepHandled(ignored));
        QVERIFY(waitForEvent(expectedSeen));
        QCOMPARE(m_monitor->lastMeaningfulInputAt(), std::optional(recordedAt));
        QCOMPARE(m_monitor->lastMeaningfulInputKind(), std::optional(kind));
    }

    void inputInOwnWindowCountsAndStillArrives() {
        KeyCountingWindow window;
        window.resize(200, 120);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(activateWindow(quint32(window.winId())));
        QTRY_VERIFY_WITH_TIMEOUT(window.isActive(), 10000);

        const QDateTime at = inputAt(3, QStringLiteral("type abc"));
        QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), std::optional(at), 10000);
        QCOMPARE(m_monitor->lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::Keyboard));
        QTRY_COMPARE_WITH_TIMEOUT(window.keyPresses, 3, 10000);
    }

    void secondListenerSeesButtonsAndPointerPosition() {
        QVERIFY(xdotool(QStringLiteral("mousemove 321 234")));
        QCOMPARE(m_source->pointerPosition(), std::optional(QPoint(321, 234)));

        QVERIFY(xdotool(QStringLiteral("click 9")));
        QVERIFY(waitForEvent(InputEventType::OtherMouseUp));
        auto down = std::find_if(m_seen.begin(), m_seen.end(), [](const InputEvent& e) {
            return e.type == InputEventType::OtherMouseDown;
        });
        QVERIFY(down != m_seen.end());
        QCOMPARE(down->button, 9);

        // Stopping the monitor leaves the other listener served.
        m_monitor->stop();
        m_seen.clear();
        QVERIFY(xdotool(QStringLiteral("click 1")));
        QVERIFY(waitForEvent(InputEventType::LeftMouseDown));
        QVERIFY(!m_monitor->lastMeaningfulInputAt());
    }
};

QTEST_MAIN(TestX11Input)
#include "tst_x11_input.moc"
