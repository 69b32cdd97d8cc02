// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// The nudge from the user's answer to a recommendation, and the card in its panel under a real X server
// with openbox beside another application's window: the card's faces and texts, where the panel sits,
// how it takes focus, what closes it and when it goes by itself. Input goes through XTEST with xdotool;
// xprop, xwininfo and xclip read back what X holds. Saves a PNG of each face to look at.
#include "fakes/Fakes.h"
#include "nudge/NudgeCoordinator.h"
#include "nudge/NudgePanelController.h"
#include "nudge/SystemPasteboard.h"
#include "platform/x11/SystemInputEventSource.h"
#include "platform/x11/X11WindowHints.h"

#include <QDir>
#include <QFontInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QTest>

#include <csignal>
#include <memory>

using namespace norvane;
using namespace norvane::testing;
using namespace Qt::StringLiterals;

namespace {

// Runs an X tool to completion while serving this process's own windows and selections.
QString run(const QString& command) {
    QStringList arguments = QProcess::splitCommand(command);
    QProcess process;
    process.start(arguments.takeFirst(), arguments);
    (void)QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

quint32 activeWindow() {
    return run(u"xdotool getactivewindow"_s).trimmed().toUInt();
}

void clickAt(QPoint global, int button = 1) {
    run(u"xdotool mousemove %1 %2 click %3"_s.arg(global.x()).arg(global.y()).arg(button));
}

Opportunity sampleOpportunity(const QString& patternId = u"retyping-totals"_s) {
    return {patternId, 0.9,
            u"You have copied totals from the invoice PDFs into the spreadsheet by hand for an hour."_s,
            u"What is the spreadsheet for, and where do the invoices come from?"_s,
            OpportunityCategory::ManualWork};
}

// Taller than the prompt box, with the blank lines around it a model tends to add.
const QString kLongPrompt = u"  \nFor every invoice PDF, extract:\n"_s + u"- one field\n"_s.repeated(10) +
                            u"\nReturn a table.\n\n  "_s;

} // namespace

class NudgeTest : public QObject {
    Q_OBJECT

    // The model side on a virtual clock, over fakes but for the clipboard.
    struct Rig {
        ManualClock clock;
        FakeScreenCapturer capturer;
        FakeRecommendationEngine engine;
        FakeScreenshotStore store;
        QList<Screenshot> buffer;
        AppState appState{nullptr, nullptr, &clock};
        NudgeCoordinator coordinator;

        explicit Rig(PasteboardProviding* pasteboard)
            : coordinator(
                  pasteboard, &appState, &capturer, [this] { return buffer; }, &engine, &store, &clock) {
            capturer.clock = engine.clock = &clock;
        }
        void answer(const Opportunity& opportunity = sampleOpportunity()) {
            appState.presentOpportunity(opportunity);
            coordinator.submitAnswer(u"a report"_s);
        }
        std::optional<NudgeOutcome> lastOutcome() const {
            const auto& history = appState.nudgeHistory();
            return history.isEmpty() ? std::nullopt : std::optional(history.last().outcome);
        }
    };

    QProcess otherApp;
    quint32 otherWindow = 0;
    SystemPasteboard pasteboard;
    std::unique_ptr<Rig> rig;
    std::unique_ptr<SystemInputEventSource> input;
    std::unique_ptr<NudgePanelController> panel;
    int desktopPresses = 0;

