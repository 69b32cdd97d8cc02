#include "fakes/FakeRecommendationEngine.h"
#include "fakes/Fakes.h"
#include "nudge/NudgeCoordinator.h"
#include "nudge/NudgePanelController.h"
#include "nudge/SystemPasteboard.h"
#include "platform/x11/SystemInputEventSource.h"
#include "platform/x11/X11WindowHints.h"

#include <QGuiApplication>
#include <QProcess>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QTest>

#include <memory>

using namespace norvane;
using namespace norvane::testing;

// The card under a real X server with openbox: another application's window, input injected through
// XTEST with xdotool, window state read back with xprop and xwininfo.

namespace {

// Runs an X tool to completion (at most ten seconds); the output without the trailing newline.
QString run(const QString& program, const QStringList& arguments, bool* ok = nullptr) {
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(10000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

quint32 activeWindow() {
    return run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).toUInt();
}

void clickAt(QPoint global, int button = 1) {
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()),
         QStringLiteral("click"), QString::number(button)});
}

Opportunity sampleOpportunity(const QString& patternId = QStringLiteral("retyping-totals")) {
    Opportunity o;
    o.patternId = patternId;
    o.confidence = 0.9;
    o.observation = QStringLiteral("You copied the same totals into the sheet three times.");
    o.question = QStringLiteral("What are you putting together?");
    return o;
}

} // namespace

class NudgePanelX11Test : public QObject {
    Q_OBJECT

    QProcess otherApp;
    quint32 otherWindow = 0;
    QRect otherFrame{100, 100, 600, 400};

    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<AppState> appState;
    std::unique_ptr<SystemPasteboard> pasteboard;
    std::unique_ptr<FakeScreenCapturer> capturer;
    std::unique_ptr<FakeRecommendationEngine> engine;
    std::unique_ptr<FakeScreenshotStore> store;
    std::unique_ptr<NudgeCoordinator> coordinator;
    std::unique_ptr<SystemInputEventSource> input;
    std::unique_ptr<NudgePanelController> panel;
    int desktopPresses = 0;
    std::optional<InputEventSource::ListenerId> pressCounter;

    QQuickItem* cardItem(const char* name) const {
        return panel->panel()->rootObject()->findChild<QQuickItem*>(QLatin1String(name));
    }

    QPoint globalCentreOf(const char* name) const {
        QQuickItem* item = cardItem(name);
        const QPointF local = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        return panel->panel()->geometry().topLeft() + local.toPoint();
    }

    void presentAndSettle(const QString& patternId = QStringLiteral("retyping-totals")) {
        appState->presentOpportunity(sampleOpportunity(patternId));
        QVERIFY(QTest::qWaitForWindowExposed(panel->panel()));
        QTRY_COMPARE(panel->panel()->opacity(), 1.0);
        QTest::qWait(150);
    }

