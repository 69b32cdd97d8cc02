// The nudge from the user's answer to a recommendation, and the card in its panel under a real X server
// with openbox beside another application's window: the card's faces and texts, where the panel sits,
// how it takes focus, what closes it and when it goes by itself. Input goes through XTEST with xdotool;
// xprop, xwininfo and xclip read back what X holds. Saves a PNG of each face to look at.
#include "fakes/FakeInputEventSource.h"
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
#include <QRasterWindow>
#include <QScreen>
#include <QTest>

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

const QString kLongPrompt =
    u"  \nYou are given invoices as PDF files. For every invoice, extract:\n- the invoice "
    "number\n- the invoice date\n- the supplier name\n- the net total\n- the VAT amount\n- "
    "the gross total\n\nReturn one Markdown table with one row per invoice.\n\n  "_s;

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
        void showRecommendation(std::optional<QString> prompt) {
            appState.presentOpportunity(sampleOpportunity());
            engine.replies.push_back(FakeRecommendationEngine::sampleRecommendation());
            engine.replies.back().value().prompt = std::move(prompt);
            coordinator.submitAnswer(u"a report"_s);
        }
        std::optional<NudgeOutcome> lastOutcome() const {
            const auto& history = appState.nudgeHistory();
            return history.isEmpty() ? std::nullopt : std::optional(history.last().outcome);
        }
    };

    QProcess otherApp;
    quint32 otherWindow = 0;
    const QRect otherFrame{100, 100, 600, 400};
    SystemPasteboard pasteboard;
    std::unique_ptr<Rig> rig;
    std::unique_ptr<SystemInputEventSource> input;
    std::unique_ptr<NudgePanelController> panel;
    int desktopPresses = 0;

    QQuickView* view() const { return panel->panel(); }
    QQuickItem* item(const QString& name) const { return view()->rootObject()->findChild<QQuickItem*>(name); }
    // "name", or "name.property" when it is not the text.
    QString text(const QString& path) const {
        const QString property = path.contains(u'.') ? path.section(u'.', 1) : u"text"_s;
        return item(path.section(u'.', 0, 0))->property(qPrintable(property)).toString();
    }
    qreal top(const QString& name) const { return item(name)->mapToScene({}).y(); }
    // Visible on screen: the item and every ancestor up to the card.
    bool shown(const QString& name) const {
        for (QQuickItem* i = item(name); i; i = i->parentItem())
            if (!i->isVisible())
                return false;
        return item(name);
    }
    void click(const QString& name) {
        const QQuickItem* i = item(name);
        clickAt(view()->position() + i->mapToScene(QPointF(i->width() / 2, i->height() / 2)).toPoint());
    }
    void makePanel(InputEventSource* source) {
        rig->appState.setNudgePresenter(nullptr);
        panel = std::make_unique<NudgePanelController>(&rig->appState, &rig->coordinator, &rig->clock, source,
                                                       &keepOutOfTaskbarAndPager);
        rig->appState.setNudgePresenter(panel.get());
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
    void activateOtherApp() {
        run(u"xdotool windowactivate --sync %1"_s.arg(otherWindow));
        QTRY_COMPARE(activeWindow(), otherWindow);
    }
    void expectTexts(const QList<std::pair<QString, QString>>& rows) const {
        for (const auto& [path, expected] : rows)
            QVERIFY2(text(path) == expected, qPrintable(path + u": "_s + text(path)));
    }
    void expectTopToBottom(const QStringList& names) const {
        for (qsizetype i = 1; i < names.size(); ++i)
            QVERIFY2(top(names[i - 1]) < top(names[i]), qPrintable(names[i]));
    }
    void save(const QString& face) const {
        QDir().mkpath(QStringLiteral(NORVANE_SCREENSHOT_DIR));
        QVERIFY(view()->grabWindow().save(QStringLiteral(NORVANE_SCREENSHOT_DIR "/nudge-%1.png").arg(face)));
    }

private slots:
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
            desktopPresses += e.type == InputEventType::LeftMouseDown ||
                              e.type == InputEventType::RightMouseDown ||
                              e.type == InputEventType::OtherMouseDown;
        });
        makePanel(input.get());
        activateOtherApp();
    }

    void cleanup() {
        rig->appState.setNudgePresenter(nullptr);
        panel.reset();
        input.reset();
        rig.reset();
    }

    // The answer goes trimmed, with a frame captured for it (forced, so the unchanged-frame rule cannot
    // drop it); the recommendation is shown and stored. A blank answer, or one without a nudge, starts
    // nothing.
    void answerRoundTrip() {
        rig->coordinator.submitAnswer(u"a report"_s);
        rig->appState.presentOpportunity(sampleOpportunity());
        rig->coordinator.submitAnswer(u" \n\t "_s);
        QCOMPARE(rig->appState.currentNudge()->phase, NudgePhase::Question);
        QVERIFY(rig->capturer.captureRequests.isEmpty());

        rig->capturer.captureDelaySeconds = 0.5;
        rig->engine.delaySeconds = 4;
        rig->coordinator.submitAnswer(u"  \t writing the quarterly report \n"_s);
        QCOMPARE(rig->appState.currentNudge()->phase, NudgePhase::LoadingRecommendation);
        QCOMPARE(rig->capturer.captureRequests, QList<bool>{true});
        QVERIFY(rig->engine.calls.isEmpty());
        rig->clock.advance(0.5);
        QCOMPARE(rig->engine.calls.size(), 1);
        QCOMPARE(rig->engine.calls[0].userAnswer, u"writing the quarterly report"_s);
        QCOMPARE(rig->engine.calls[0].opportunity, sampleOpportunity());
        QCOMPARE(rig->engine.calls[0].currentScreenshot->image, QByteArray("frame-1"));
        rig->clock.advance(4);
        QCOMPARE(*rig->appState.currentNudge()->recommendation,
                 FakeRecommendationEngine::sampleRecommendation());
        QCOMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::RecommendationShown));
        QCOMPARE(rig->store.recommendations.size(), 1);
        QCOMPARE(rig->store.recommendations[0].userAnswer, u"writing the quarterly report"_s);
        QVERIFY(rig->store.persisted.isEmpty()); // the fresh frame is for this request only

        // A card taken away while its picture is taken (monitoring was stopped) sends nothing anywhere.
        rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        rig->appState.presentOpportunity(sampleOpportunity(u"another"_s));
        rig->coordinator.submitAnswer(u"the totals"_s);
        rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        rig->clock.advance(5);
        QCOMPARE(rig->engine.calls.size(), 1);
    }

    // Without a fresh frame the newest buffered one goes.
    void failedCaptureFallsBackToTheBuffer() {
        rig->capturer.returnNothing = true;
        rig->buffer = {makeScreenshot({}, {}, 7, "buffered-0"), makeScreenshot({}, {}, 7, "buffered-1")};
        rig->appState.presentOpportunity(sampleOpportunity());
        rig->coordinator.submitAnswer(u"totals"_s);
        QCOMPARE(rig->engine.calls[0].currentScreenshot->image, QByteArray("buffered-1"));
    }

    // An answer to a nudge dismissed while it loads is still stored, but never lands on the next nudge.
    void lateOutcomeLeavesALaterNudgeAlone() {
        for (const bool fails : {false, true}) {
            rig->engine.delaySeconds = 8;
            if (fails)
                rig->engine.replies.push_back(GeminiClientError::emptyResponse());
            rig->appState.presentOpportunity(sampleOpportunity(u"first"_s));
            rig->coordinator.submitAnswer(u"the weekly digest"_s);
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
        QCOMPARE(nudgePanel::height(150), 200);
        QCOMPARE(nudgePanel::height(260.2), 261);
        QCOMPARE(nudgePanel::height(std::nullopt), 300); // no card yet
        const ScreenArea laptop{QRect(0, 0, 1440, 900), QRect(0, 27, 1440, 873)};
        const ScreenArea monitor{QRect(1440, -300, 2560, 1440), QRect(1440, -300, 2560, 1392)};
        const ScreenArea left{QRect(-1920, 0, 1920, 1080), QRect(-1920, 0, 1920, 1040)};
        const QRect onLaptop(1000, 650, 420, 230);
        QCOMPARE(nudgePanel::frame({laptop, monitor}, QPoint(700, 400), 230), onLaptop);
        QCOMPARE(nudgePanel::frame({laptop, monitor}, QPoint(2000, 500), 230), QRect(3560, 842, 420, 230));
        QCOMPARE(nudgePanel::frame({laptop, left}, QPoint(-100, 100), 230), QRect(-440, 790, 420, 230));
        QCOMPARE(nudgePanel::frame({laptop, monitor}, QPoint(-50, -50), 230), onLaptop); // on no screen
        QCOMPARE(nudgePanel::frame({}, QPoint(0, 0), 230), onLaptop);
    }

    // Where X has it, out of the taskbar and pager, above other windows, shown without taking the focus
    // until the answer field is clicked: each showing, as the window manager forgets a hidden window.
    void panelSitsInTheCornerWithoutTakingFocus() {
        for (const QString& pattern : {u"first"_s, u"second"_s}) {
            present(pattern);
            const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
            const QString info = run(u"xwininfo -id %1"_s.arg(quint32(view()->winId())));
            QVERIFY2(info.contains(u"Absolute upper-left X:  %1\n  Absolute upper-left Y:  %2"_s
                                       .arg(area.right() + 1 - 440)
                                       .arg(area.bottom() + 1 - 20 - view()->height())) &&
                         info.contains(u"Width: 420"_s),
                     qPrintable(info));
            const QString state =
                run(u"xprop -id %1 _NET_WM_STATE WM_HINTS _NET_WM_USER_TIME"_s.arg(view()->winId()));
            for (const char* hint : {"_SKIP_TASKBAR", "_SKIP_PAGER", "_STATE_ABOVE", "input focus: False",
                                     "_NET_WM_USER_TIME(CARDINAL) = 0"})
                QVERIFY2(state.contains(QLatin1String(hint)), qPrintable(state));
            QCOMPARE(activeWindow(), otherWindow);
            click("answerField");
            QTRY_VERIFY(item("answerField")->hasActiveFocus());
            rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
            QTRY_VERIFY(!view()->isVisible());
            activateOtherApp();
        }
    }

    void questionFace() {
        present();
        expectTexts({{"titleText", "Norvane"},
                     {"observationText", sampleOpportunity().observation},
                     {"questionText", sampleOpportunity().question},
                     {"answerField.placeholderText", "Tell Norvane what you're doing"},
                     {"tellMeButton", "Tell me"},
                     {"notNowButton", "Not now"}});
        QVERIFY(shown("questionFace") && !shown("errorText") && !shown("loadingFace"));
        expectTopToBottom({"titleText", "observationText", "questionText", "answerField", "tellMeButton"});
        QCOMPARE(top("tellMeButton"), top("notNowButton"));
        QVERIFY(!item("observationText")->property("truncated").toBool()); // it wraps instead
        save("question");
        click("notNowButton");
        QTRY_COMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::NotNow));

        // Model texts are shown as they are, never as markup.
        Opportunity marked = sampleOpportunity(u"marked"_s);
        marked.observation = u"<b>bold</b> & <i>tags</i>"_s;
        rig->appState.presentOpportunity(marked);
        QCOMPARE(text("observationText"), marked.observation);
        QCOMPARE(item("observationText")->property("textFormat").toInt(), int(Qt::PlainText));
    }

    // A blank answer is not sent; a failure comes back under the question with the answer kept, until
    // it is sent again; a new nudge starts with an empty field.
    void answering() {
        rig->engine.delaySeconds = 3;
        rig->engine.replies.push_back(GeminiClientError::apiError(u"Gemini rejected the API key."_s));
        present();
        click("answerField");
        QTRY_VERIFY(item("answerField")->hasActiveFocus());
        run(u"xdotool type \"  \""_s);
        QTRY_COMPARE(text("answerField"), u"  "_s);
        QVERIFY(!item("tellMeButton")->isEnabled());
        run(u"xdotool key Return"_s);
        run(u"xdotool type --delay 15 \"closing the books \""_s);
        QTRY_COMPARE(text("answerField"), u"  closing the books "_s);
        QVERIFY(rig->engine.calls.isEmpty());
        run(u"xdotool key Return"_s);
        QTRY_COMPARE(rig->engine.calls.size(), 1);
        settle();
        QVERIFY(shown("loadingFace") && !shown("questionFace"));
        expectTexts(
            {{"loadingText", u"Generating one specific suggestion for what you\u2019re doing right now."_s}});
        QCOMPARE(view()->height(), 200); // the loading face needs less: the panel keeps its least height
        save("loading");

        rig->clock.advance(3);
        QTRY_VERIFY(shown("errorText"));
        settle();
        QCOMPARE(text("errorText"), u"Gemini rejected the API key."_s);
        expectTopToBottom({"questionText", "errorText", "answerField"});
        QCOMPARE(text("answerField"), u"  closing the books "_s);
        click("tellMeButton");
        QTRY_COMPARE(rig->engine.calls.size(), 2);
        QVERIFY(!rig->appState.currentNudge()->errorMessage);
        click("closeButton");
        QTRY_COMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::CloseButton));
        present("another");
        QCOMPARE(text("answerField"), QString());
    }

    void recommendationFace() {
        rig->showRecommendation(kLongPrompt);
        settle();
        const Recommendation r = FakeRecommendationEngine::sampleRecommendation();
        QVERIFY(shown("recommendationFace") && !shown("questionFace") && !shown("loadingFace"));
        expectTexts({{"headlineText", r.headline},
                     {"detailText", r.detail},
                     {"promptCaption", "Prompt"},
                     {"copyButton", "Copy"},
                     {"promptText", kLongPrompt.trimmed()},
                     {"effortTag", "~2 min"},
                     {"impactTag", r.impact},
                     {"notUsefulButton", "Not useful"}});
        expectTopToBottom(
            {"headlineText", "detailText", "promptCaption", "promptBox", "effortTag", "notUsefulButton"});
        const QFont font = item("promptText")->property("font").value<QFont>();
        QVERIFY(font.fixedPitch() || QFontInfo(font).fixedPitch());
        // A long prompt scrolls in a box of at most 110 plus padding; the panel grows, its bottom edge stays.
        QCOMPARE(item("promptBox")->height(), 130.0);
        QVERIFY(shown("promptScrollBar") && view()->height() > 200);
        QTRY_COMPARE(view()->geometry().bottom(),
                     QGuiApplication::primaryScreen()->availableGeometry().bottom() - 20);
        save("recommendation");

        // The exact prompt reaches the clipboard, as plain text only; "Copied" lasts 1.5 s.
        click("copyButton");
        QTRY_COMPARE(text("copyButton"), u"Copied"_s);
        QCOMPARE(run(u"xclip -o -selection clipboard"_s), kLongPrompt);
        const QString offered = run(u"xclip -o -selection clipboard -t TARGETS"_s);
        QVERIFY2(offered.contains(u"UTF8_STRING") && !offered.contains(u"text/html"), qPrintable(offered));
        rig->clock.advance(1.4);
        QCOMPARE(text("copyButton"), u"Copied"_s);
        rig->clock.advance(0.2);
        QTRY_COMPARE(text("copyButton"), u"Copy"_s);

        // A short prompt gets a box that fits it; a missing or blank one, no block at all.
        for (const std::optional<QString>& prompt :
             {std::optional(u" Sum it.\n"_s), std::optional<QString>(), std::optional(u" \n"_s)}) {
            rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
            rig->showRecommendation(prompt);
            settle();
            QCOMPARE(shown("promptBlock"), !prompt.value_or(QString()).trimmed().isEmpty());
            if (shown("promptBlock"))
                QCOMPARE(item("promptBox")->height(), item("promptText")->implicitHeight() + 20);
            QVERIFY(shown("effortTag") && shown("notUsefulButton"));
        }

        // Model texts of any length: the tags wrap, every control stays inside the card, an effort that
        // already says "~" gets no second one. Without a compositor the corners are square.
        rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        Recommendation wide = FakeRecommendationEngine::sampleRecommendation();
        wide.headline = wide.detail = QString(300, u'w');
        wide.effort = u"~"_s + QString(90, u'e');
        wide.impact = u"Saves "_s + QString(80, u'i') + u" a week"_s;
        rig->engine.replies.push_back(wide);
        present();
        rig->coordinator.submitAnswer(u"a report"_s);
        settle();
        QCOMPARE(text("effortTag"), wide.effort);
        // The panel follows the card's height as the wrapped texts settle.
        const auto inside = [this](const QString& name) {
            const QQuickItem* i = item(name);
            return QRectF(0, 0, view()->width(), view()->height())
                .contains(i->mapRectToScene(QRectF(0, 0, i->width(), i->height())));
        };
        for (const QString& name : {u"closeButton"_s, u"copyButton"_s, u"notUsefulButton"_s, u"effortTag"_s,
                                    u"impactTag"_s, u"headlineText"_s})
            QTRY_VERIFY2_WITH_TIMEOUT(inside(name), qPrintable(name), 5000);
        NudgePanelController::setTranslucent(view(), false);
        QCOMPARE(item("cardBackground")->property("radius").toDouble(), 0.0);
        click("notUsefulButton");
        QTRY_COMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::NotUseful));
    }

    void clicksOutsideClose_data() {
        QTest::addColumn<bool>("desktop"); // else no desktop-wide source: a click in this process's windows
        QTest::addColumn<bool>("onCard");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("closes");
        QTest::newRow("left in another application") << true << false << 1 << true;
        QTest::newRow("right in another application") << true << false << 3 << true;
        QTest::newRow("middle in another application") << true << false << 2 << false;
        QTest::newRow("on the card") << true << true << 1 << false;
        QTest::newRow("left in another own window") << false << false << 1 << true;
    }

    void clicksOutsideClose() {
        QFETCH(bool, desktop);
        QFETCH(bool, onCard);
        QFETCH(int, button);
        QFETCH(bool, closes);
        FakeInputEventSource unavailable;
        unavailable.available = false;
        QRasterWindow ownWindow;
        if (!desktop) {
            makePanel(&unavailable);
            ownWindow.setGeometry(otherFrame);
            ownWindow.show();
            QVERIFY(QTest::qWaitForWindowExposed(&ownWindow));
        }
        present();
        if (onCard)
            click("observationText");
        else
            clickAt(otherFrame.center(), button);
        QTRY_COMPARE(desktopPresses, 1);
        QTest::qWait(100);
        QCOMPARE(rig->lastOutcome(), std::optional(closes ? NudgeOutcome::CloseButton : NudgeOutcome::Shown));
    }

    void autoDismiss_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<double>("allowed"); // seconds after the last change
        QTest::newRow("question left alone") << u"question"_s << 60.0;
        QTest::newRow("answered, still loading") << u"loading"_s << 60.0;
        QTest::newRow("recommendation shown") << u"recommendation"_s << 120.0;
        QTest::newRow("failure back to the question") << u"failure"_s << 60.0;
    }

    // Each change after 30 s restarts the timer, so the first one firing would be caught as too early.
    void autoDismiss() {
        QFETCH(QString, path);
        QFETCH(double, allowed);
        rig->engine.delaySeconds = path == u"loading" ? 1000 : 5;
        if (path == u"failure")
            rig->engine.replies.push_back(GeminiClientError::emptyResponse());
        present();
        if (path != u"question") {
            rig->clock.advance(30);
            rig->coordinator.submitAnswer(u"a report"_s);
            rig->clock.advance(path == u"loading" ? 0 : 5);
        }
        rig->clock.advance(allowed - 0.1);
        QVERIFY2(rig->appState.currentNudge(), "dismissed too early");
        rig->clock.advance(0.2);
        QCOMPARE(rig->lastOutcome(), std::optional(NudgeOutcome::AutoDismissed));
        QTRY_VERIFY(!view()->isVisible());
    }
};

QTEST_MAIN(NudgeTest)
#include "tst_nudge.moc"