    QQuickView* view() const { return panel->panel(); }
    QQuickItem* item(const QString& name) const { return view()->rootObject()->findChild<QQuickItem*>(name); }
    QString text(const QString& name) const { return item(name)->property("text").toString(); }
    // Visible on screen: the item and every ancestor up to the card.
    bool shown(const QString& name) const {
        for (QQuickItem* i = item(name); i; i = i->parentItem())
            if (!i->isVisible())
                return false;
        return item(name);
    }
    bool inside(const QString& name) const {
        const QQuickItem* i = item(name);
        return QRectF(0, 0, view()->width(), view()->height())
            .contains(i->mapRectToScene(QRectF(0, 0, i->width(), i->height())));
    }
    void click(const QString& name) {
        const QQuickItem* i = item(name);
        clickAt(view()->position() + i->mapToScene(QPointF(i->width() / 2, i->height() / 2)).toPoint());
    }
    // Waits until the panel has come in and fits the card.
    void settle() {
        QVERIFY(panel->isShowing());
        QTRY_COMPARE(view()->opacity(), 1.0);
        item("cardContent")->implicitHeight(); // layouts size themselves lazily
        QTRY_COMPARE(view()->height(), nudgePanel::height(view()->rootObject()->implicitHeight()));
        QTest::qWait(100);
    }
    void present(const QString& patternId = u"retyping-totals"_s) {
        rig->appState.presentOpportunity(sampleOpportunity(patternId));
        settle();
    }
    // Out of the taskbar and pager, above other windows, shown without taking the focus.
    void expectUnobtrusive() const {
        const QString state =
            run(u"xprop -id %1 _NET_WM_STATE WM_HINTS _NET_WM_USER_TIME"_s.arg(view()->winId()));
        for (const char* hint : {"_SKIP_TASKBAR", "_SKIP_PAGER", "_STATE_ABOVE", "input focus: False",
                                 "_NET_WM_USER_TIME(CARDINAL) = 0"})
            QVERIFY2(state.contains(QLatin1String(hint)), qPrintable(state));
        QVERIFY(activeWindow() != view()->winId());
    }
    // A loaded machine: the window manager stops for 0.2 s.
    static void freezeWindowManagerBriefly() {
        const qint64 pid = qEnvironmentVariableIntValue("NORVANE_TEST_WM_PID");
        QVERIFY(pid > 0 && ::kill(pid_t(pid), SIGSTOP) == 0);
        QVERIFY(QProcess::startDetached(u"sh"_s, {u"-c"_s, u"sleep 0.2; kill -CONT %1"_s.arg(pid)}));
    }
    void expectTexts(const QList<std::pair<QString, QString>>& rows) const {
        for (const auto& [path, expected] : rows)
            QVERIFY2(text(path) == expected, qPrintable(path + u": "_s + text(path)));
    }
    void save(const QString& face) const {
        QDir().mkpath(QStringLiteral(NORVANE_SCREENSHOT_DIR));
        QVERIFY(view()->grabWindow().save(QStringLiteral(NORVANE_SCREENSHOT_DIR "/nudge-%1.png").arg(face)));
    }

private Q_SLOTS:
    void initTestCase() {
        otherApp.setStandardOutputFile(QProcess::nullDevice());
        otherApp.start(u"xev"_s, QProcess::splitCommand(u"-name Other -geometry 600x400+100+100"_s));
        QTRY_VERIFY((otherWindow = run(u"xdotool search --name ^Other$"_s).section(u'\n', 0, 0).toUInt()));
    }

    void cleanupTestCase() {
        otherApp.kill();
        otherApp.waitForFinished();
    }

    void init() {
        rig = std::make_unique<Rig>(&pasteboard);
        input = std::make_unique<SystemInputEventSource>();
        QVERIFY2(input->isAvailable(), qPrintable(input->unavailableReason()));
        desktopPresses = 0;
        input->start([this](const InputEvent& e) {
            using enum InputEventType;
            desktopPresses += e.type == LeftMouseDown || e.type == RightMouseDown || e.type == OtherMouseDown;
        });
        panel = std::make_unique<NudgePanelController>(&rig->appState, &rig->coordinator, &rig->clock,
                                                       input.get(), &keepOutOfTaskbarAndPager);
        rig->appState.setNudgePresenter(panel.get());
        run(u"xdotool windowactivate --sync %1"_s.arg(otherWindow));
        QTRY_COMPARE(activeWindow(), otherWindow);
    }

    void cleanup() {
        rig->appState.setNudgePresenter(nullptr);
        panel.reset();
        input.reset();
        rig.reset();
    }

    // The answer goes trimmed, with a frame captured for it (forced, so the unchanged-frame rule cannot
    // drop it, and kept for this request only); the recommendation is shown and stored. A blank answer,
    // or one without a nudge, starts nothing. Without a fresh frame the newest buffered one goes.
    void answerRoundTrip() {
        rig->coordinator.submitAnswer(u"a report"_s);
        rig->appState.presentOpportunity(sampleOpportunity());
        rig->coordinator.submitAnswer(u" \n\t "_s);
        rig->capturer.captureDelaySeconds = 0.5;
        rig->engine.delaySeconds = 4;
        rig->coordinator.submitAnswer(u"  \t writing the quarterly report \n"_s);
        QCOMPARE(rig->capturer.captureRequests, QList<bool>{true});
        rig->clock.advance(4.5);
        QCOMPARE(rig->engine.calls[0].userAnswer, u"writing the quarterly report"_s);
        QCOMPARE(rig->engine.calls[0].currentScreenshot->image, QByteArray("frame-1"));
        QVERIFY(rig->store.recommendations.size() == 1 && rig->store.persisted.isEmpty());

        rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);

