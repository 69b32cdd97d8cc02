// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// What the opportunity analyzer and the recommendation engine send to the model, and what they make of
// its replies (the JSON in them found through fences and prose).
#include "AnalysisTesting.h"
#include "analysis/JSONExtractor.h"
#include "analysis/OpportunityAnalyzer.h"
#include "analysis/RecommendationEngine.h"
#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"

#include <QTest>

#include <clocale>

using namespace norvane;
using namespace norvane::testing;

Q_DECLARE_METATYPE(std::optional<NudgePipelineState>)

namespace {

const QString category = QStringLiteral("Norvane.OpportunityAnalyzer");

// The model's verdict (single quotes stand for double ones).
QString verdict(double confidence, const QString& categoryName = "manual-work") {
    return QString(
               "{'opportunity': {'patternId': 'p', 'confidence': %1, 'observation': 'o', 'question': 'q', "
               "'category': '%2'}}")
        .arg(confidence)
        .arg(categoryName)
        .replace('\'', '"');
}

QList<Screenshot> screenshots(int count) {
    QList<Screenshot> list;
    for (int i = 0; i < count; ++i)
        list.append(makeScreenshot("Numbers", "Budget.numbers", 7 + i));
    return list;
}

const Opportunity slowWorkflow{"tab-shuffle", 0.91,
                               "Switching between Mail and Numbers to copy order numbers.", "What?",
                               OpportunityCategory::SlowWorkflow};

} // namespace

class TestPromptsAndReplies : public QObject {
    Q_OBJECT

    ManualClock m_clock;
    std::unique_ptr<AppState> m_state;
    FakeGemini m_gemini; // with no reply queued it answers "Gemini returned an empty response."
    const NudgePipelineDiagnostics m_before{NudgePipelineState::Analyzing, "before", m_clock.now()};

    template <typename T> T await(QCoro::Task<T> task) {
        auto result = startTask(std::move(task));
        (void)QTest::qWaitFor([&] { return result->has_value(); }, 5000);
        return std::move(result->value()); // throws if the task never finished
    }

