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

// What the model client answers: a text, or a failure.
struct Reply {
    QString text;
    std::optional<GeminiClientError> failure;
};

Q_DECLARE_METATYPE(Reply)
Q_DECLARE_METATYPE(std::optional<NudgePipelineState>)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

const QString category = QStringLiteral("Norvane.OpportunityAnalyzer");
const QString unreadable = QStringLiteral("Gemini returned an unreadable response.");

QString verdict(double confidence, const QString& categoryName = QStringLiteral("manual-work")) {
    return QStringLiteral(R"({"opportunity": {"patternId": "manual-copy-paste", "confidence": %1, )"
                          R"("observation": "Copying rows", "question": "What?", "category": "%2"}})")
        .arg(confidence)
        .arg(categoryName);
}

QList<Screenshot> screenshots(int count) {
    QList<Screenshot> list;
    for (int i = 0; i < count; ++i)
        list.append(makeScreenshot("Numbers", "Budget.numbers", 7 + i));
    return list;
}

void give(FakeGemini& gemini, const Reply& reply) {
    if (reply.failure)
        gemini.replies.push_back(*reply.failure);
    else
        gemini.replies.push_back(reply.text);
}

// A model client that answers thirty virtual seconds later, honouring cancellation or not; its answer
// would be a logged failure if anyone read it.
struct SlowGemini : GeminiGenerating {
    ManualClock* clock;
    bool honoursCancellation;
    QCoro::Task<Expected<QString, GeminiClientError>> generate(QList<GeminiRequestPart>, QString, double,
                                                               std::optional<QString>,
                                                               CancellationToken cancel) override {
        co_await clock->sleep(30, honoursCancellation ? cancel : CancellationToken());
        co_return QStringLiteral("not JSON at all");
    }
};

Opportunity slowWorkflow() {
    return {"tab-shuffle", 0.91, "Switching between Mail and Numbers to copy order numbers.", "What?",
            OpportunityCategory::SlowWorkflow};
}

} // namespace

class TestPromptsAndReplies : public QObject {
    Q_OBJECT

    ManualClock m_clock;
    std::unique_ptr<AppState> m_state;
    FakeGemini m_gemini;
    const NudgePipelineDiagnostics m_before{NudgePipelineState::Analyzing, QStringLiteral("before"),
                                            QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC)};

    template <typename T> T await(QCoro::Task<T> task) {
        auto result = startTask(std::move(task));
        [&] { QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 5000); }();
        return std::move(**result);
    }

    Expected<Recommendation, GeminiClientError> recommend(std::optional<Screenshot> shot = std::nullopt,
                                                          std::optional<QString> key = std::nullopt) {
        RecommendationEngine engine(&m_gemini, m_state.get());
        return await(key ? engine.generateRecommendation(slowWorkflow(), "a", shot, *key)
                         : engine.generateRecommendation(slowWorkflow(), "a", shot));
    }

