#include "fakes/FakeRecommendationEngine.h"
#include "fakes/Fakes.h"
#include "nudge/NudgeCoordinator.h"
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

Opportunity sampleOpportunity(const QString& patternId = QStringLiteral("retyping-totals")) {
    Opportunity o;
    o.patternId = patternId;
    o.confidence = 0.9;
    o.observation = QStringLiteral("You copied the same totals into the sheet three times.");
    o.question = QStringLiteral("What are you putting together?");
    return o;
}

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

} // namespace

class NudgePanelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<AppState> appState;
    std::unique_ptr<FakePasteboard> pasteboard;
    std::unique_ptr<FakeScreenCapturer> capturer;
    std::unique_ptr<FakeRecommendationEngine> engine;
    std::unique_ptr<FakeScreenshotStore> store;
    std::unique_ptr<NudgeCoordinator> coordinator;
    std::unique_ptr<FakeInputEventSource> input;
    std::unique_ptr<NudgePanelController> panel;

    std::optional<NudgeOutcome> lastOutcome() const {
        if (appState->nudgeHistory().isEmpty())
            return std::nullopt;
        return appState->nudgeHistory().last().outcome;
    }

    void present(const QString& patternId = QStringLiteral("retyping-totals")) {
        appState->presentOpportunity(sampleOpportunity(patternId));
        QVERIFY(appState->currentNudge());
        QVERIFY(panel->isShowing());
    }

    void waitUntilSettled() {
        QTRY_COMPARE(panel->panel()->opacity(), 1.0);
        QTest::qWait(20);
    }

