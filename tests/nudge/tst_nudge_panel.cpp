#include "NudgeRig.h"
#include "nudge/NudgePanelController.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QRasterWindow>
#include <QTest>

#include <map>
#include <memory>

using namespace norvane;
using namespace norvane::testing;

namespace {

// A desktop-wide input source the test drives by hand.
class FakeInputEventSource : public InputEventSource {
public:
    bool available = true;
    std::optional<QPoint> pointer;
    std::map<ListenerId, Listener> listeners;
    ListenerId nextId = 1;

    bool isAvailable() override { return available; }
    QString unavailableReason() const override { return QStringLiteral("No display."); }
    std::optional<ListenerId> start(Listener listener) override {
        if (!available)
            return std::nullopt;
        listeners.emplace(nextId, std::move(listener));
        return nextId++;
    }
    void stop(ListenerId id) override { listeners.erase(id); }
    std::optional<QPoint> pointerPosition() override { return pointer; }

    void press(InputEventType type, QPoint at) {
        pointer = at;
        auto copy = listeners;
        for (auto& [id, listener] : copy)
            listener(InputEvent{type, type == InputEventType::RightMouseDown ? 3 : 1});
    }
};

// A click in one of this process's own windows other than the card.
void clickAnotherOwnWindow(Qt::MouseButton button = Qt::LeftButton) {
    QRasterWindow other;
    other.setGeometry(10, 10, 200, 100);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QTest::mouseClick(&other, button, {}, QPoint(20, 20));
}

} // namespace

class NudgePanelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<NudgeRig> rig;
    std::unique_ptr<FakeInputEventSource> input;
    std::unique_ptr<NudgePanelController> panel;

    void makePanel(InputEventSource* source) {
        rig->appState.setNudgePresenter(nullptr);
        panel =
            std::make_unique<NudgePanelController>(&rig->appState, &rig->coordinator, &rig->clock, source);
        rig->appState.setNudgePresenter(panel.get());
    }

    void present(const QString& patternId = QStringLiteral("retyping-totals")) {
        rig->appState.presentOpportunity(sampleOpportunity(patternId));
        QVERIFY(panel->isShowing());
    }

    void presentAndSettle() {
        present();
        QTRY_COMPARE(panel->panel()->opacity(), 1.0);
        QTest::qWait(20);
    }