private slots:
    void init() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_state = std::make_unique<AppState>(nullptr, nullptr, &m_clock);
        m_state->setApiKey("  test-key-123 \n");
        m_state->setConfidenceThreshold(0.7);
        m_state->setNudgeDiagnostics(m_before);
        m_gemini.calls.clear();
        m_gemini.replies.clear();
    }
    void cleanup() {
        m_state.reset();
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_ALL, "C");
    }

    void analysisOutcomes_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("key");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<std::optional<NudgePipelineState>>("state"); // nothing: found, diagnostics untouched
        QTest::addColumn<QString>("detail");

        const QString key = QStringLiteral("test-key-123");
        const auto none = std::optional(NudgePipelineState::NoOpportunity);
        const auto failed = std::optional(NudgePipelineState::Failed);
        const QString wrongCount =
            "Norvane needs exactly 3 screenshots before it can analyze a potential nudge.";
        const QString quiet = "Gemini reviewed the latest screenshots and chose not to interrupt.";
        const QString below =
            "Gemini saw something, but its confidence (%1) stayed below the current threshold (0.70).";

        QTest::newRow("two screenshots") << 2 << key << Reply() << failed << wrongCount;
        QTest::newRow("four screenshots") << 4 << key << Reply() << failed << wrongCount;
        QTest::newRow("blank key") << 3 << " \t\n " << Reply() << failed
                                   << "Gemini API key is missing, so nudge analysis cannot run.";
        QTest::newRow("null verdict") << 3 << key << Reply{R"({"opportunity": null})"} << none << quiet;
        QTest::newRow("no verdict key") << 3 << key << Reply{"{}"} << none << quiet;
        QTest::newRow("equal to the threshold, fenced in prose")
            << 3 << key << Reply{"Here it is:\n```json\n" + verdict(0.7) + "\n```\nHope that helps!"}
            << std::optional<NudgePipelineState>() << QString();
        QTest::newRow("just below, rounds to equal")
            << 3 << key << Reply{verdict(0.699)} << none << below.arg("0.70");
        QTest::newRow("clearly below") << 3 << key << Reply{verdict(0.55)} << none << below.arg("0.55");
        QTest::newRow("unknown category")
            << 3 << key << Reply{verdict(0.9, "procrastination")} << failed
            << "The data couldn't be read because \"procrastination\" is not a valid category of the "
               "opportunity; expected one of manual-work, stuck, inefficient-prompting, slow-workflow, "
               "missed-automation.";
        QTest::newRow("braces reversed")
            << 3 << key << Reply{"} I would not interrupt {"} << failed << unreadable;
        QTest::newRow("client failure") << 3 << key << Reply{{}, GeminiClientError::emptyResponse()} << failed
                                        << "Gemini returned an empty response.";
    }

    // Run under a locale whose decimal separator is a comma: numbers in the texts must not follow it.
    // Failures after a model call are logged; those found before it are not.
    void analysisOutcomes() {
        QFETCH(int, count);
        QFETCH(QString, key);
        QFETCH(Reply, reply);
        QFETCH(std::optional<NudgePipelineState>, state);
        QFETCH(QString, detail);

        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        std::setlocale(LC_ALL, "de_DE.UTF-8"); // where the system has it
        give(m_gemini, reply);
        m_state->setApiKey(key);
        m_clock.advance(12.5);
        OpportunityAnalyzer analyzer(&m_gemini, m_state.get());
        LogCapture log;
        const auto opportunity = await(analyzer.analyze(screenshots(count), {}));

        const bool asked = count == 3 && !key.trimmed().isEmpty();
        QCOMPARE(m_gemini.calls.size(), asked ? 1 : 0);
        QCOMPARE(opportunity.has_value(), !state);
        if (opportunity)
            QCOMPARE(opportunity->confidence, 0.7);
        if (state) {
            QCOMPARE(m_state->nudgeDiagnostics().state, *state);
            QCOMPARE(m_state->nudgeDiagnostics().detail, detail);
            QCOMPARE(m_state->nudgeDiagnostics().updatedAt, m_clock.now());
        } else {
            QCOMPARE(m_state->nudgeDiagnostics(), m_before);
        }
        if (asked && state == NudgePipelineState::Failed)
            QCOMPARE(log.messages(category, QtCriticalMsg),
                     QStringList{"Opportunity analysis failed: " + detail});
        else
            QVERIFY(log.messages(category).isEmpty());
    }

    void analysisSendsSevenPartsInOrder() {
        QList<Screenshot> shots = screenshots(3);
        const QDateTime base(QDate(2026, 3, 2), QTime(15, 4, 5), Qt::LocalTime);
        const std::array states{MonitoringActivityState::Wake, MonitoringActivityState::Active,
                                MonitoringActivityState::Cooldown};
        for (int i = 0; i < 3; ++i) {
            shots[i].timestamp = base.addSecs(i * 4).toUTC();
            shots[i].activityState = states[i];
        }
        shots[0].captureReason = ScreenshotCaptureReason::ResumedAfterIdle;
        shots[1].captureReason = ScreenshotCaptureReason::ActiveInterval;
        shots[2].captureReason = std::nullopt;
        shots[2].appName = "Mail";
        shots[2].windowTitle = "Inbox – 3 unread";
        m_gemini.replies.push_back(verdict(0.9));
        OpportunityAnalyzer analyzer(&m_gemini, m_state.get());
        QVERIFY(await(analyzer.analyze(shots, {})));

        const FakeGemini::Call& call = m_gemini.calls.first();
        QCOMPARE(call.apiKey, QStringLiteral("test-key-123")); // trimmed before sending
        QCOMPARE(call.temperature, 0.2);
        QCOMPARE(call.responseMimeType, std::optional<QString>("application/json"));
        const QList<GeminiRequestPart> expected{
            GeminiRequestPart::fromText(expectedAnalysisPrompt()),
            GeminiRequestPart::fromJpeg(shots[0].base64),
            GeminiRequestPart::fromText("Screenshot 1: Numbers - Budget.numbers at 3:04:05 PM "
                                        "[state: wake, reason: resumed-after-idle]"),
            GeminiRequestPart::fromJpeg(shots[1].base64),
            GeminiRequestPart::fromText("Screenshot 2: Numbers - Budget.numbers at 3:04:09 PM "
                                        "[state: active, reason: active-interval]"),
            GeminiRequestPart::fromJpeg(shots[2].base64),
            GeminiRequestPart::fromText("Screenshot 3: Mail - Inbox – 3 unread at 3:04:13 PM [state: "
                                        "cool-down, reason: unspecified]"),
        };
        QCOMPARE(call.parts, expected);
    }

    void captionTimeIsMediumStyle() {
        const QDateTime time(QDate(2026, 3, 2), QTime(15, 4, 5), Qt::LocalTime);
        const std::pair<QLocale, QString> cases[] = {
            {QLocale(QLocale::English, QLocale::UnitedStates), "3:04:05 PM"},
            {QLocale(QLocale::German, QLocale::Germany), "15:04:05"},
            {QLocale(QLocale::Chinese, QLocale::China), "15:04:05"}, // zone first
            {QLocale(QLocale::Persian, QLocale::Iran), "۱۵:۰۴:۰۵"},  // zone in parentheses
        };
        for (const auto& [locale, text] : cases) {
            QLocale::setDefault(locale);
            QCOMPARE(OpportunityAnalyzer::mediumTimeText(time), text);
        }
    }

    void analysisCancelledOrOrphaned_data() {
        QTest::addColumn<bool>("honours");
        QTest::addColumn<bool>("stateGone");
        QTest::newRow("cancelled, the client stops") << true << false;
        QTest::newRow("cancelled, the client carries on") << false << false;
        QTest::newRow("the state goes away meanwhile") << true << true;
    }

    // A cancelled analysis writes no diagnostics and logs nothing; one whose state is gone just ends.
    void analysisCancelledOrOrphaned() {
        QFETCH(bool, honours);
        QFETCH(bool, stateGone);
        SlowGemini gemini;
        gemini.clock = &m_clock;
        gemini.honoursCancellation = honours;
        OpportunityAnalyzer analyzer(&gemini, m_state.get());
        LogCapture log;
        CancellationSource source;
        auto result = startTask(analyzer.analyze(screenshots(3), source.token()));
        if (stateGone)
            m_state.reset();
        else
            source.cancel();
        m_clock.advance(30);
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 5000);
        QCOMPARE(result->value(), std::nullopt);
        if (!stateGone) {
            QCOMPARE(m_state->nudgeDiagnostics(), m_before);
            QVERIFY(log.messages(category).isEmpty());
        }
    }

    void recommendationPrompt() {
        // A multi-line answer goes in unchanged; the closing text still starts after one empty line.
        const QString prompt =
            RecommendationEngine::prompt(slowWorkflow(), "Collecting order numbers\nfrom 40 emails  ");
        QVERIFY2(prompt.startsWith(
                     "You are an AI efficiency expert. A user was just flagged because they appeared to be "
                     "working inefficiently. Here's what happened:\n\n"
                     "WHAT WE OBSERVED: Switching between Mail and Numbers to copy order numbers.\n"
                     "PATTERN CATEGORY: slow-workflow\n"
                     "WHAT THE USER SAID THEY'RE DOING: Collecting order numbers\nfrom 40 emails  \n\n"
                     "A screenshot of their current screen is attached.\n\n"
                     "Give them ONE specific recommendation"),
                 qPrintable(prompt));
        // The schema the reply is decoded against, then the last word.
        QVERIFY2(prompt.endsWith(expectedRecommendationSchema()), qPrintable(prompt));
    }

    void recommendationPartsAndKey() {
        for (int i = 0; i < 3; ++i)
            m_gemini.replies.push_back(QStringLiteral(
                R"({"recommendation": {"headline": "h", "detail": "d", "effort": "e", "impact": "i"}})"));
        QVERIFY(recommend());
        const Screenshot shot = makeScreenshot("Safari", "Orders - Admin");
        QVERIFY(recommend(shot));
        m_state->setApiKey({});
        QVERIFY(recommend(std::nullopt, "explicit-key"));

        const auto& calls = m_gemini.calls;
        for (const auto& call : calls) {
            QCOMPARE(call.temperature, 0.2);
            QCOMPARE(call.responseMimeType, std::optional<QString>("application/json"));
        }
        QCOMPARE(calls.at(0).apiKey, QStringLiteral("test-key-123"));
        QCOMPARE(calls.at(2).apiKey, QStringLiteral("explicit-key"));
        QCOMPARE(calls.at(0).parts,
                 QList{GeminiRequestPart::fromText(RecommendationEngine::prompt(slowWorkflow(), "a"))});
        QCOMPARE(calls.at(1).parts,
                 (QList{calls.at(0).parts.at(0), GeminiRequestPart::fromJpeg(shot.base64),
                        GeminiRequestPart::fromText("Current screenshot: Safari - Orders - Admin")}));

        // A blank key, given or from the settings, sends nothing.
        const auto missing =
            GeminiClientError::apiError("Add a Gemini API key before asking for recommendations.");
        QCOMPARE(recommend(std::nullopt, " \t\n ").error(), missing);
        m_state->setApiKey("   ");
        QCOMPARE(recommend().error(), missing);
        QCOMPARE(calls.size(), 3);
    }

    void recommendationReplies_data() {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<std::optional<QString>>("prompt");
        QTest::addColumn<QString>("error"); // "" for success, "*" for any decoding error

        const QString fields =
            R"("headline": "Use Claude", "detail": "Paste it.", "effort": "30 s", "impact": "1 h")";
        QTest::newRow("fenced, with a prompt") << Reply{"```json\n{\"recommendation\": {" + fields +
                                                        R"(, "prompt": "Convert these"}})" + "\n```"}
                                               << std::optional<QString>("Convert these") << QString();
        QTest::newRow("prose around, no prompt")
            << Reply{"Here you go: {\"recommendation\": {" + fields + "}} Enjoy!"} << std::optional<QString>()
            << QString();
        QTest::newRow("recommendation null")
            << Reply{R"({"recommendation": null})"} << std::optional<QString>() << "*";
        QTest::newRow("no JSON") << Reply{"Try a spreadsheet formula."} << std::optional<QString>()
                                 << unreadable;
        QTest::newRow("client failure passed on") << Reply{{}, GeminiClientError::apiError("Quota exceeded.")}
                                                  << std::optional<QString>() << "Quota exceeded.";
    }

    void recommendationReplies() {
        QFETCH(Reply, reply);
        QFETCH(std::optional<QString>, prompt);
        QFETCH(QString, error);
        give(m_gemini, reply);
        const auto result = recommend();
        QCOMPARE(result.hasValue(), error.isEmpty());
        if (result)
            QCOMPARE(*result, (Recommendation{"Use Claude", "Paste it.", prompt, "30 s", "1 h"}));
        else if (error == "*")
            QCOMPARE(result.error().kind(), GeminiClientError::Kind::Decoding);
        else
            QCOMPARE(result.error().description(), error);
    }

    // The tag goes with its fence, so it does not stay behind as a stray word.
    void fencesAreRemovedWithTheirTag() {
        QCOMPARE(JSONExtractor::cleanedText("```json{}```"), QStringLiteral("{}"));
        QCOMPARE(JSONExtractor::cleanedText("\r\n ```Json{}``` \n"), QStringLiteral("Json{}"));
    }
};

QTEST_GUILESS_MAIN(TestPromptsAndReplies)
#include "tst_prompts_and_replies.moc"
