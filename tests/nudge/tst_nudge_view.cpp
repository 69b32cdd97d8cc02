#include "fakes/FakeRecommendationEngine.h"
#include "fakes/Fakes.h"
#include "nudge/NudgeCoordinator.h"
#include "nudge/NudgePanelController.h"

#include <QDir>
#include <QPainter>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTest>

#include <memory>

using namespace norvane;
using namespace norvane::testing;

namespace {

Opportunity sampleOpportunity(const QString& patternId = QStringLiteral("retyping-totals")) {
    Opportunity o;
    o.patternId = patternId;
    o.confidence = 0.9;
    o.observation =
        QStringLiteral("You have copied totals from the invoice PDFs into the spreadsheet by hand for "
                       "the last ten minutes.");
    o.question = QStringLiteral("What is the spreadsheet for, and where do the invoices come from?");
    return o;
}

Recommendation sampleRecommendation(std::optional<QString> prompt) {
    Recommendation r;
    r.headline = QStringLiteral("Let a model pull the totals out of all the PDFs at once");
    r.detail =
        QStringLiteral("Drop the invoices into a chat model with the prompt below and paste the table it "
                       "returns straight into the sheet.");
    r.prompt = std::move(prompt);
    r.effort = QStringLiteral("2 min");
    r.impact = QStringLiteral("Saves about 20 minutes");
    return r;
}

// QTest types whole strings into widgets only; a window gets one key at a time.
void typeText(QWindow* window, const QString& text) {
    for (const QChar c : text)
        QTest::keyClick(window, c.toLatin1());
}

const QString kLongPrompt = QStringLiteral(
    "  \nYou are given invoices as PDF files. For every invoice, extract:\n"
    "- the invoice number\n- the issue date (YYYY-MM-DD)\n- the supplier name\n- the net total\n"
    "- the VAT amount\n- the gross total\n\nReturn one Markdown table with one row per invoice, sorted by "
    "date, and nothing else. If a value is missing, leave the cell empty.\n\n  ");

} // namespace

class NudgeViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<AppState> appState;
    std::unique_ptr<FakePasteboard> pasteboard;
    std::unique_ptr<FakeScreenCapturer> capturer;
    std::unique_ptr<FakeRecommendationEngine> engine;
    std::unique_ptr<FakeScreenshotStore> store;
    std::unique_ptr<NudgeCoordinator> coordinator;
    std::unique_ptr<QQuickView> view;

    QQuickItem* card() const { return view->rootObject(); }

    QQuickItem* item(const char* name) const {
        auto* found = card()->findChild<QQuickItem*>(QLatin1String(name));
        if (!found)
            qWarning("no item named %s", name);
        return found;
    }

    // Visible on screen: the item and every ancestor up to the card.
    bool shown(const char* name) const {
        for (QQuickItem* i = item(name); i; i = i->parentItem()) {
            if (!i->isVisible())
                return false;
        }
        return item(name) != nullptr;
    }

    QString text(const char* name) const { return item(name)->property("text").toString(); }
    qreal sceneY(const char* name) const { return item(name)->mapToScene(QPointF(0, 0)).y(); }
    qreal sceneX(const char* name) const { return item(name)->mapToScene(QPointF(0, 0)).x(); }

    // Brings the window to the card's fitting height and lets the scene settle.
    void settle() {
        // Layouts work out their size lazily; asking the content brings the card's height up to date.
        item("cardContent")->implicitHeight();
        QTRY_COMPARE(view->height(), nudgePanel::height(card()->implicitHeight()));
        QTest::qWait(30);
    }

    void click(const char* name) {
        QQuickItem* target = item(name);
        QVERIFY(target);
        const QPoint centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint();
        QTest::mouseClick(view.get(), Qt::LeftButton, Qt::NoModifier, centre);
    }

    void typeIntoAnswer(const QString& typed) {
        settle();
        click("answerField");
        QTRY_VERIFY(item("answerField")->hasActiveFocus());
        typeText(view.get(), typed);
    }

    void showNudge() { appState->presentOpportunity(sampleOpportunity()); }

    void showRecommendation(std::optional<QString> prompt) {
        showNudge();
        engine->replies.push_back(sampleRecommendation(std::move(prompt)));
        coordinator->submitAnswer(QStringLiteral("a report"));
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::Recommendation);
    }

    // The card as users see it: over a desktop-like backdrop, with some room around it.
    void saveScreenshot(const QString& name) {
        settle();
        const QImage cardImage = view->grabWindow();
        QVERIFY(!cardImage.isNull());
        const int margin = 28;
        QImage canvas(cardImage.width() + 2 * margin, cardImage.height() + 2 * margin,
                      QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&canvas);
        QLinearGradient wallpaper(0, 0, canvas.width(), canvas.height());
        wallpaper.setColorAt(0, QColor(0x4b, 0x6c, 0xb7));
        wallpaper.setColorAt(1, QColor(0x18, 0x28, 0x48));
        painter.fillRect(canvas.rect(), wallpaper);
        painter.drawImage(margin, margin, cardImage);
        painter.end();
        QDir().mkpath(QStringLiteral(NORVANE_SCREENSHOT_DIR));
        const QString path = QStringLiteral(NORVANE_SCREENSHOT_DIR "/nudge-%1.png").arg(name);
        QVERIFY2(canvas.save(path), qPrintable(path));
    }

