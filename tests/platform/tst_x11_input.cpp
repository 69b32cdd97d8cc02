#include "X11TestSupport.h"
#include "fakes/ManualClock.h"
#include "monitoring/InputActivityMonitor.h"
#include "platform/x11/SystemInputEventSource.h"

#include <QKeyEvent>
#include <QTest>
#include <QWindow>

using namespace norvane;
using namespace norvane::testing;

using T = InputEventType;
using K = MeaningfulInputKind;

Q_DECLARE_METATYPE(std::optional<norvane::InputEventType>)
Q_DECLARE_METATYPE(std::optional<norvane::MeaningfulInputKind>)

namespace {
class KeyCountingWindow : public QWindow {
public:
    int keyPresses = 0;

protected:
    void keyPressEvent(QKeyEvent*) override { ++keyPresses; }
};
} // namespace

// Real XTEST input through xdotool, seen by the raw-event source on its own connection and recorded by the
// activity monitor with a manual clock: every step sets a new virtual time first, so the recorded time
// tells which step counted.
class TestX11Input : public QObject {
    Q_OBJECT

    ManualClock m_clock;
    std::unique_ptr<SystemInputEventSource> m_source;
    std::unique_ptr<InputActivityMonitor> m_monitor;
    QList<InputEventType> m_seen;    // what the test's own listener saw, in order
    std::optional<int> m_lastButton; // of the last button press the test's own listener saw

    bool waitForEvent(InputEventType type) {
        return QTest::qWaitFor([&] { return m_seen.contains(type); }, 10000);
    }
    // Runs `command` at a new virtual time and returns that time.
    QDateTime inputAt(const QString& command) {
        m_clock.advance(7);
        const QDateTime at = m_clock.now();
        return xdotool(command) ? at : QDateTime();
    }

private slots:
    void init() {
        m_source = std::make_unique<SystemInputEventSource>();
        m_monitor = std::make_unique<InputActivityMonitor>(m_source.get(), &m_clock);
        m_monitor->start();
        QVERIFY(m_monitor->isWatching());
        m_seen.clear();
        m_lastButton.reset();
        QVERIFY(m_source->start([this](const InputEvent& event) {
            m_seen.append(event.type);
            if (event.button)
                m_lastButton = event.button;
        }));
        QVERIFY(xdotool(QStringLiteral("mousemove 5 5"))); // away from any window
    }
    void cleanup() {
        xdotool(QStringLiteral("mouseup 1 mouseup 2 mouseup 3"));
        m_monitor.reset();
        m_source.reset();
    }

    // Each command runs after `before` (when given): the event type the source reports for it, and the
    // kind of input the monitor records (none: `before` stays the last meaningful input).
    void inputIsClassifiedAndRecorded_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("command");
        QTest::addColumn<std::optional<T>>("type");
        QTest::addColumn<std::optional<K>>("kind");
        const auto row = [](const char* name, const char* before, const char* command, std::optional<T> type,
                            std::optional<K> kind) {
            QTest::newRow(name) << QString(before) << QString(command) << type << kind;
        };
        const std::optional<K> none;
        const char* move = "mousemove_relative -- 40 25";
        row("typing", "", "type hello", T::KeyDown, K::Keyboard);
        row("shortcut", "", "key ctrl+s", T::KeyDown, K::Keyboard);
        row("left click", "", "click 1", T::LeftMouseDown, K::MouseDown);
        row("right click", "", "click 3", T::RightMouseDown, K::MouseDown);
        row("middle click", "", "click 2", T::OtherMouseDown, K::MouseDown);
        row("back button", "", "click 8", T::OtherMouseDown, K::MouseDown);
        row("scroll up", "", "click 4", T::ScrollWheel, K::Scroll);
        row("scroll sideways", "", "click 6", T::ScrollWheel, K::Scroll);
        row("left drag", "mousedown 1", move, T::LeftMouseDragged, K::MouseDrag);
        row("right drag", "mousedown 3", move, T::RightMouseDragged, K::MouseDrag);
        row("middle drag", "mousedown 2", move, T::OtherMouseDragged, K::MouseDrag);
        row("plain motion", "click 2", move, T::MouseMoved, none);
        row("left up", "mousedown 1", "mouseup 1", T::LeftMouseUp, none);
        row("right up", "mousedown 3", "mouseup 3", T::RightMouseUp, none);
        row("key up", "keydown a", "keyup a", std::nullopt, none);
        row("modifier alone", "key x", "key Control_L", T::ModifierKeyChanged, none);
        row("super alone", "click 1", "key Super_L", T::ModifierKeyChanged, none);
    }
    void inputIsClassifiedAndRecorded() {
        QFETCH(QString, before);
        QFETCH(QString, command);
        QFETCH(std::optional<T>, type);
        QFETCH(std::optional<K>, kind);
        std::optional<QDateTime> recordedAt;
        if (!before.isEmpty()) {
            recordedAt = inputAt(before);
            QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), recordedAt, 10000);
        }
        const std::optional<K> earlierKind = m_monitor->lastMeaningfulInputKind();
        m_seen.clear();
        const QDateTime at = inputAt(command);
        // Events arrive in order: once a later shift press is in, the command has been handled.
        QVERIFY(xdotool(QStringLiteral("key shift")) && waitForEvent(T::ModifierKeyChanged));
        QVERIFY(!type || m_seen.contains(*type));
        QCOMPARE(m_monitor->lastMeaningfulInputAt(), kind ? std::optional(at) : recordedAt);
        QCOMPARE(m_monitor->lastMeaningfulInputKind(), kind ? kind : earlierKind);
    }

    // Listening to raw events takes nothing away from this process's own windows.
    void inputInOwnWindowCountsAndStillArrives() {
        KeyCountingWindow window;
        window.resize(200, 120);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window) && activateWindow(quint32(window.winId())));
        QTRY_VERIFY_WITH_TIMEOUT(window.isActive(), 10000);
        const QDateTime at = inputAt(QStringLiteral("type abc"));
        QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), std::optional(at), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(window.keyPresses, 3, 10000);
    }

    void secondListenerSeesButtonsAndPointerPosition() {
        QVERIFY(xdotool(QStringLiteral("mousemove 321 234")));
        QCOMPARE(m_source->pointerPosition(), std::optional(QPoint(321, 234)));
        QVERIFY(xdotool(QStringLiteral("click 9")) && waitForEvent(InputEventType::OtherMouseUp));
        QVERIFY(m_seen.contains(InputEventType::OtherMouseDown));
        QCOMPARE(m_lastButton, 9);
        // Stopping the monitor leaves the other listener served.
        m_monitor->stop();
        m_seen.clear();
        QVERIFY(xdotool(QStringLiteral("click 1")) && waitForEvent(InputEventType::LeftMouseDown));
        QVERIFY(!m_monitor->lastMeaningfulInputAt());
    }
};

QTEST_MAIN(TestX11Input)
#include "tst_x11_input.moc"
