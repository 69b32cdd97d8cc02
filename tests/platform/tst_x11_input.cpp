#include "X11TestSupport.h"
#include "fakes/ManualClock.h"
#include "monitoring/InputActivityMonitor.h"
#include "platform/x11/SystemInputEventSource.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWindow>

using namespace norvane;
using namespace norvane::testing;

namespace {

bool xdotool(const QStringList& arguments) {
    return runTool(QStringLiteral("xdotool"), arguments);
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
private slots:
    void init();
    void cleanup();
    void meaningfulInputIsRecordedByKind_data();
    void meaningfulInputIsRecordedByKind();
    void rightDragIsRecordedAsDrag();
    void releasesPlainMotionAndModifiersChangeNothing_data();
    void releasesPlainMotionAndModifiersChangeNothing();
    void inputInOwnWindowCountsAndStillArrives();
    void secondListenerSeesButtonsAndPointerPosition();

private:
    // Events the test's own listener saw, in order.
    bool waitForEvent(InputEventType type);

    std::unique_ptr<ManualClock> m_clock;
    std::unique_ptr<SystemInputEventSource> m_source;
    std::unique_ptr<InputActivityMonitor> m_monitor;
    QList<InputEvent> m_seen;
};

void TestX11Input::init() {
    m_clock = std::make_unique<ManualClock>();
    m_source = std::make_unique<SystemInputEventSource>();
    QVERIFY(m_source->isAvailable());
    m_monitor = std::make_unique<InputActivityMonitor>(m_source.get(), m_clock.get());
    m_monitor->start();
    QVERIFY(m_monitor->isWatching());
    m_seen.clear();
    QVERIFY(m_source->start([this](const InputEvent& event) { m_seen.append(event); }));
    // Park the pointer away from any window, with no button held.
    QVERIFY(xdotool({QStringLiteral("mousemove"), QStringLiteral("5"), QStringLiteral("5")}));
}

void TestX11Input::cleanup() {
    m_monitor.reset();
    m_source.reset();
    m_clock.reset();
}

bool TestX11Input::waitForEvent(InputEventType type) {
    auto seen = [&] {
        return std::any_of(m_seen.begin(), m_seen.end(), [&](const InputEvent& e) { return e.type == type; });
    };
    QDeadlineTimer deadline(10000);
    while (!seen() && !deadline.hasExpired())
        QTest::qWait(10);
    return seen();
}

void TestX11Input::meaningfulInputIsRecordedByKind_data() {
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<MeaningfulInputKind>("kind");
    QTest::newRow("typing") << QStringList{QStringLiteral("type"), QStringLiteral("hello")}
                            << MeaningfulInputKind::Keyboard;
    QTest::newRow("key") << QStringList{QStringLiteral("key"), QStringLiteral("Return")}
                         << MeaningfulInputKind::Keyboard;
    QTest::newRow("shortcut") << QStringList{QStringLiteral("key"), QStringLiteral("ctrl+s")}
                              << MeaningfulInputKind::Keyboard;
    QTest::newRow("left click") << QStringList{QStringLiteral("click"), QStringLiteral("1")}
                                << MeaningfulInputKind::MouseDown;
    QTest::newRow("right click") << QStringList{QStringLiteral("click"), QStringLiteral("3")}
                                 << MeaningfulInputKind::MouseDown;
    QTest::newRow("middle click") << QStringList{QStringLiteral("click"), QStringLiteral("2")}
                                  << MeaningfulInputKind::MouseDown;
    QTest::newRow("back button") << QStringList{QStringLiteral("click"), QStringLiteral("8")}
                                 << MeaningfulInputKind::MouseDown;
    QTest::newRow("scroll up") << QStringList{QStringLiteral("click"), QStringLiteral("4")}
                               << MeaningfulInputKind::Scroll;
    QTest::newRow("scroll down") << QStringList{QStringLiteral("click"), QStringLiteral("5")}
                                 << MeaningfulInputKind::Scroll;
    QTest::newRow("scroll sideways") << QStringList{QStringLiteral("click"), QStringLiteral("6")}
                                     << MeaningfulInputKind::Scroll;
}

void TestX11Input::meaningfulInputIsRecordedByKind() {
    QFETCH(QStringList, command);
    QFETCH(MeaningfulInputKind, kind);
    m_clock->advance(30);
    const QDateTime at = m_clock->now();
    QVERIFY(xdotool(command));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), std::optional(at), 10000);
    QCOMPARE(m_monitor->lastMeaningfulInputKind(), std::optional(kind));
}

void TestX11Input::rightDragIsRecordedAsDrag() {
    m_clock->advance(5);
    const QDateTime pressedAt = m_clock->now();
    QVERIFY(xdotool({QStringLiteral("mousedown"), QStringLiteral("3")}));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), std::optional(pressedAt), 10000);
    QCOMPARE(m_monitor->lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::MouseDown));

    m_clock->advance(1);
    const QDateTime draggedAt = m_clock->now();
    QVERIFY(xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QStringLiteral("40"),
                     QStringLiteral("25")}));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), std::optional(draggedAt), 10000);
    QCOMPARE(m_monitor->lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::MouseDrag));

    // After the release, moving again is plain motion: the drag is over.
    QVERIFY(xdotool({QStringLiteral("mouseup"), QStringLiteral("3")}));
    m_clock->advance(1);
    m_seen.clear();
    QVERIFY(xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QStringLiteral("-20"),
                     QStringLiteral("-10")}));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("shift")})); // a marker the monitor ignores
    QVERIFY(waitForEvent(InputEventType::ModifierKeyChanged));
    QVERIFY(std::any_of(m_seen.begin(), m_seen.end(),
                        [](const InputEvent& e) { return e.type == InputEventType::MouseMoved; }));
    QCOMPARE(m_monitor->lastMeaningfulInputAt(), std::optional(draggedAt));
    QCOMPARE(m_monitor->lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::MouseDrag));
}