    // Waits until the desktop-wide source has seen `count` presses, so a check after it is not early.
    void waitForPresses(int count) { QTRY_COMPARE(desktopPresses, count); }

private slots:
    void initTestCase() {
        otherApp.start(QStringLiteral("xev"),
                       {QStringLiteral("-name"), QStringLiteral("Other Application"),
                        QStringLiteral("-geometry"), QStringLiteral("600x400+100+100")});
        QVERIFY(otherApp.waitForStarted());
        otherApp.setStandardOutputFile(QProcess::nullDevice());
        QTRY_VERIFY_WITH_TIMEOUT(
            (otherWindow = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"),
                                                           QStringLiteral("^Other Application$")})
                               .section(QLatin1Char('\n'), 0, 0)
                               .toUInt()) != 0,
            10000);
    }

    void cleanupTestCase() {
        otherApp.kill();
        otherApp.waitForFinished(5000);
    }

    void init() {
        clock = std::make_unique<ManualClock>();
        appState = std::make_unique<AppState>(nullptr, nullptr, clock.get());
        pasteboard = std::make_unique<SystemPasteboard>();
        capturer = std::make_unique<FakeScreenCapturer>();
        engine = std::make_unique<FakeRecommendationEngine>();
        store = std::make_unique<FakeScreenshotStore>();
        coordinator = std::make_unique<NudgeCoordinator>(
            pasteboard.get(), appState.get(), capturer.get(), [] { return QList<Screenshot>{}; },
            engine.get(), store.get(), clock.get());
        input = std::make_unique<SystemInputEventSource>();
        QVERIFY2(input->isAvailable(), qPrintable(input->unavailableReason()));
        desktopPresses = 0;
        pressCounter = input->start([this](const InputEvent& event) {
            if (event.type == InputEventType::LeftMouseDown || event.type == InputEventType::RightMouseDown)
                ++desktopPresses;
        });
        QVERIFY(pressCounter);
        panel = std::make_unique<NudgePanelController>(appState.get(), coordinator.get(), clock.get(),
                                                       input.get(), &keepOutOfTaskbarAndPager);
        appState->setNudgePresenter(panel.get());

        bool ok = false;
        run(QStringLiteral("xdotool"),
            {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(otherWindow)}, &ok);
        QVERIFY(ok);
        QTRY_COMPARE(activeWindow(), otherWindow);
    }

    void cleanup() {
        appState->setNudgePresenter(nullptr);
        panel.reset();
        if (pressCounter)
            input->stop(*pressCounter);
        input.reset();
        coordinator.reset();
        appState.reset();
    }

    void panelSitsInTheCornerOutsideTaskbarAndPager() {
        presentAndSettle();
        const quint32 id = quint32(panel->panel()->winId());

        // Where the X server has it, not just where Qt thinks it is.
        const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(id)});
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const int height = panel->panel()->height();
        QVERIFY(height >= 200);
        QVERIFY2(info.contains(QStringLiteral("Absolute upper-left X:  %1").arg(area.right() + 1 - 20 - 420)),
                 qPrintable(info));
        QVERIFY2(
            info.contains(QStringLiteral("Absolute upper-left Y:  %1").arg(area.bottom() + 1 - 20 - height)),
            qPrintable(info));
        QVERIFY2(info.contains(QStringLiteral("Width: 420")), qPrintable(info));

        // Each showing, not only the first: the window manager forgets the state of a hidden window.
        for (int showing = 1; showing <= 2; ++showing) {
            const QString state = run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(id),
                                                                QStringLiteral("_NET_WM_STATE")});
            QVERIFY2(state.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")), qPrintable(state));
            QVERIFY2(state.contains(QStringLiteral("_NET_WM_STATE_SKIP_PAGER")), qPrintable(state));
            QVERIFY2(state.contains(QStringLiteral("_NET_WM_STATE_ABOVE")), qPrintable(state));
            const QString clientList =
                run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST")});
            QVERIFY2(clientList.contains(QStringLiteral("0x%1").arg(id, 0, 16)), qPrintable(clientList));

            appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
            QTRY_VERIFY(!panel->panel()->isVisible());
            if (showing == 1) {
                presentAndSettle(QStringLiteral("another"));
                QCOMPARE(quint32(panel->panel()->winId()), id);
            }
        }
    }

    void focusStaysWithTheUsersApplicationUntilTheFieldIsClicked() {
        presentAndSettle();
        const quint32 panelId = quint32(panel->panel()->winId());
        QCOMPARE(activeWindow(), otherWindow);
        QVERIFY(!panel->panel()->isActive());
        // What keeps any window manager, not only this one, from handing the card the focus: it asks for
        // no input and was mapped with a user time of 0.
        const QString hints =
            run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(panelId),
                                          QStringLiteral("WM_HINTS"), QStringLiteral("_NET_WM_USER_TIME")});
        QVERIFY2(hints.contains(QStringLiteral("Client accepts input or input focus: False")),
                 qPrintable(hints));
        QVERIFY2(hints.contains(QStringLiteral("_NET_WM_USER_TIME(CARDINAL) = 0")), qPrintable(hints));

        clickAt(globalCentreOf("answerField"));
        QTRY_COMPARE(activeWindow(), panelId);
        QTRY_VERIFY(cardItem("answerField")->hasActiveFocus());
        QVERIFY(run(QStringLiteral("xprop"),
                    {QStringLiteral("-id"), QString::number(panelId), QStringLiteral("WM_HINTS")})
                    .contains(QStringLiteral("Client accepts input or input focus: True")));
        QVERIFY(appState->currentNudge());

        run(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                        QStringLiteral("15"), QStringLiteral("closing the books")});
        QTRY_COMPARE(cardItem("answerField")->property("text").toString(),
                     QStringLiteral("closing the books"));
        run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
        QTRY_COMPARE(appState->currentNudge()->phase, NudgePhase::Recommendation);
        QCOMPARE(engine->calls.size(), 1);
        QCOMPARE(engine->calls[0].userAnswer, QStringLiteral("closing the books"));

        // Once hidden, the next card again appears without taking focus.
        appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
        QTRY_VERIFY(!panel->panel()->isVisible());
        run(QStringLiteral("xdotool"),
            {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(otherWindow)});
        QTRY_COMPARE(activeWindow(), otherWindow);
        presentAndSettle(QStringLiteral("another"));
        QCOMPARE(activeWindow(), otherWindow);
        QVERIFY(run(QStringLiteral("xprop"),
                    {QStringLiteral("-id"), QString::number(panelId), QStringLiteral("WM_HINTS")})
                    .contains(QStringLiteral("Client accepts input or input focus: False")));
    }

    void clickInAnotherApplicationCloses() {
        presentAndSettle();
        clickAt(otherFrame.center());
        waitForPresses(1);
        QTRY_VERIFY(!appState->currentNudge());
        QCOMPARE(appState->nudgeHistory().last().outcome, NudgeOutcome::CloseButton);
        QTRY_VERIFY(!panel->panel()->isVisible());
    }

    void rightClickInAnotherApplicationCloses() {
        presentAndSettle();
        clickAt(otherFrame.center(), 3);
        waitForPresses(1);
        QTRY_VERIFY(!appState->currentNudge());
        QCOMPARE(appState->nudgeHistory().last().outcome, NudgeOutcome::CloseButton);
    }

    void clickOnTheCardChangesNothing() {
        presentAndSettle();
        clickAt(globalCentreOf("observationText"));
        waitForPresses(1);
        QTest::qWait(100);
        QVERIFY(appState->currentNudge());
        QVERIFY(panel->isShowing());
        QCOMPARE(appState->nudgeHistory().size(), 1);
    }

    void clickWhileHiddenChangesNothing() {
        presentAndSettle();
        appState->setNudgePresenter(nullptr);
        appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
        panel->dismiss();
        QTRY_VERIFY(!panel->panel()->isVisible());
        appState->presentOpportunity(sampleOpportunity(QStringLiteral("not on screen")));

        clickAt(otherFrame.center());
        waitForPresses(1);
        QTest::qWait(100);
        QVERIFY(appState->currentNudge());
    }

    void copyPutsTheExactPromptOnTheClipboard() {
        const QString prompt = QStringLiteral("  Summarise these rows as a table:\n  a | b\n");
        engine->replies.push_back(FakeRecommendationEngine::sampleRecommendation());
        engine->replies.back().value().prompt = prompt;
        presentAndSettle();
        coordinator->submitAnswer(QStringLiteral("a report"));
        QTRY_VERIFY(cardItem("copyButton")->isVisible());
        QTest::qWait(250); // the panel grows to the recommendation

        clickAt(globalCentreOf("copyButton"));
        QTRY_COMPARE(cardItem("copyButton")->property("text").toString(), QStringLiteral("Copied"));
        QVERIFY(appState->currentNudge());

        // xclip asks this process for the selection, so the event loop must keep running meanwhile.
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"),
                    {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
        QTRY_VERIFY_WITH_TIMEOUT(xclip.state() == QProcess::NotRunning, 10000);
        QCOMPARE(xclip.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(xclip.readAllStandardOutput()), prompt);

        QProcess targets;
        targets.start(QStringLiteral("xclip"),
                      {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                       QStringLiteral("-t"), QStringLiteral("TARGETS")});
        QTRY_VERIFY_WITH_TIMEOUT(targets.state() == QProcess::NotRunning, 10000);
        const QString offered = QString::fromUtf8(targets.readAllStandardOutput());
        QVERIFY2(offered.contains(QStringLiteral("UTF8_STRING")), qPrintable(offered));
        QVERIFY2(!offered.contains(QStringLiteral("text/html")), qPrintable(offered));
    }
};

QTEST_MAIN(NudgePanelX11Test)
#include "tst_nudge_panel_x11.moc"
