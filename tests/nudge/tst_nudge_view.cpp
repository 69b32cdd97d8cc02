#include "NudgeRig.h"
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

const QString kLongPrompt = QStringLiteral(
    "  \nYou are given invoices as PDF files. For every invoice, extract:\n"
    "- the invoice number\n- the issue date (YYYY-MM-DD)\n- the supplier name\n- the net total\n"
    "- the VAT amount\n- the gross total\n\nReturn one Markdown table with one row per invoice, sorted by "
    "date, and nothing else. If a value is missing, leave the cell empty.\n\n  ");

} // namespace

class NudgeViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<NudgeRig> rig;
    std::unique_ptr<QQuickView> view;

    QQuickItem* card() const { return view->rootObject(); }

    QQuickItem* item(const char* name) const { return card()->findChild<QQuickItem*>(QLatin1String(name)); }

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
    qreal rightEdge(const char* name) const {
        return item(name)->mapToScene(QPointF(item(name)->width(), 0)).x();
    }

    // Brings the window to the card's fitting height and lets the scene settle.
    void settle() {
        item("cardContent")->implicitHeight(); // layouts size themselves lazily
        QTRY_COMPARE(view->height(), nudgePanel::height(card()->implicitHeight()));
        QTest::qWait(30);
    }

    void click(const char* name) {
        QQuickItem* target = item(name);
        QVERIFY(target);
        const QPointF centre(target->width() / 2, target->height() / 2);
        QTest::mouseClick(view.get(), Qt::LeftButton, Qt::NoModifier, target->mapToScene(centre).toPoint());
    }

    // QTest types whole strings into widgets only; a window gets one key at a time.
    void typeIntoAnswer(const QString& typed) {
        settle();
        click("answerField");
        QTRY_VERIFY(item("answerField")->hasActiveFocus());
        for (const QChar c : typed)
            QTest::keyClick(view.get(), c.toLatin1());
    }

    // The one face on show, if exactly one is.
    QString face() const {
        QStringList faces;
        for (const char* name : {"questionFace", "loadingFace", "recommendationFace"})
            if (shown(name))
                faces.append(QLatin1String(name));
        return faces.size() == 1 ? faces.first() : QString();
    }

    void showNudge() { rig->appState.presentOpportunity(sampleOpportunity()); }

    // The card over a desktop-like backdrop, with some room around it.
    void saveScreenshot(const QString& name) {
        settle();
        const QImage cardImage = view->grabWindow();
        QVERIFY(!cardImage.isNull());
        const int margin = 28;
        QImage canvas(cardImage.size() + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32_Premultiplied);
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
        rig = std::make_unique<NudgeRig>();
        view = std::make_unique<QQuickView>();
        QSurfaceFormat format = view->format();
        format.setAlphaBufferSize(8);
        view->setFormat(format);
        view->setColor(Qt::transparent);
        view->setResizeMode(QQuickView::SizeRootObjectToView);
        QQmlEngine::setObjectOwnership(&rig->appState, QQmlEngine::CppOwnership);
        QQmlEngine::setObjectOwnership(&rig->coordinator, QQmlEngine::CppOwnership);
        view->setInitialProperties(
            {{QStringLiteral("appState"), QVariant::fromValue<QObject*>(&rig->appState)},
             {QStringLiteral("coordinator"), QVariant::fromValue<QObject*>(&rig->coordinator)}});
        view->setSource(NudgePanelController::viewUrl());
        QVERIFY2(view->status() == QQuickView::Ready, qPrintable(view->errors().value(0).toString()));
        // The window follows the card's fitting height, as the panel does.
        const auto fit = [this] { view->resize(420, nudgePanel::height(card()->implicitHeight())); };
        connect(card(), &QQuickItem::implicitHeightChanged, view.get(), fit);
        fit();
        view->setPosition(40, 40);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }

    void cleanup() {
        view.reset();
        rig.reset();
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
        QCOMPARE(face(), QStringLiteral("questionFace"));

        QVERIFY(sceneY("titleText") < sceneY("observationText"));
        QVERIFY(sceneY("observationText") < sceneY("questionText"));
        QVERIFY(sceneY("questionText") < sceneY("answerField"));
        QVERIFY(sceneY("answerField") < sceneY("tellMeButton"));
        QCOMPARE(sceneY("tellMeButton"), sceneY("notNowButton"));
        QCOMPARE(item("tellMeButton")->mapToScene(QPointF(0, 0)).x(), 16.0);
        QCOMPARE(rightEdge("notNowButton"), 420.0 - 16.0);
        // The observation wraps instead of being cut off.
        QVERIFY(item("observationText")->height() >
                1.5 * item("questionText")->property("font").value<QFont>().pixelSize());
        QCOMPARE(item("observationText")->property("truncated").toBool(), false);

        saveScreenshot(QStringLiteral("question"));
    }

    void answerIsSubmittedOnlyWhenNotBlank_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("withReturn");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("nothing, Tell me") << QString() << false << false;
        QTest::newRow("spaces, Return") << QStringLiteral("   ") << true << false;
        QTest::newRow("padded word, Tell me") << QStringLiteral("  q3  ") << false << true;
        QTest::newRow("padded words, Return") << QStringLiteral("closing the month ") << true << true;
    }

    void answerIsSubmittedOnlyWhenNotBlank() {
        QFETCH(QString, typed);
        QFETCH(bool, withReturn);
        QFETCH(bool, enabled);
        showNudge();
        rig->engine.clock = &rig->clock;
        rig->engine.delaySeconds = 5;
        typeIntoAnswer(typed);
        QCOMPARE(text("answerField"), typed);
        QCOMPARE(item("tellMeButton")->isEnabled(), enabled);

        if (withReturn) {
            QTest::keyClick(view.get(), Qt::Key_Return);
        } else {
            settle();
            click("tellMeButton");
        }
        QCOMPARE(rig->appState.currentNudge()->phase,
                 enabled ? NudgePhase::LoadingRecommendation : NudgePhase::Question);
        QCOMPARE(rig->engine.calls.size(), enabled ? 1 : 0);
        if (enabled)
            QCOMPARE(rig->appState.currentNudge()->userAnswer, typed.trimmed());
    }

    void failureShowsTheMessageAndKeepsTheAnswerUntilANewNudge() {
        showNudge();
        rig->engine.clock = &rig->clock;
        rig->engine.delaySeconds = 3;
        rig->engine.replies.push_back(
            GeminiClientError::apiError(QStringLiteral("Gemini rejected the API key.")));
        typeIntoAnswer(QStringLiteral("reconciling invoices "));
        QTest::keyClick(view.get(), Qt::Key_Return);
        QCOMPARE(rig->appState.currentNudge()->phase, NudgePhase::LoadingRecommendation);
        rig->clock.advance(3);
        QCOMPARE(rig->appState.currentNudge()->phase, NudgePhase::Question);
        QTRY_VERIFY(shown("errorText"));
        settle();

        QCOMPARE(text("errorText"), QStringLiteral("Gemini rejected the API key."));
        QVERIFY(sceneY("questionText") < sceneY("errorText"));
        QVERIFY(sceneY("errorText") < sceneY("answerField"));
        const QColor colour = item("errorText")->property("color").value<QColor>();
        QVERIFY2(colour.red() > 200 && colour.green() > 100 && colour.green() < 200 && colour.blue() < 60,
                 qPrintable(colour.name()));
        QCOMPARE(text("answerField"), QStringLiteral("reconciling invoices "));
        QVERIFY(item("tellMeButton")->isEnabled());
        saveScreenshot(QStringLiteral("question-error"));

        // Typed but never sent, then a new nudge: the field starts empty.
        typeIntoAnswer(QStringLiteral("more"));
        rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        QCOMPARE(card()->property("answer").toString(), QString());
        rig->appState.presentOpportunity(sampleOpportunity(QStringLiteral("another-pattern")));
        QTRY_VERIFY(shown("answerField"));
        QCOMPARE(text("answerField"), QString());
        QVERIFY(!item("tellMeButton")->isEnabled());
    }

    void buttonsDismissWithTheirReasons_data() {
        QTest::addColumn<bool>("recommendation");
        QTest::addColumn<QString>("button");
        QTest::addColumn<NudgeOutcome>("outcome");
        QTest::newRow("close") << false << QStringLiteral("closeButton") << NudgeOutcome::CloseButton;
        QTest::newRow("not now") << false << QStringLiteral("notNowButton") << NudgeOutcome::NotNow;
        QTest::newRow("not useful") << true << QStringLiteral("notUsefulButton") << NudgeOutcome::NotUseful;
    }

    void buttonsDismissWithTheirReasons() {
        QFETCH(bool, recommendation);
        QFETCH(QString, button);
        QFETCH(NudgeOutcome, outcome);
        if (recommendation)
            rig->showRecommendation(QStringLiteral("Summarise"));
        else
            showNudge();
        settle();

        click(button.toLatin1().constData());

        QVERIFY(!rig->appState.currentNudge());
        QCOMPARE(rig->lastOutcome(), std::optional(outcome));
        QVERIFY(!shown("questionFace"));
        QVERIFY(!shown("recommendationFace"));
    }

    void loadingFace() {
        showNudge();
        rig->engine.clock = &rig->clock;
        rig->engine.delaySeconds = 5;
        rig->coordinator.submitAnswer(QStringLiteral("closing the month"));
        settle();

        QCOMPARE(face(), QStringLiteral("loadingFace"));
        QVERIFY(item("loadingIndicator")->property("indeterminate").toBool());
        QCOMPARE(text("loadingText"),
                 QStringLiteral("Generating one specific suggestion for what you\u2019re doing right now."));
        QVERIFY(sceneY("loadingIndicator") < sceneY("loadingText"));

        QTest::qWait(700); // only so the sweep is in view for the picture
        saveScreenshot(QStringLiteral("loading"));
    }

    void recommendationFaceShowsItsPartsInOrder() {
        rig->showRecommendation(kLongPrompt);
        settle();

        QCOMPARE(face(), QStringLiteral("recommendationFace"));
        const Recommendation r = FakeRecommendationEngine::sampleRecommendation();
        QCOMPARE(text("headlineText"), r.headline);
        QCOMPARE(text("detailText"), r.detail);
        QCOMPARE(text("promptCaption"), QStringLiteral("Prompt"));
        QCOMPARE(text("copyButton"), QStringLiteral("Copy"));
        QCOMPARE(text("promptText"), kLongPrompt.trimmed());
        QVERIFY(item("promptText")->property("readOnly").toBool());
        QVERIFY(item("promptText")->property("selectByMouse").toBool());
        const QFont promptFont = item("promptText")->property("font").value<QFont>();
        QVERIFY(promptFont.fixedPitch() || QFontInfo(promptFont).fixedPitch());
        QCOMPARE(text("effortTag"), QStringLiteral("~2 min"));
        QCOMPARE(text("impactTag"), r.impact);
        QCOMPARE(text("notUsefulButton"), QStringLiteral("Not useful"));

        QVERIFY(sceneY("headlineText") < sceneY("detailText"));
        QVERIFY(sceneY("detailText") < sceneY("promptCaption"));
        QVERIFY(sceneY("promptCaption") < sceneY("promptBox"));
        QVERIFY(sceneY("promptBox") < sceneY("effortTag"));
        QCOMPARE(sceneY("effortTag"), sceneY("impactTag"));
        QVERIFY(sceneY("effortTag") < sceneY("notUsefulButton"));
        QCOMPARE(rightEdge("notUsefulButton"), 420.0 - 16.0);
        QCOMPARE(rightEdge("copyButton"), 420.0 - 16.0);

        // A long prompt scrolls inside a box of at most 110 plus its padding, with its scroll bar showing.
        QCOMPARE(item("promptScroll")->height(), 110.0);
        QCOMPARE(item("promptBox")->height(), 130.0);
        QVERIFY(shown("promptScrollBar"));
        QCOMPARE(item("promptScrollBar")->property("policy").toInt(), 2 /* ScrollBar.AlwaysOn */);
        saveScreenshot(QStringLiteral("recommendation"));

        // A short one gets a box that fits it.
        rig->appState.dismissCurrentNudge(NudgeOutcome::CloseButton);
        rig->showRecommendation(QStringLiteral("  Summarise these rows as a table.\n"));
        settle();
        QCOMPARE(text("promptText"), QStringLiteral("Summarise these rows as a table."));
        const qreal textHeight = item("promptText")->implicitHeight();
        QVERIFY(textHeight < 40);
        QCOMPARE(item("promptBox")->height(), textHeight + 20);
    }

    void noPromptBlockForAMissingOrBlankPrompt_data() {
        QTest::addColumn<std::optional<QString>>("prompt");
        QTest::newRow("absent") << std::optional<QString>();
        QTest::newRow("empty") << std::optional<QString>(QString());
        QTest::newRow("blank") << std::optional<QString>(QStringLiteral(" \n\t "));
    }

    void noPromptBlockForAMissingOrBlankPrompt() {
        QFETCH(std::optional<QString>, prompt);
        rig->showRecommendation(prompt);
        settle();

        QVERIFY(!shown("promptBlock"));
        QVERIFY(!shown("copyButton"));
        QVERIFY(shown("effortTag"));
        QVERIFY(shown("notUsefulButton"));
        QVERIFY(sceneY("detailText") < sceneY("effortTag"));
        if (!prompt)
            saveScreenshot(QStringLiteral("recommendation-no-prompt"));
    }

    void copyTakesTheExactPromptAndShowsCopied() {
        rig->showRecommendation(kLongPrompt);
        settle();

        click("copyButton");

        QCOMPARE(rig->pasteboard.copies, QStringList{kLongPrompt});
        QTRY_COMPARE(text("copyButton"), QStringLiteral("Copied"));
        rig->clock.advance(1.4);
        QCOMPARE(text("copyButton"), QStringLiteral("Copied"));
        rig->clock.advance(0.2);
        QTRY_COMPARE(text("copyButton"), QStringLiteral("Copy"));
    }

    void textsAreShownAsPlainText() {
        Opportunity o = sampleOpportunity();
        o.observation = QStringLiteral("<b>bold</b> & <i>tags</i>");
        rig->appState.presentOpportunity(o);
        QCOMPARE(item("observationText")->property("textFormat").toInt(), int(Qt::PlainText));
        QCOMPARE(text("observationText"), o.observation);
    }
};

QTEST_MAIN(NudgeViewTest)
#include "tst_nudge_view.moc"