private slots:
    void init() {
        clock = std::make_unique<ManualClock>();
        appState = std::make_unique<AppState>(nullptr, nullptr, clock.get());
        pasteboard = std::make_unique<FakePasteboard>();
        capturer = std::make_unique<FakeScreenCapturer>();
        engine = std::make_unique<FakeRecommendationEngine>();
        store = std::make_unique<FakeScreenshotStore>();
        coordinator = std::make_unique<NudgeCoordinator>(
            pasteboard.get(), appState.get(), capturer.get(), [] { return QList<Screenshot>{}; },
            engine.get(), store.get(), clock.get());

        view = std::make_unique<QQuickView>();
        QSurfaceFormat format = view->format();
        format.setAlphaBufferSize(8);
        view->setFormat(format);
        view->setColor(Qt::transparent);
        view->setResizeMode(QQuickView::SizeRootObjectToView);
        QQmlEngine::setObjectOwnership(appState.get(), QQmlEngine::CppOwnership);
        QQmlEngine::setObjectOwnership(coordinator.get(), QQmlEngine::CppOwnership);
        view->setInitialProperties(
            {{QStringLiteral("appState"), QVariant::fromValue<QObject*>(appState.get())},
             {QStringLiteral("coordinator"), QVariant::fromValue<QObject*>(coordinator.get())}});
        view->setSource(NudgePanelController::viewUrl());
        QVERIFY2(view->status() == QQuickView::Ready, qPrintable(view->errors().value(0).toString()));
        // The window follows the card's fitting height, as the panel does.
        connect(card(), &QQuickItem::implicitHeightChanged, view.get(),
                [this] { view->resize(420, nudgePanel::height(card()->implicitHeight())); });
        view->resize(420, nudgePanel::height(card()->implicitHeight()));
        view->setPosition(40, 40);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }

    void cleanup() {
        view.reset();
        coordinator.reset();
        appState.reset();
    }

    void withoutANudgeOnlyTheHeaderShows() {
        QVERIFY(shown("titleText"));
        QVERIFY(shown("closeButton"));
        QVERIFY(!shown("questionFace"));
        QVERIFY(!shown("loadingFace"));
        QVERIFY(!shown("recommendationFace"));
        QCOMPARE(card()->implicitWidth(), 420.0);
        // Header (24) plus padding.
        QCOMPARE(card()->implicitHeight(), 24.0 + 32.0);
    }

    void questionFaceShowsItsTextsInOrder() {
        showNudge();
        settle();

        QCOMPARE(text("titleText"), QStringLiteral("Norvane"));
        QCOMPARE(text("observationText"), sampleOpportunity().observation);
        QCOMPARE(text("questionText"), sampleOpportunity().question);
        QCOMPARE(item("answerField")->property("placeholderText").toString(),
                 QStringLiteral("Tell Norvane what you're doing"));
        QCOMPARE(text("tellMeButton"), QStringLiteral("Tell me"));
        QCOMPARE(text("notNowButton"), QStringLiteral("Not now"));
        QVERIFY(!shown("errorText"));
        QVERIFY(!shown("loadingFace"));
        QVERIFY(!shown("recommendationFace"));

        QVERIFY(sceneY("titleText") < sceneY("observationText"));
        QVERIFY(sceneY("observationText") < sceneY("questionText"));
        QVERIFY(sceneY("questionText") < sceneY("answerField"));
        QVERIFY(sceneY("answerField") < sceneY("tellMeButton"));
        QCOMPARE(sceneY("tellMeButton"), sceneY("notNowButton"));
        // "Tell me" on the left edge of the content, "Not now" on its right edge.
        QCOMPARE(sceneX("tellMeButton"), 16.0);
        QCOMPARE(sceneX("notNowButton") + item("notNowButton")->width(), 420.0 - 16.0);
        // The observation wraps instead of being cut off.
        QVERIFY(item("observationText")->height() >
                1.5 * item("questionText")->property("font").value<QFont>().pixelSize());
        QCOMPARE(item("observationText")->property("truncated").toBool(), false);

        saveScreenshot(QStringLiteral("question"));
    }

    void errorLineAppearsOnlyWithAMessage() {
        showNudge();
        engine->replies.push_back(
            GeminiClientError::apiError(QStringLiteral("Gemini rejected the API key.")));
        typeIntoAnswer(QStringLiteral("reconciling invoices "));
        QTest::keyClick(view.get(), Qt::Key_Return);
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::Question);
        settle();

        QVERIFY(shown("errorText"));
        QCOMPARE(text("errorText"), QStringLiteral("Gemini rejected the API key."));
        QVERIFY(sceneY("questionText") < sceneY("errorText"));
        QVERIFY(sceneY("errorText") < sceneY("answerField"));
        const QColor colour = item("errorText")->property("color").value<QColor>();
        QVERIFY2(colour.red() > 200 && colour.green() > 100 && colour.green() < 200 && colour.blue() < 60,
                 qPrintable(colour.name()));
        // The same nudge came back: the typed answer is still there.
        QCOMPARE(text("answerField"), QStringLiteral("reconciling invoices "));

        saveScreenshot(QStringLiteral("question-error"));
    }

    void tellMeNeedsANonBlankAnswer_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("nothing") << QString() << false;
        QTest::newRow("spaces") << QStringLiteral("   ") << false;
        QTest::newRow("a word") << QStringLiteral("invoices") << true;
        QTest::newRow("a word between spaces") << QStringLiteral("  q3  ") << true;
    }

    void tellMeNeedsANonBlankAnswer() {
        QFETCH(QString, typed);
        QFETCH(bool, enabled);
        showNudge();
        typeIntoAnswer(typed);
        QCOMPARE(text("answerField"), typed);
        QCOMPARE(item("tellMeButton")->isEnabled(), enabled);

        settle();
        click("tellMeButton");
        QCOMPARE(appState->currentNudge()->phase,
                 enabled ? NudgePhase::Recommendation : NudgePhase::Question);
        QCOMPARE(engine->calls.size(), enabled ? 1 : 0);
    }

    void returnSubmitsTheAnswerAsTyped() {
        showNudge();
        engine->clock = clock.get();
        engine->delaySeconds = 5;

        // A blank answer reaches the coordinator, which ignores it.
        typeIntoAnswer(QStringLiteral("  "));
        QTest::keyClick(view.get(), Qt::Key_Return);
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::Question);

        typeText(view.get(), QStringLiteral("closing the month "));
        QTest::keyClick(view.get(), Qt::Key_Return);
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::LoadingRecommendation);
        QCOMPARE(appState->currentNudge()->userAnswer, QStringLiteral("closing the month"));
        QCOMPARE(engine->calls.size(), 1);
    }

    void buttonsDismissWithTheirReasons_data() {
        QTest::addColumn<bool>("recommendation");
        QTest::addColumn<QString>("button");
        QTest::addColumn<NudgeOutcome>("outcome");
        QTest::newRow("close, question")
            << false << QStringLiteral("closeButton") << NudgeOutcome::CloseButton;
        QTest::newRow("not now") << false << QStringLiteral("notNowButton") << NudgeOutcome::NotNow;
        QTest::newRow("close, recommendation")
            << true << QStringLiteral("closeButton") << NudgeOutcome::CloseButton;
        QTest::newRow("not useful") << true << QStringLiteral("notUsefulButton") << NudgeOutcome::NotUseful;
    }

    void buttonsDismissWithTheirReasons() {
        QFETCH(bool, recommendation);
        QFETCH(QString, button);
        QFETCH(NudgeOutcome, outcome);
        if (recommendation)
            showRecommendation(QStringLiteral("Summarise"));
        else
            showNudge();
        settle();

        click(button.toLatin1().constData());

        QVERIFY(!appState->currentNudge());
        QCOMPARE(appState->nudgeHistory().last().outcome, outcome);
        QVERIFY(!shown("questionFace"));
        QVERIFY(!shown("recommendationFace"));
    }

    void loadingFace() {
        showNudge();
        engine->clock = clock.get();
        engine->delaySeconds = 5;
        coordinator->submitAnswer(QStringLiteral("closing the month"));
        settle();

        QVERIFY(shown("loadingFace"));
        QVERIFY(!shown("questionFace"));
        QVERIFY(!shown("recommendationFace"));
        QVERIFY(item("loadingIndicator")->property("indeterminate").toBool());
        QCOMPARE(text("loadingText"),
                 QStringLiteral("Generating one specific suggestion for what you\u2019re doing right now."));
        QVERIFY(sceneY("loadingIndicator") < sceneY("loadingText"));

        QTest::qWait(700); // let the sweep move into view for the picture

        saveScreenshot(QStringLiteral("loading"));
    }

    void recommendationFaceShowsItsPartsInOrder() {
        showRecommendation(kLongPrompt);
        settle();

        QVERIFY(shown("recommendationFace"));
        QVERIFY(!shown("questionFace"));
        QVERIFY(!shown("loadingFace"));
        const Recommendation r = sampleRecommendation(kLongPrompt);
        QCOMPARE(text("headlineText"), r.headline);
        QCOMPARE(text("detailText"), r.detail);
        QCOMPARE(text("promptCaption"), QStringLiteral("Prompt"));
        QCOMPARE(text("copyButton"), QStringLiteral("Copy"));
        QCOMPARE(text("promptText"), kLongPrompt.trimmed());
        QVERIFY(item("promptText")->property("readOnly").toBool());
        QVERIFY(item("promptText")->property("selectByMouse").toBool());
        QVERIFY(item("promptText")->property("font").value<QFont>().fixedPitch() ||
                QFontInfo(item("promptText")->property("font").value<QFont>()).fixedPitch());
        QCOMPARE(text("effortTag"), QStringLiteral("~2 min"));
        QCOMPARE(text("impactTag"), QStringLiteral("Saves about 20 minutes"));
        QCOMPARE(text("notUsefulButton"), QStringLiteral("Not useful"));

        QVERIFY(sceneY("headlineText") < sceneY("detailText"));
        QVERIFY(sceneY("detailText") < sceneY("promptCaption"));
        QCOMPARE(sceneY("promptCaption") < sceneY("promptBox"), true);
        QVERIFY(sceneY("promptBox") < sceneY("effortTag"));
        QCOMPARE(sceneY("effortTag"), sceneY("impactTag"));
        QCOMPARE(sceneX("impactTag") - (sceneX("effortTag") + item("effortTag")->width()), 8.0);
        QVERIFY(sceneY("effortTag") < sceneY("notUsefulButton"));
        QCOMPARE(sceneX("notUsefulButton") + item("notUsefulButton")->width(), 420.0 - 16.0);
        QCOMPARE(sceneX("copyButton") + item("copyButton")->width(), 420.0 - 16.0);

        // A long prompt scrolls inside a box of at most 110 plus its padding, with its scroll bar showing.
        QCOMPARE(item("promptScroll")->height(), 110.0);
        QCOMPARE(item("promptBox")->height(), 130.0);
        QVERIFY(item("promptText")->implicitHeight() > 110);
        QVERIFY(shown("promptScrollBar"));
        QCOMPARE(item("promptScrollBar")->property("policy").toInt(), 2 /* ScrollBar.AlwaysOn */);

        saveScreenshot(QStringLiteral("recommendation"));
    }

    void shortPromptBoxFitsItsText() {
        showRecommendation(QStringLiteral("  Summarise these rows as a table.\n"));
        settle();
        QCOMPARE(text("promptText"), QStringLiteral("Summarise these rows as a table."));
        const qreal textHeight = item("promptText")->implicitHeight();
        QVERIFY(textHeight < 40);
        QCOMPARE(item("promptBox")->height(), textHeight + 20);
        QVERIFY(!shown("promptScrollBar") ||
                item("promptScrollBar")->property("policy").toInt() == 0 /* ScrollBar.AlwaysOff */);
    }

    void noPromptBlockForAMissingOrBlankPrompt_data() {
        QTest::addColumn<std::optional<QString>>("prompt");
        QTest::newRow("absent") << std::optional<QString>();
        QTest::newRow("empty") << std::optional<QString>(QString());
        QTest::newRow("blank") << std::optional<QString>(QStringLiteral(" \n\t "));
    }

    void noPromptBlockForAMissingOrBlankPrompt() {
        QFETCH(std::optional<QString>, prompt);
        showRecommendation(prompt);
        settle();

        QVERIFY(shown("headlineText"));
        QVERIFY(!shown("promptBlock"));
        QVERIFY(!shown("copyButton"));
        QVERIFY(shown("effortTag"));
        QVERIFY(shown("impactTag"));
        QVERIFY(shown("notUsefulButton"));
        QVERIFY(sceneY("detailText") < sceneY("effortTag"));

        if (!prompt)
            saveScreenshot(QStringLiteral("recommendation-no-prompt"));
    }

    void copyTakesTheExactPromptAndShowsCopied() {
        showRecommendation(kLongPrompt);
        settle();

        click("copyButton");

        QCOMPARE(pasteboard->copies, QStringList{kLongPrompt});
        QTRY_COMPARE(text("copyButton"), QStringLiteral("Copied"));
        clock->advance(1.4);
        QCOMPARE(text("copyButton"), QStringLiteral("Copied"));
        clock->advance(0.2);
        QTRY_COMPARE(text("copyButton"), QStringLiteral("Copy"));
    }

    void answerIsResetForANewNudgeAndKeptOnFailure() {
        showNudge();
        engine->clock = clock.get();
        engine->delaySeconds = 3;
        engine->replies.push_back(GeminiClientError::emptyResponse());
        typeIntoAnswer(QStringLiteral("draft  "));
        QTest::keyClick(view.get(), Qt::Key_Return);
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::LoadingRecommendation);
        clock->advance(3);
        QCOMPARE(appState->currentNudge()->phase, NudgePhase::Question);
        QTRY_VERIFY(shown("answerField"));
        QCOMPARE(text("answerField"), QStringLiteral("draft  "));
        QVERIFY(item("tellMeButton")->isEnabled());

        // Typed but never sent, then a new nudge: the field starts empty.
        typeIntoAnswer(QStringLiteral("more"));
        appState->dismissCurrentNudge(NudgeOutcome::CloseButton);
        QCOMPARE(card()->property("answer").toString(), QString());
        appState->presentOpportunity(sampleOpportunity(QStringLiteral("another-pattern")));
        QTRY_VERIFY(shown("answerField"));
        QCOMPARE(text("answerField"), QString());
        QVERIFY(!item("tellMeButton")->isEnabled());
    }

    void textsAreShownAsPlainText() {
        Opportunity o = sampleOpportunity();
        o.observation = QStringLiteral("<b>bold</b> & <i>tags</i>");
        appState->presentOpportunity(o);
        QCOMPARE(item("observationText")->property("textFormat").toInt(), int(Qt::PlainText));
        QCOMPARE(text("observationText"), o.observation);
    }
};

QTEST_MAIN(NudgeViewTest)
#include "tst_nudge_view.moc"