        rig->capturer.returnNothing = true;
        rig->buffer = {makeScreenshot({}, {}, 7, "buffered-0"), makeScreenshot({}, {}, 7, "buffered-1")};
        rig->answer(sampleOpportunity(u"third"_s));
        rig->clock.advance(1);
        QCOMPARE(rig->engine.calls[1].currentScreenshot->image, QByteArray("buffered-1"));
    }

    // An answer to a nudge dismissed while it loads is still stored, but its outcome, a success or a
    // failure, never lands on the next nudge.
    void lateOutcomeLeavesALaterNudgeAlone() {
        for (const bool fails : {false, true}) {
            rig->engine.delaySeconds = 8;
            if (fails)
                rig->engine.replies.push_back(GeminiClientError::emptyResponse());
            rig->answer(sampleOpportunity(u"first"_s));
            rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
            rig->appState.presentOpportunity(sampleOpportunity(u"second"_s));
            const NudgeState second = *rig->appState.currentNudge();
            rig->clock.advance(8);
            QCOMPARE(*rig->appState.currentNudge(), second);
            QCOMPARE(rig->store.recommendations.size(), 1);
            rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        }
    }

    // 420 wide, at least 200 high, 20 from the right and bottom of the free area under the pointer.
    void panelFrame() {
        QVERIFY(nudgePanel::height(150) == 200 && nudgePanel::height(260.2) == 261);
        const ScreenArea laptop{QRect(0, 0, 1440, 900), QRect(0, 27, 1440, 873)};
        const ScreenArea monitor{QRect(1440, -300, 2560, 1440), QRect(1440, -300, 2560, 1392)};
        QCOMPARE(nudgePanel::frame({laptop, monitor}, QPoint(700, 400), 230), QRect(1000, 650, 420, 230));
        QCOMPARE(nudgePanel::frame({laptop, monitor}, QPoint(2000, 500), 230), QRect(3560, 842, 420, 230));
    }