void TestX11Input::releasesPlainMotionAndModifiersChangeNothing_data() {
    QTest::addColumn<QStringList>("before"); // meaningful, recorded at the earlier time
    QTest::addColumn<QStringList>("ignored");
    QTest::addColumn<MeaningfulInputKind>("kind");
    QTest::addColumn<InputEventType>("expectedSeen"); // what the source reports for the ignored step
    QTest::newRow("key up") << QStringList{QStringLiteral("keydown"), QStringLiteral("a")}
                            << QStringList{QStringLiteral("keyup"), QStringLiteral("a")}
                            << MeaningfulInputKind::Keyboard << InputEventType::ModifierKeyChanged;
    QTest::newRow("mouse up") << QStringList{QStringLiteral("mousedown"), QStringLiteral("1")}
                              << QStringList{QStringLiteral("mouseup"), QStringLiteral("1")}
                              << MeaningfulInputKind::MouseDown << InputEventType::LeftMouseUp;
    QTest::newRow("plain motion") << QStringList{QStringLiteral("click"), QStringLiteral("2")}
                                  << QStringList{QStringLiteral("mousemove_relative"), QStringLiteral("--"),
                                                 QStringLiteral("15"), QStringLiteral("15")}
                                  << MeaningfulInputKind::MouseDown << InputEventType::MouseMoved;
    QTest::newRow("modifier alone") << QStringList{QStringLiteral("key"), QStringLiteral("x")}
                                    << QStringList{QStringLiteral("key"), QStringLiteral("Control_L")}
                                    << MeaningfulInputKind::Keyboard << InputEventType::ModifierKeyChanged;
    QTest::newRow("super alone") << QStringList{QStringLiteral("click"), QStringLiteral("1")}
                                 << QStringList{QStringLiteral("key"), QStringLiteral("Super_L")}
                                 << MeaningfulInputKind::MouseDown << InputEventType::ModifierKeyChanged;
}

void TestX11Input::releasesPlainMotionAndModifiersChangeNothing() {
    QFETCH(QStringList, before);
    QFETCH(QStringList, ignored);
    QFETCH(MeaningfulInputKind, kind);
    QFETCH(InputEventType, expectedSeen);
    m_clock->advance(7);
    const QDateTime recordedAt = m_clock->now();
    QVERIFY(xdotool(before));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), std::optional(recordedAt), 10000);

    m_clock->advance(7);
    m_seen.clear();
    QVERIFY(xdotool(ignored));
    // Events arrive in order: once the marker is in, anything the ignored step caused has been handled.
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("shift")}));
    QVERIFY(waitForEvent(InputEventType::ModifierKeyChanged));
    QVERIFY(waitForEvent(expectedSeen));
    QCOMPARE(m_monitor->lastMeaningfulInputAt(), std::optional(recordedAt));
    QCOMPARE(m_monitor->lastMeaningfulInputKind(), std::optional(kind));
}

void TestX11Input::inputInOwnWindowCountsAndStillArrives() {
    KeyCountingWindow window;
    window.setTitle(QStringLiteral("Norvane input test"));
    window.resize(200, 120);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(activateWindow(quint32(window.winId())));
    QTRY_VERIFY_WITH_TIMEOUT(window.isActive(), 10000);

    m_clock->advance(3);
    const QDateTime at = m_clock->now();
    QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("abc")}));
    QTRY_COMPARE_WITH_TIMEOUT(m_monitor->lastMeaningfulInputAt(), std::optional(at), 10000);
    QCOMPARE(m_monitor->lastMeaningfulInputKind(), std::optional(MeaningfulInputKind::Keyboard));
    QTRY_COMPARE_WITH_TIMEOUT(window.keyPresses, 3, 10000);
}

void TestX11Input::secondListenerSeesButtonsAndPointerPosition() {
    QVERIFY(xdotool({QStringLiteral("mousemove"), QStringLiteral("321"), QStringLiteral("234")}));
    QCOMPARE(m_source->pointerPosition(), std::optional(QPoint(321, 234)));

    QVERIFY(xdotool({QStringLiteral("click"), QStringLiteral("9")}));
    QVERIFY(waitForEvent(InputEventType::OtherMouseUp));
    auto down = std::find_if(m_seen.begin(), m_seen.end(),
                             [](const InputEvent& e) { return e.type == InputEventType::OtherMouseDown; });
    QVERIFY(down != m_seen.end());
    QCOMPARE(down->button, 9);

    // Stopping the monitor leaves the other listener served.
    m_monitor->stop();
    m_seen.clear();
    QVERIFY(xdotool({QStringLiteral("click"), QStringLiteral("1")}));
    QVERIFY(waitForEvent(InputEventType::LeftMouseDown));
    QVERIFY(!m_monitor->lastMeaningfulInputAt());
}

QTEST_MAIN(TestX11Input)
#include "tst_x11_input.moc"
