#include "NudgeRig.h"
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
// XTEST with xdotool, window state read back with xprop, xwininfo and xclip.

namespace {

// Runs an X tool to completion (at most ten seconds) while serving this process's own windows and
// selections; its output exactly as written.
QString run(const QString& command, bool* ok = nullptr) {
    QStringList arguments = QProcess::splitCommand(command);
    QProcess process;
    process.start(arguments.takeFirst(), arguments);
    const bool finished = QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput());
}

quint32 activeWindow() {
    return run(QStringLiteral("xdotool getactivewindow")).trimmed().toUInt();
}

void clickAt(QPoint global, int button = 1) {
    run(QStringLiteral("xdotool mousemove %1 %2 click %3").arg(global.x()).arg(global.y()).arg(button));
}

} // namespace

class NudgePanelX11Test : public QObject {
    Q_OBJECT

    QProcess otherApp;
    quint32 otherWindow = 0;
    QRect otherFrame{100, 100, 600, 400};

    SystemPasteboard pasteboard;
    std::unique_ptr<NudgeRig> rig;
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

    QString panelProperties(const QString& names) const {
        return run(QStringLiteral("xprop -id %1 %2").arg(quint32(panel->panel()->winId())).arg(names));
    }

    void presentAndSettle(const QString& patternId = QStringLiteral("retyping-totals")) {
        rig->appState.presentOpportunity(sampleOpportunity(patternId));
        QVERIFY(QTest::qWaitForWindowExposed(panel->panel()));
        QTRY_COMPARE(panel->panel()->opacity(), 1.0);
        QTest::qWait(150);
    }

    void activateOtherApp() {
        bool ok = false;
        run(QStringLiteral("xdotool windowactivate --sync %1").arg(otherWindow), &ok);
        QVERIFY(ok);
        QTRY_COMPARE(activeWindow(), otherWindow);
    }

private slots:
    void initTestCase() {
        otherApp.start(QStringLiteral("xev"),
                       {QStringLiteral("-name"), QStringLiteral("Other Application"),
                        QStringLiteral("-geometry"), QStringLiteral("600x400+100+100")});
        QVERIFY(otherApp.waitForStarted());
        otherApp.setStandardOutputFile(QProcess::nullDevice());
        QTRY_VERIFY_WITH_TIMEOUT(
            (otherWindow = run(QStringLiteral("xdotool search --name \"^Other Application$\""))
                               .section(QLatin1Char('\n'), 0, 0)
                               .toUInt()) != 0,
            10000);
    }

    void cleanupTestCase() {
        otherApp.kill();
        otherApp.waitForFinished(5000);
    }

    void init() {
        rig = std::make_unique<NudgeRig>(&pasteboard);
        input = std::make_unique<SystemInputEventSource>();
        QVERIFY2(input->isAvailable(), qPrintable(input->unavailableReason()));
        desktopPresses = 0;
        pressCounter = input->start([this](const InputEvent& event) {
            if (event.type == InputEventType::LeftMouseDown || event.type == InputEventType::RightMouseDown)
                ++desktopPresses;
        });
        QVERIFY(pressCounter);
        panel = std::make_unique<NudgePanelController>(&rig->appState, &rig->coordinator, &rig->clock,
                                                       input.get(), &keepOutOfTaskbarAndPager);
        rig->appState.setNudgePresenter(panel.get());
        activateOtherApp();
    }

    void cleanup() {
        rig->appState.setNudgePresenter(nullptr);
        panel.reset();
        if (pressCounter)
            input->stop(*pressCounter);
        input.reset();
        rig.reset();
    }