private slots:
    void init() {
        rig = std::make_unique<NudgeRig>();
        rig->engine.clock = &rig->clock;
        input = std::make_unique<FakeInputEventSource>();
        makePanel(input.get());
    }

    void cleanup() {
        rig->appState.setNudgePresenter(nullptr);
        panel.reset();
        rig.reset();
    }

    void heightFollowsTheCard_data() {
        QTest::addColumn<std::optional<qreal>>("fitting");
        QTest::addColumn<int>("height");
        QTest::newRow("fits in 150") << std::optional<qreal>(150) << 200;
        QTest::newRow("needs 260.2") << std::optional<qreal>(260.2) << 261;
        QTest::newRow("no card yet") << std::optional<qreal>() << 300;
    }

    void heightFollowsTheCard() {
        QFETCH(std::optional<qreal>, fitting);
        QFETCH(int, height);
        QCOMPARE(nudgePanel::height(fitting), height);
    }

    void placement_data() {
        QTest::addColumn<QList<ScreenArea>>("screens");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QRect>("frame");
        const ScreenArea laptop{QRect(0, 0, 1440, 900), QRect(0, 27, 1440, 873)};
        const ScreenArea monitor{QRect(1440, -300, 2560, 1440), QRect(1440, -300, 2560, 1392)};
        const ScreenArea leftOfPrimary{QRect(-1920, 0, 1920, 1080), QRect(-1920, 0, 1920, 1040)};
        const QRect onLaptop(1000, 650, 420, 230);
        QTest::newRow("top bar and dock") << QList<ScreenArea>{laptop} << QPoint(700, 400) << onLaptop;
        QTest::newRow("pointer on the second screen")
            << QList<ScreenArea>{laptop, monitor} << QPoint(2000, 500) << QRect(3560, 842, 420, 230);
        QTest::newRow("screen left of the primary")
            << QList<ScreenArea>{laptop, leftOfPrimary} << QPoint(-100, 100) << QRect(-440, 790, 420, 230);
        QTest::newRow("pointer on no screen")
            << QList<ScreenArea>{laptop, monitor} << QPoint(-50, -50) << onLaptop;
        QTest::newRow("no screen at all") << QList<ScreenArea>{} << QPoint(0, 0) << onLaptop;
    }

    void placement() {
        QFETCH(QList<ScreenArea>, screens);
        QFETCH(QPoint, pointer);
        QFETCH(QRect, frame);
        QCOMPARE(nudgePanel::frame(screens, pointer, 230), frame);
    }

    void panelIsPlacedInTheCornerAndSizedToTheCard() {
        presentAndSettle();
        QQuickView* view = panel->panel();
        for (const Qt::WindowType flag :
             {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint, Qt::WindowDoesNotAcceptFocus})
            QVERIFY(view->flags().testFlag(flag));
        QVERIFY(view->property("_q_showWithoutActivating").toBool());

        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = view->geometry();
        QCOMPARE(frame.width(), 420);
        QCOMPARE(frame.right() + 1, area.right() + 1 - 20);
        QCOMPARE(frame.bottom() + 1, area.bottom() + 1 - 20);
        QCOMPARE(frame.height(), nudgePanel::height(view->rootObject()->implicitHeight()));

        // Loading needs less than 200: the panel stays 200 high, bottom edge in place.
        rig->engine.delaySeconds = 30;
        rig->engine.replies.push_back(FakeRecommendationEngine::sampleRecommendation());
        rig->engine.replies.back().value().prompt = QStringLiteral("Summarise these rows.\n").repeated(12);
        rig->coordinator.submitAnswer(QStringLiteral("a report"));
        QTRY_VERIFY(view->rootObject()->implicitHeight() < 200);
        QTRY_COMPARE(view->geometry(), QRect(area.right() + 1 - 440, area.bottom() + 1 - 20 - 200, 420, 200));

        // A recommendation with a long prompt needs more than 200.
        rig->clock.advance(30);
        QTRY_VERIFY(view->rootObject()->implicitHeight() > 200);
        QTRY_COMPARE(view->geometry().height(), int(std::ceil(view->rootObject()->implicitHeight())));
        QTRY_COMPARE(view->geometry().bottom() + 1, area.bottom() + 1 - 20);
    }

    void autoDismissInVirtualTime_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<double>("allowed"); // seconds after the last change
        QTest::newRow("question left alone") << QStringLiteral("question") << 60.0;
        QTest::newRow("answered, still loading") << QStringLiteral("loading") << 60.0;
        QTest::newRow("recommendation shown") << QStringLiteral("recommendation") << 120.0;
        QTest::newRow("failure back to the question") << QStringLiteral("failure") << 60.0;
    }

    // Each change after 30 s restarts the timer, so the first one firing would be caught as too early.
    void autoDismissInVirtualTime() {
        QFETCH(QString, path);
        QFETCH(double, allowed);
        rig->engine.delaySeconds = path == QLatin1String("loading") ? 1000 : 5;
        if (path == QLatin1String("failure"))
            rig->engine.replies.push_back(GeminiClientError::emptyResponse());

        present();
        if (path != QLatin1String("question")) {
            rig->clock.advance(30);
            rig->coordinator.submitAnswer(QStringLiteral("a report"));
        }
        if (path == QLatin1String("recommendation") || path == QLatin1String("failure"))
            rig->clock.advance(5);
        QVERIFY(panel->hasPendingAutoDismiss());

        rig->clock.advance(allowed - 0.1);
        QVERIFY2(rig->appState.currentNudge(), "dismissed too early");
        QCOMPARE(rig->lastOutcome(), path == QLatin1String("recommendation")
                                         ? std::optional(NudgeOutcome::RecommendationShown)
                                         : std::optional(NudgeOutcome::Shown));

        rig->clock.advance(0.2);
        QVERIFY(!rig->appState.currentNudge());
        QCOMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::AutoDismissed));
        QVERIFY(!panel->isShowing());
        QVERIFY(!panel->hasPendingAutoDismiss());
        QTRY_VERIFY(!panel->panel()->isVisible());
    }

    void cancelledAutoDismissNeverFires() {
        present(QStringLiteral("first"));
        rig->clock.advance(10);
        rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        QVERIFY(!panel->hasPendingAutoDismiss());
        rig->clock.advance(10);
        present(QStringLiteral("second"));

        // 60 s after the first nudge: the cancelled task stays quiet.
        rig->clock.advance(40.5);
        QCOMPARE(rig->appState.currentNudge()->opportunity.patternId, QStringLiteral("second"));
        rig->clock.advance(19.6);
        QVERIFY(!rig->appState.currentNudge());
        QCOMPARE(rig->appState.nudgeHistory().size(), 4);
    }

    void hiddenPanelIgnoresClicksAndTime() {
        presentAndSettle();
        const QRect frame = panel->panel()->geometry();
        rig->appState.setNudgePresenter(nullptr);
        rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        panel->presentOrUpdate(); // with no nudge: hides
        QVERIFY(!panel->isShowing());
        QVERIFY(!panel->hasPendingAutoDismiss());
        QTRY_VERIFY(!panel->panel()->isVisible());
        // A nudge that is current but not on screen is not closed by clicks or time.
        rig->appState.presentOpportunity(sampleOpportunity(QStringLiteral("unshown")));
        panel->dismiss();
        QVERIFY(!panel->hasPendingAutoDismiss());

        input->press(InputEventType::LeftMouseDown, frame.topLeft() - QPoint(50, 50));
        clickAnotherOwnWindow();
        rig->clock.advance(600);
        QVERIFY(rig->appState.currentNudge());
        QVERIFY(!panel->panel()->isVisible());
    }

    void desktopClicks_data() {
        QTest::addColumn<InputEventType>("type");
        QTest::addColumn<bool>("inside");
        QTest::addColumn<bool>("dismisses");
        QTest::newRow("left outside") << InputEventType::LeftMouseDown << false << true;
        QTest::newRow("right outside") << InputEventType::RightMouseDown << false << true;
        QTest::newRow("middle outside") << InputEventType::OtherMouseDown << false << false;
        QTest::newRow("key press") << InputEventType::KeyDown << false << false;
        QTest::newRow("left release outside") << InputEventType::LeftMouseUp << false << false;
        QTest::newRow("left on the card") << InputEventType::LeftMouseDown << true << false;
    }

    void desktopClicks() {
        QFETCH(InputEventType, type);
        QFETCH(bool, inside);
        QFETCH(bool, dismisses);
        QCOMPARE(input->listeners.size(), size_t(0));
        presentAndSettle();
        QCOMPARE(input->listeners.size(), size_t(1));
        const QRect frame = panel->panel()->geometry();

        input->press(type, inside ? frame.topLeft() + QPoint(5, 5) : frame.topLeft() - QPoint(1, 1));

        QCOMPARE(!rig->appState.currentNudge(), dismisses);
        if (dismisses) {
            QCOMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::CloseButton));
            QTRY_VERIFY(!panel->panel()->isVisible());
            QCOMPARE(input->listeners.size(), size_t(0)); // hidden: nobody listens any more
        }
    }

    // Without a desktop-wide source, clicks in this process's own windows still close the card.
    void clicksInOwnWindows_data() {
        QTest::addColumn<bool>("noSource");
        QTest::addColumn<bool>("onCard");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("dismisses");
        QTest::newRow("left, source unavailable") << false << false << Qt::LeftButton << true;
        QTest::newRow("left, no source") << true << false << Qt::LeftButton << true;
        QTest::newRow("right") << true << false << Qt::RightButton << true;
        QTest::newRow("middle") << true << false << Qt::MiddleButton << false;
        QTest::newRow("left on the card") << true << true << Qt::LeftButton << false;
    }

    void clicksInOwnWindows() {
        QFETCH(bool, noSource);
        QFETCH(bool, onCard);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, dismisses);
        input->available = false;
        if (noSource)
            makePanel(nullptr);
        presentAndSettle();
        QCOMPARE(input->listeners.size(), size_t(0));

        if (onCard) {
            QQuickItem* text =
                panel->panel()->rootObject()->findChild<QQuickItem*>(QStringLiteral("questionText"));
            QTest::mouseClick(panel->panel(), button, {}, text->mapToScene(QPointF(4, 4)).toPoint());
        } else {
            clickAnotherOwnWindow(button);
        }

        QCOMPARE(!rig->appState.currentNudge(), dismisses);
        if (dismisses)
            QCOMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::CloseButton));
    }
};

QTEST_MAIN(NudgePanelTest)
#include "tst_nudge_panel.moc"