private slots:
    void init() {
        clock = std::make_unique<ManualClock>();
        appState = std::make_unique<AppState>(nullptr, nullptr, clock.get());
        pasteboard = std::make_unique<FakePasteboard>();
        capturer = std::make_unique<FakeScreenCapturer>();
        engine = std::make_unique<FakeRecommendationEngine>();
        engine->clock = clock.get();
        store = std::make_unique<FakeScreenshotStore>();
        coordinator = std::make_unique<NudgeCoordinator>(
            pasteboard.get(), appState.get(), capturer.get(), [] { return QList<Screenshot>{}; },
            engine.get(), store.get(), clock.get());
        input = std::make_unique<FakeInputEventSource>();
        panel = std::make_unique<NudgePanelController>(appState.get(), coordinator.get(), clock.get(),
                                                       input.get());
        appState->setNudgePresenter(panel.get());
    }

    void cleanup() {
        appState->setNudgePresenter(nullptr);
        panel.reset();
        coordinator.reset();
        appState.reset();
    }

    void heightFollowsTheCard_data() {
        QTest::addColumn<std::optional<qreal>>("fitting");
        QTest::addColumn<int>("height");
        QTest::newRow("fits in 150") << std::optional<qreal>(150) << 200;
        QTest::newRow("exactly 200") << std::optional<qreal>(200) << 200;
        QTest::newRow("needs 260") << std::optional<qreal>(260) << 260;
        QTest::newRow("fraction rounds up") << std::optional<qreal>(260.2) << 261;
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
        QTest::newRow("one screen, whole area")
            << QList<ScreenArea>{{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1080)}} << QPoint(5, 5)
            << QRect(1480, 830, 420, 230);
        QTest::newRow("one screen, top bar and dock")
            << QList<ScreenArea>{laptop} << QPoint(700, 400) << QRect(1000, 650, 420, 230);
        QTest::newRow("pointer on the second screen")
            << QList<ScreenArea>{laptop, monitor} << QPoint(2000, 500) << QRect(3560, 842, 420, 230);
        QTest::newRow("pointer on the primary of two")
            << QList<ScreenArea>{laptop, monitor} << QPoint(10, 890) << QRect(1000, 650, 420, 230);
        QTest::newRow("screen left of the primary")
            << QList<ScreenArea>{laptop, leftOfPrimary} << QPoint(-100, 100) << QRect(-440, 790, 420, 230);
        QTest::newRow("pointer on no screen: the primary")
            << QList<ScreenArea>{laptop, monitor} << QPoint(-50, -50) << QRect(1000, 650, 420, 230);
        QTest::newRow("no screen at all")
            << QList<ScreenArea>{} << QPoint(0, 0) << QRect(1000, 650, 420, 230);
    }

    void placement() {
        QFETCH(QList<ScreenArea>, screens);
        QFETCH(QPoint, pointer);
        QFETCH(QRect, frame);
        QCOMPARE(nudgePanel::frame(screens, pointer, 230), frame);
    }

    void panelIsPlacedInTheCornerAndSizedToTheCard() {
        present();
        waitUntilSettled();
        QQuickView* view = panel->panel();
        QVERIFY(view->flags().testFlag(Qt::Tool));
        QVERIFY(view->flags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(view->flags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(view->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(view->property("_q_showWithoutActivating").toBool());

        QScreen* screen = QGuiApplication::primaryScreen();
        const QRect area = screen->availableGeometry();
        const QRect frame = view->geometry();
        QCOMPARE(frame.width(), 420);
        QCOMPARE(frame.right() + 1, area.right() + 1 - 20);
        QCOMPARE(frame.bottom() + 1, area.bottom() + 1 - 20);
        const qreal fitting = view->rootObject()->implicitHeight();
        QCOMPARE(frame.height(), qMax(200, int(std::ceil(fitting))));

        // Loading needs less than 200: the panel stays 200 high, bottom edge in place.
        engine->delaySeconds = 30;
        engine->replies.push_back(FakeRecommendationEngine::sampleRecommendation());
        engine->replies.back().value().prompt =
            QString(QStringLiteral("Summarise these rows.\n")).repeated(12);
        coordinator->submitAnswer(QStringLiteral("a report"));
        QTRY_VERIFY(view->rootObject()->implicitHeight() < 200);
        QTRY_COMPARE(view->geometry(), QRect(area.right() + 1 - 440, area.bottom() + 1 - 20 - 200, 420, 200));

        // A recommendation with a long prompt needs more than 200.
        clock->advance(30);
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::Recommendation);
        QTRY_VERIFY(view->rootObject()->implicitHeight() > 200);
        QTRY_COMPARE(view->geometry().height(), int(std::ceil(view->rootObject()->implicitHeight())));
        QTRY_COMPARE(view->geometry().bottom() + 1, area.bottom() + 1 - 20);
    }

    void slidesInAndFadesOut() {
        present();
        QQuickView* view = panel->panel();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const int targetY = area.bottom() + 1 - 20 - view->height();
        // It starts 12 below its place, transparent, and arrives within the animation's time.
        QVERIFY(view->opacity() < 0.5);
        QVERIFY(view->y() > targetY);
        QVERIFY(view->y() <= targetY + 12);
        QTRY_COMPARE_WITH_TIMEOUT(view->y(), targetY, 2000);
        QTRY_COMPARE(view->opacity(), 1.0);

        appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
        QVERIFY(view->isVisible());
        QVERIFY(!panel->isShowing());
        QTRY_VERIFY_WITH_TIMEOUT(!view->isVisible(), 2000);
        QCOMPARE(view->opacity(), 0.0);

        // The same window comes back for the next nudge.
        present(QStringLiteral("another"));
        QCOMPARE(panel->panel(), view);
        QTRY_COMPARE(view->opacity(), 1.0);
    }

    void presentingWithoutANudgeHidesThePanel() {
        present();
        waitUntilSettled();
        appState->setNudgePresenter(nullptr);
        appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
        QVERIFY(panel->isShowing());

        panel->presentOrUpdate();
        QVERIFY(!panel->isShowing());
        QVERIFY(!panel->hasPendingAutoDismiss());
        QTRY_VERIFY(!panel->panel()->isVisible());
    }

    void autoDismissInVirtualTime_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<double>("lastChangeAt"); // seconds after the nudge appeared
        QTest::addColumn<double>("allowed");
        QTest::newRow("question left alone") << QStringLiteral("question") << 0.0 << 60.0;
        QTest::newRow("answered, still loading") << QStringLiteral("loading") << 30.0 << 60.0;
        QTest::newRow("recommendation shown") << QStringLiteral("recommendation") << 35.0 << 120.0;
        QTest::newRow("failure back to the question") << QStringLiteral("failure") << 35.0 << 60.0;
    }

    void autoDismissInVirtualTime() {
        QFETCH(QString, path);
        QFETCH(double, lastChangeAt);
        QFETCH(double, allowed);
        engine->delaySeconds = path == QLatin1String("loading") ? 1000 : 5;
        if (path == QLatin1String("failure"))
            engine->replies.push_back(GeminiClientError::emptyResponse());

        present();
        if (path != QLatin1String("question")) {
            clock->advance(30);
            coordinator->submitAnswer(QStringLiteral("a report"));
        }
        if (path == QLatin1String("recommendation") || path == QLatin1String("failure")) {
            clock->advance(5);
            QCOMPARE(appState->currentNudge()->phase,
                     path == QLatin1String("failure") ? NudgePhase::Question : NudgePhase::Recommendation);
        }
        QVERIFY(panel->hasPendingAutoDismiss());

        // Had the first timer not been replaced, it would fire here.
        clock->advance(lastChangeAt + allowed - 0.1 - (path == QLatin1String("question") ? 0 : lastChangeAt));
        QVERIFY2(appState->currentNudge(), "dismissed too early");
        QCOMPARE(lastOutcome(), path == QLatin1String("recommendation")
                                    ? std::optional(NudgeOutcome::RecommendationShown)
                                    : std::optional(NudgeOutcome::Shown));

        clock->advance(0.2);
        QVERIFY(!appState->currentNudge());
        QCOMPARE(lastOutcome(), std::optional(NudgeOutcome::AutoDismissed));
        QVERIFY(!panel->isShowing());
        QTRY_VERIFY(!panel->panel()->isVisible());
        QVERIFY(!panel->hasPendingAutoDismiss());
    }

    void cancelledAutoDismissNeverFires() {
        present(QStringLiteral("first"));
        clock->advance(10);
        appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
        QVERIFY(!panel->hasPendingAutoDismiss());
        clock->advance(10);
        present(QStringLiteral("second"));

        // 60 s after the first nudge: the cancelled task stays quiet.
        clock->advance(40.5);
        QVERIFY(appState->currentNudge());
        QCOMPARE(appState->currentNudge()->opportunity.patternId, QStringLiteral("second"));
        clock->advance(19.6);
        QVERIFY(!appState->currentNudge());
        QCOMPARE(appState->nudgeHistory().size(), 4);
    }

    void dismissWhileHiddenOnlyCancelsTheTimer() {
        present();
        appState->setNudgePresenter(nullptr);
        appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
        panel->dismiss();
        QTRY_VERIFY(!panel->panel()->isVisible());
        appState->presentOpportunity(sampleOpportunity(QStringLiteral("unshown")));
        panel->dismiss();
        QVERIFY(!panel->hasPendingAutoDismiss());
        clock->advance(600);
        QVERIFY(appState->currentNudge());
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
        QTest::newRow("right on the card") << InputEventType::RightMouseDown << true << false;
    }

    void desktopClicks() {
        QFETCH(InputEventType, type);
        QFETCH(bool, inside);
        QFETCH(bool, dismisses);
        QCOMPARE(input->listeners.size(), size_t(0));
        present();
        waitUntilSettled();
        QCOMPARE(input->listeners.size(), size_t(1));
        const QRect frame = panel->panel()->geometry();

        input->press(type, inside ? frame.topLeft() + QPoint(5, 5) : frame.topLeft() - QPoint(1, 1));

        QCOMPARE(!appState->currentNudge(), dismisses);
        if (dismisses) {
            QCOMPARE(lastOutcome(), std::optional(NudgeOutcome::CloseButton));
            QTRY_VERIFY(!panel->panel()->isVisible());
            // Hidden: nobody listens any more.
            QCOMPARE(input->listeners.size(), size_t(0));
        }
    }

    void clicksWhileHiddenDoNothing() {
        present();
        waitUntilSettled();
        const QRect frame = panel->panel()->geometry();
        appState->setNudgePresenter(nullptr);
        appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
        panel->dismiss();
        QTRY_VERIFY(!panel->panel()->isVisible());
        // A nudge that is current but not on screen is not closed by a click.
        appState->presentOpportunity(sampleOpportunity(QStringLiteral("unshown")));

        input->press(InputEventType::LeftMouseDown, frame.topLeft() - QPoint(50, 50));
        QRasterWindow other;
        other.setGeometry(10, 10, 200, 100);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QTest::mouseClick(&other, Qt::LeftButton, {}, QPoint(20, 20));

        QVERIFY(appState->currentNudge());
    }

    void unavailableDesktopSourceLeavesOwnWindowClicks() {
        input->available = false;
        present();
        waitUntilSettled();
        QCOMPARE(input->listeners.size(), size_t(0));

        QRasterWindow other;
        other.setGeometry(10, 10, 200, 100);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QTest::mouseClick(&other, Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(!appState->currentNudge());
        QCOMPARE(lastOutcome(), std::optional(NudgeOutcome::CloseButton));
    }

    void clicksInOwnWindows_data() {
        QTest::addColumn<bool>("onCard");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("dismisses");
        QTest::newRow("left in another own window") << false << Qt::LeftButton << true;
        QTest::newRow("right in another own window") << false << Qt::RightButton << true;
        QTest::newRow("middle in another own window") << false << Qt::MiddleButton << false;
        QTest::newRow("left on the card") << true << Qt::LeftButton << false;
    }

    void clicksInOwnWindows() {
        QFETCH(bool, onCard);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, dismisses);
        input.reset();
        panel =
            std::make_unique<NudgePanelController>(appState.get(), coordinator.get(), clock.get(), nullptr);
        appState->setNudgePresenter(panel.get());
        present();
        waitUntilSettled();

        QRasterWindow other;
        other.setGeometry(10, 10, 200, 100);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        if (onCard) {
            QQuickItem* text =
                panel->panel()->rootObject()->findChild<QQuickItem*>(QStringLiteral("questionText"));
            QTest::mouseClick(panel->panel(), button, {}, text->mapToScene(QPointF(4, 4)).toPoint());
        } else {
            QTest::mouseClick(&other, button, {}, QPoint(20, 20));
        }

        QCOMPARE(!appState->currentNudge(), dismisses);
        if (dismisses)
            QCOMPARE(lastOutcome(), std::optional(NudgeOutcome::CloseButton));
    }
};

QTEST_MAIN(NudgePanelTest)
#include "tst_nudge_panel.moc"