    void panelSitsInTheCornerOutsideTaskbarAndPager() {
        presentAndSettle();
        const quint32 id = quint32(panel->panel()->winId());

        // Where the X server has it, not just where Qt thinks it is.
        const QString info = run(QStringLiteral("xwininfo -id %1").arg(id));
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const int height = panel->panel()->height();
        QVERIFY(height >= 200);
        for (const QString& line :
             {QStringLiteral("Absolute upper-left X:  %1").arg(area.right() + 1 - 20 - 420),
              QStringLiteral("Absolute upper-left Y:  %1").arg(area.bottom() + 1 - 20 - height),
              QStringLiteral("Width: 420")})
            QVERIFY2(info.contains(line), qPrintable(info));

        // Each showing, not only the first: the window manager forgets the state of a hidden window.
        for (int showing = 1; showing <= 2; ++showing) {
            const QString state = panelProperties(QStringLiteral("_NET_WM_STATE"));
            for (const char* atom :
                 {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_ABOVE"})
                QVERIFY2(state.contains(QLatin1String(atom)), qPrintable(state));
            const QString clientList = run(QStringLiteral("xprop -root _NET_CLIENT_LIST"));
            QVERIFY2(clientList.contains(QStringLiteral("0x%1").arg(id, 0, 16)), qPrintable(clientList));

            rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
            QTRY_VERIFY(!panel->panel()->isVisible());
            if (showing == 1) {
                presentAndSettle(QStringLiteral("another"));
                QCOMPARE(quint32(panel->panel()->winId()), id);
            }
        }
    }

    void focusStaysWithTheUsersApplicationUntilTheFieldIsClicked() {
        const QString refusesInput = QStringLiteral("Client accepts input or input focus: False");
        presentAndSettle();
        const quint32 panelId = quint32(panel->panel()->winId());
        QCOMPARE(activeWindow(), otherWindow);
        QVERIFY(!panel->panel()->isActive());
        // What keeps any window manager from handing the card the focus: it asks for no input and was
        // mapped with a user time of 0.
        const QString hints = panelProperties(QStringLiteral("WM_HINTS _NET_WM_USER_TIME"));
        QVERIFY2(hints.contains(refusesInput), qPrintable(hints));
        QVERIFY2(hints.contains(QStringLiteral("_NET_WM_USER_TIME(CARDINAL) = 0")), qPrintable(hints));

        clickAt(globalCentreOf("answerField"));
        QTRY_COMPARE(activeWindow(), panelId);
        QTRY_VERIFY(cardItem("answerField")->hasActiveFocus());
        QVERIFY(panelProperties(QStringLiteral("WM_HINTS"))
                    .contains(QStringLiteral("Client accepts input or input focus: True")));

        run(QStringLiteral("xdotool type --delay 15 \"closing the books\""));
        QTRY_COMPARE(cardItem("answerField")->property("text").toString(),
                     QStringLiteral("closing the books"));
        run(QStringLiteral("xdotool key Return"));
        QTRY_COMPARE(rig->appState.currentNudge()->phase, NudgePhase::Recommendation);
        QCOMPARE(rig->engine.calls.size(), 1);
        QCOMPARE(rig->engine.calls[0].userAnswer, QStringLiteral("closing the books"));

        // Once hidden, the next card again appears without taking focus.
        rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        QTRY_VERIFY(!panel->panel()->isVisible());
        activateOtherApp();
        presentAndSettle(QStringLiteral("another"));
        QCOMPARE(activeWindow(), otherWindow);
        QVERIFY(panelProperties(QStringLiteral("WM_HINTS")).contains(refusesInput));
    }

    void clickInAnotherApplicationCloses_data() {
        QTest::addColumn<int>("button");
        QTest::newRow("left") << 1;
        QTest::newRow("right") << 3;
    }

    void clickInAnotherApplicationCloses() {
        QFETCH(int, button);
        presentAndSettle();
        clickAt(otherFrame.center(), button);
        QTRY_COMPARE(desktopPresses, 1);
        QTRY_VERIFY(!rig->appState.currentNudge());
        QCOMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::CloseButton));
        QTRY_VERIFY(!panel->panel()->isVisible());
    }

    void clickThatDoesNotClose_data() {
        QTest::addColumn<bool>("hidden");
        QTest::newRow("on the card") << false;
        QTest::newRow("elsewhere while the card is hidden") << true;
    }

    void clickThatDoesNotClose() {
        QFETCH(bool, hidden);
        presentAndSettle();
        if (hidden) {
            rig->appState.setNudgePresenter(nullptr);
            rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
            panel->dismiss();
            QTRY_VERIFY(!panel->panel()->isVisible());
            rig->appState.presentOpportunity(sampleOpportunity(QStringLiteral("not on screen")));
        }

        clickAt(hidden ? otherFrame.center() : globalCentreOf("observationText"));
        QTRY_COMPARE(desktopPresses, 1);
        QTest::qWait(100);
        QVERIFY(rig->appState.currentNudge());
        QCOMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::Shown));
    }

    void copyPutsTheExactPromptOnTheClipboard() {
        const QString prompt = QStringLiteral("  Summarise these rows as a table:\n  a | b\n");
        rig->engine.replies.push_back(FakeRecommendationEngine::sampleRecommendation());
        rig->engine.replies.back().value().prompt = prompt;
        presentAndSettle();
        rig->coordinator.submitAnswer(QStringLiteral("a report"));
        QTRY_VERIFY(cardItem("copyButton")->isVisible());
        QTest::qWait(250); // the panel grows to the recommendation

        clickAt(globalCentreOf("copyButton"));
        QTRY_COMPARE(cardItem("copyButton")->property("text").toString(), QStringLiteral("Copied"));
        QVERIFY(rig->appState.currentNudge());

        bool ok = false;
        QCOMPARE(run(QStringLiteral("xclip -o -selection clipboard"), &ok), prompt);
        QVERIFY(ok);
        const QString offered = run(QStringLiteral("xclip -o -selection clipboard -t TARGETS"));
        QVERIFY2(offered.contains(QStringLiteral("UTF8_STRING")), qPrintable(offered));
        QVERIFY2(!offered.contains(QStringLiteral("text/html")), qPrintable(offered));
    }
};

QTEST_MAIN(NudgePanelX11Test)
#include "tst_nudge_panel_x11.moc"