    Expected<Recommendation, GeminiClientError> recommend(std::optional<Screenshot> shot = {},
                                                          std::optional<QString> key = {}) {
        RecommendationEngine engine(&m_gemini, m_state.get());
        return await(
            key ? engine.generateRecommendation(slowWorkflow, "a", shot, ModelConnection::gemini(*key))
                : engine.generateRecommendation(slowWorkflow, "a", shot));
    }

private Q_SLOTS:
    void init() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_state = std::make_unique<AppState>(nullptr, nullptr, &m_clock);
        m_state->setApiKey("  test-key-123 \n");
        m_state->setConfidenceThreshold(0.7);
        m_state->setNudgeDiagnostics(m_before);
        m_gemini = FakeGemini();
    }
    void cleanup() {
        m_state.reset();
        std::setlocale(LC_ALL, "C"); // init() resets Qt's default locale
    }

    void analysisOutcomes_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("reply");                           // null: none queued
        QTest::addColumn<std::optional<NudgePipelineState>>("state"); // nothing: found, diagnostics untouched
        QTest::addColumn<QString>("detail");
        const auto row = [](const char* name, const QString& reply, std::optional<NudgePipelineState> state,
                            const QString& detail, int count = 3, const QString& key = "test-key-123") {
            QTest::newRow(name) << count << key << reply << state << detail;
        };
        const auto none = NudgePipelineState::NoOpportunity, failed = NudgePipelineState::Failed;
        row("two screenshots", {}, failed,
            "Norvane needs exactly 3 screenshots before it can analyze a potential nudge.", 2);
        row("blank key", {}, failed, "Gemini API key is missing, so nudge analysis cannot run.", 3, " \t\n ");
        row("null verdict", "{\"opportunity\": null}", none,
            "Gemini reviewed the latest screenshots and chose not to interrupt.");
        row("equal to the threshold, fenced in prose",
            "Here:\n```json\n" + verdict(0.7) + "\n```\nHope it helps!", std::nullopt, {});
        row("just below, rounds to equal", verdict(0.699), none,
            "Gemini saw something, but its confidence (0.70) stayed below the current threshold (0.70).");
        row("unknown category", verdict(0.9, "procrastination"), failed,
            "The data couldn't be read because \"procrastination\" is not a valid category of the "
            "opportunity; expected one of manual-work, stuck, inefficient-prompting, slow-workflow, "
            "missed-automation.");
        row("braces reversed", "} I would not interrupt {", failed,
            "Gemini returned an unreadable response.");
        row("client failure", {}, failed, "Gemini returned an empty response.");
    }

    // Run under a locale whose decimal separator is a comma: numbers in the texts must not follow it.
    // Failures after a model call are logged; those found before it are not.
    void analysisOutcomes() {
        QFETCH(int, count);
        QFETCH(QString, key);
        QFETCH(QString, reply);
        QFETCH(std::optional<NudgePipelineState>, state);
        QFETCH(QString, detail);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        std::setlocale(LC_ALL, "de_DE.UTF-8"); // where the system has it
        if (!reply.isNull())
            m_gemini.replies.push_back(reply);
        m_state->setApiKey(key);
        m_clock.advance(12.5);
        OpportunityAnalyzer analyzer(&m_gemini, m_state.get());
        LogCapture log;
        const auto opportunity = await(analyzer.analyze(screenshots(count), {}));

        const bool asked = count == 3 && !key.trimmed().isEmpty();
        QCOMPARE(m_gemini.calls.size(), asked ? 1 : 0);
        QCOMPARE(opportunity.has_value(), !state);
        const NudgePipelineDiagnostics expected =
            state ? NudgePipelineDiagnostics{*state, detail, m_clock.now()} : m_before;
        QCOMPARE(m_state->nudgeDiagnostics(), expected);
        QCOMPARE(log.messages(category, QtWarningMsg),
                 asked && state == NudgePipelineState::Failed
                     ? QStringList{"Opportunity analysis failed: " + detail}
                     : QStringList());
    }

    void analysisSendsSevenPartsInOrder() {
        QList<Screenshot> shots = screenshots(3);
        for (int i = 0; i < 3; ++i)
            shots[i].timestamp = QDateTime(QDate(2026, 3, 2), QTime(15, 4, 5 + 4 * i), Qt::LocalTime).toUTC();
        shots[0].activityState = MonitoringActivityState::Wake;
        shots[0].captureReason = ScreenshotCaptureReason::ResumedAfterIdle;
        shots[1].activityState = MonitoringActivityState::Active;
        shots[1].captureReason = ScreenshotCaptureReason::ActiveInterval;
        shots[2].activityState = MonitoringActivityState::Cooldown;
        shots[2].appName = "Mail";
        shots[2].windowTitle = "Inbox – 3 unread";
        m_gemini.replies.push_back(verdict(0.9));
        OpportunityAnalyzer analyzer(&m_gemini, m_state.get());
        QVERIFY(await(analyzer.analyze(shots, {})));

        const FakeGemini::Call& call = m_gemini.calls.first();
        QCOMPARE(call.connection.apiKey, QStringLiteral("test-key-123")); // trimmed before sending
        QCOMPARE(call.temperature, 0.2);
        QCOMPARE(call.responseMimeType, std::optional<QString>("application/json"));
        QCOMPARE(call.parts,
                 (QList{GeminiRequestPart::fromText(OpportunityAnalyzer::analysisPrompt()),
                        GeminiRequestPart::fromJpeg(shots[0].base64()),
                        GeminiRequestPart::fromText("Screenshot 1: Numbers - Budget.numbers at 3:04:05 PM "
                                                    "[state: wake, reason: resumed-after-idle]"),
                        GeminiRequestPart::fromJpeg(shots[1].base64()),
                        GeminiRequestPart::fromText("Screenshot 2: Numbers - Budget.numbers at 3:04:09 PM "
                                                    "[state: active, reason: active-interval]"),
                        GeminiRequestPart::fromJpeg(shots[2].base64()),
                        GeminiRequestPart::fromText("Screenshot 3: Mail - Inbox – 3 unread at 3:04:13 PM "
                                                    "[state: cool-down, reason: unspecified]")}));

        // The prompt asks about as many screenshots as are sent, offers the categories the reply is decoded
        // against, and asks for JSON alone.
        const QString prompt = OpportunityAnalyzer::analysisPrompt();
        QVERIFY(prompt.startsWith("You are an AI efficiency coach analyzing a sequence of 3 screenshots "));
        QVERIFY(prompt.contains(
            "(one of: manual-work, stuck, inefficient-prompting, slow-workflow, missed-automation)"));
        QVERIFY(prompt.endsWith("\n\nReturn only JSON."));
    }

    // A cancelled analysis writes no diagnostics and logs nothing, even though the model's client answers
    // (with a failure); one whose state goes away meanwhile just ends.
    void analysisCancelledOrOrphaned() {
        for (const bool stateGone : {false, true}) {
            init(); // a fresh state for each case
            m_gemini.clock = &m_clock;
            m_gemini.delaySeconds = 30;
            OpportunityAnalyzer analyzer(&m_gemini, m_state.get());
            LogCapture log;
            CancellationSource source;
            auto result = startTask(analyzer.analyze(screenshots(3), source.token()));
            stateGone ? m_state.reset() : source.cancel();
            m_clock.advance(30);
            QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 5000);
            QCOMPARE(result->value(), std::nullopt);
            QVERIFY(stateGone ||
                    (m_state->nudgeDiagnostics() == m_before && log.messages(category).isEmpty()));
        }
    }

    void recommendationRequests() {
        // A multi-line answer goes in unchanged, after what was seen and its category.
        const QString prompt =
            RecommendationEngine::prompt(slowWorkflow, "Collecting order numbers\nfrom 40 emails  ");
        QVERIFY2(prompt.contains(
                     "\n\nWHAT WE OBSERVED: Switching between Mail and Numbers to copy order numbers.\n"
                     "PATTERN CATEGORY: slow-workflow\n"
                     "WHAT THE USER SAID THEY'RE DOING: Collecting order numbers\nfrom 40 emails  \n\n"),
                 qPrintable(prompt));

        // The reply is found through its fence; a null one is refused.
        m_gemini.replies = {
            QString("Here you go:\n```json\n{'recommendation': {'headline': 'Use Claude', 'detail': "
                    "'Paste it.', 'effort': '30 s', 'impact': '1 h', 'prompt': 'Convert'}}\n```")
                .replace('\'', '"'),
            QString("{\"recommendation\": null}")};
        const Screenshot shot = makeScreenshot("Safari", "Orders - Admin");
        QCOMPARE(recommend(shot, "explicit-key").value(),
                 (Recommendation{"Use Claude", "Paste it.", "Convert", "30 s", "1 h"}));
        QCOMPARE(recommend().error().kind(), GeminiClientError::Kind::Decoding);
        const auto& calls = m_gemini.calls;
        for (const auto& call : calls)
            QVERIFY(call.temperature == 0.2 && call.responseMimeType == "application/json");
        QCOMPARE(calls.at(0).connection.apiKey, QStringLiteral("explicit-key"));
        QCOMPARE(calls.at(1).connection.apiKey, QStringLiteral("test-key-123"));
        QCOMPARE(calls.at(0).parts,
                 (QList{GeminiRequestPart::fromText(RecommendationEngine::prompt(slowWorkflow, "a")),
                        GeminiRequestPart::fromJpeg(shot.base64()),
                        GeminiRequestPart::fromText("Current screenshot: Safari - Orders - Admin")}));
        QCOMPARE(calls.at(1).parts.size(), 1);

        // A blank key sends nothing.
        QCOMPARE(recommend({}, " \t\n ").error(),
                 GeminiClientError::apiError("Add a Gemini API key before asking for recommendations."));
        QCOMPARE(calls.size(), 2);
    }

    // The tag goes with its fence, so it does not stay behind as a stray word.
    void fencesAreRemovedWithTheirTag() {
        QCOMPARE(JSONExtractor::cleanedText("```json{}```"), QStringLiteral("{}"));
        QCOMPARE(JSONExtractor::cleanedText("\r\n ```Json{}``` \n"), QStringLiteral("Json{}"));
    }
};

QTEST_GUILESS_MAIN(TestPromptsAndReplies)
#include "tst_prompts_and_replies.moc"