    // The question face, shown without getting in the way; a blank answer cannot be sent; a failure comes
    // back under the question with the answer kept until it is sent again; a new nudge starts with an empty
    // field.
    void questionAndAnswer() {
        rig->engine.delaySeconds = 3;
        rig->engine.replies.push_back(GeminiClientError::apiError(u"Gemini rejected the API key."_s));
        present();
        expectUnobtrusive();
        expectTexts({{"observationText", sampleOpportunity().observation},
                     {"questionText", sampleOpportunity().question},
                     {"tellMeButton", "Tell me"},
                     {"snoozeButton", "Snooze 1 hour"},
                     {"notNowButton", "Not now"}});
        QCOMPARE(item("answerField")->property("placeholderText"), u"Tell Norvane what you're doing"_s);
        QVERIFY(shown("questionFace") && !shown("errorText") && !shown("loadingFace"));
        // Model texts are shown as they are, never as markup.
        QCOMPARE(item("observationText")->property("textFormat").toInt(), int(Qt::PlainText));
        save("question");
        click("answerField"); // the panel takes keystrokes from here on
        QTRY_VERIFY(item("answerField")->hasActiveFocus());
        view()->rootObject()->setProperty("answer", u" \n "_s);
        QVERIFY(!item("tellMeButton")->isEnabled());
        view()->rootObject()->setProperty("answer", u"  closing the books "_s);
        click("tellMeButton");
        QTRY_VERIFY(shown("loadingFace") && !shown("questionFace"));
        settle();
        QCOMPARE(text("loadingText"),
                 u"Generating one specific suggestion for what you\u2019re doing right now."_s);
        save("loading");

        rig->clock.advance(3);
        QTRY_VERIFY(shown("errorText"));
        settle();
        expectTexts({{"errorText", "Gemini rejected the API key."}, {"answerField", "  closing the books "}});
        run(u"xdotool key Return"_s); // sends it again
        QTRY_COMPARE(rig->engine.calls.size(), 2);
        QTRY_VERIFY(!shown("errorText"));
        settle();
        click("closeButton");
        QTRY_COMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::CloseButton));
        freezeWindowManagerBriefly(); // slow to let the closed card go
        present("another");           // while the closed card fades out
        expectUnobtrusive();          // again: the answer field had taken the focus
        QCOMPARE(text("answerField"), QString());
        click("notNowButton");
        QTRY_COMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::NotNow));
        present("snoozed");
        click("snoozeButton"); // no card for an hour, beyond the ten minutes between cards
        QTRY_VERIFY(!rig->appState.currentNudge());
        QCOMPARE(rig->appState.nextNudgeAllowedAt(), rig->clock.now().addSecs(3600));
    }

    // A long prompt scrolls in a box of at most 110 plus padding; the panel grows, its bottom edge 20
    // above the free area's. The exact prompt reaches the clipboard; "Copied" lasts
    // 1.5 s.
    void recommendationFace() {
        Recommendation r = FakeRecommendationEngine::sampleRecommendation();
        r.prompt = kLongPrompt;
        rig->engine.replies.push_back(r);
        rig->answer();
        settle();
        expectTexts({{"headlineText", r.headline},
                     {"detailText", r.detail},
                     {"promptCaption", "Prompt"},
                     {"copyButton", "Copy"},
                     {"promptText", kLongPrompt.trimmed()},
                     {"effortTag", "~2 min"},
                     {"impactTag", r.impact},
                     {"notUsefulButton", "Not useful"}});
        QCOMPARE(item("promptBox")->height(), 130.0);
        QTRY_COMPARE(view()->geometry().bottom(),
                     QGuiApplication::primaryScreen()->availableGeometry().bottom() - 20);
        save("recommendation");

        click("copyButton");
        QTRY_COMPARE(text("copyButton"), u"Copied"_s);
        QCOMPARE(run(u"xclip -o -selection clipboard"_s), kLongPrompt);
        rig->clock.advance(1.4);
        QCOMPARE(text("copyButton"), u"Copied"_s);
        rig->clock.advance(0.2);
        QTRY_COMPARE(text("copyButton"), u"Copy"_s);
        click("notUsefulButton");
        QTRY_COMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::NotUseful));
    }

    // A missing or blank prompt gets no block at all. Texts of any
    // length: the tags wrap, every control stays inside the card, an effort that already says "~" gets
    // no second one.
    void recommendationOfAnyShape() {
        Recommendation r = FakeRecommendationEngine::sampleRecommendation();
        for (const std::optional<QString>& prompt :
             {std::optional(u" Sum it.\n"_s), std::optional<QString>(), std::optional(u" \n"_s)}) {
            r.prompt = prompt;
            rig->engine.replies.push_back(r);
            rig->answer();
            settle();
            QCOMPARE(shown("promptBlock"), prompt == u" Sum it.\n"_s);
            rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        }
        r.headline = r.detail = QString(300, u'w');
        r.effort = u"~"_s + QString(90, u'e');
        r.impact = u"Saves "_s + QString(80, u'i') + u" a week"_s;
        rig->engine.replies.push_back(r);
        rig->answer();
        settle();
        QCOMPARE(text("effortTag"), r.effort);
        for (const char* name : {"closeButton", "copyButton", "notUsefulButton", "effortTag", "impactTag"})
            QTRY_VERIFY2_WITH_TIMEOUT(inside(name), name, 5000); // as the wrapped texts settle
    }

    // A left or right press in another application closes the card; a middle one does not (nor does one
    // on the card: see questionAndAnswer).
    void clicksOutsideClose() {
        for (const auto& [button, closes] : {std::pair(1, true), {3, true}, {2, false}}) {
            present(QString::number(button));
            desktopPresses = 0;
            clickAt(QPoint(400, 300), button); // in the other application's window
            QTRY_COMPARE(desktopPresses, 1);
            QTest::qWait(100);
            QCOMPARE(rig->lastOutcome(),
                     std::optional(closes ? NudgeOutcome::CloseButton : NudgeOutcome::Shown));
            rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        }
    }

    // 60 s left alone with the question or while loading; 120 s with a recommendation.
    // Each change after 30 s restarts the timer, so the first one firing would be caught as too early.
    void autoDismiss() {
        for (const auto& [path, allowed] :
             {std::pair("question", 60.0), {"loading", 60.0}, {"recommendation", 120.0}}) {
            rig->engine.delaySeconds = path == "loading"_L1 ? 1000 : 5;
            present(QLatin1String(path));
            if (path != "question"_L1) {
                rig->clock.advance(30);
                rig->coordinator.submitAnswer(u"a report"_s);
                rig->clock.advance(path == "loading"_L1 ? 0 : 5);
            }
            rig->clock.advance(allowed - 0.1);
            QVERIFY2(rig->appState.currentNudge(), path);
            rig->clock.advance(0.2);
            QCOMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::AutoDismissed));
            QTRY_VERIFY(!view()->isVisible());
        }
    }
};

QTEST_MAIN(NudgeTest)
#include "tst_nudge.moc"
