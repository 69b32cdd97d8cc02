#include "AwaitTask.h"
#include "ExpectedPrompts.h"
#include "analysis/RecommendationEngine.h"
#include "fakes/Fakes.h"

#include <QTest>

using namespace norvane;

Q_DECLARE_METATYPE(std::optional<GeminiClientError>)
Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(norvane::OpportunityCategory)
using namespace norvane::testing;

using Result = Expected<Recommendation, GeminiClientError>;

namespace {

const QString missingKey = QStringLiteral("Add a Gemini API key before asking for recommendations.");

const QString fields =
    QStringLiteral("\"headline\": \"Use Claude to reformat your dates\", "
                   "\"detail\": \"Paste the column and ask for ISO dates.\", "
                   "\"effort\": \"30 seconds\", \"impact\": \"Saves ~15 minutes of manual work\"");

Opportunity slowWorkflow() {
    Opportunity opportunity;
    opportunity.patternId = QStringLiteral("tab-shuffle");
    opportunity.confidence = 0.91;
    opportunity.observation = QStringLiteral("Switching between Mail and Numbers to copy order numbers.");
    opportunity.question = QStringLiteral("What are you collecting?");
    opportunity.category = OpportunityCategory::SlowWorkflow;
    return opportunity;
}

} // namespace

class TestRecommendationEngine : public QObject {
    Q_OBJECT

    ManualClock m_clock;
    std::unique_ptr<AppState> m_state;

    Result run(QCoro::Task<Result> task) {
        auto result = startTask(std::move(task));
        if (!QTest::qWaitFor([&] { return result->has_value(); }, 5000))
            return GeminiClientError::transport(QStringLiteral("the test gave up waiting"));
        return **result;
    }

private slots:
    void init() {
        m_state = std::make_unique<AppState>(nullptr, nullptr, &m_clock);
        m_state->setApiKey(QStringLiteral("\n key-from-settings  "));
    }
    void cleanup() { m_state.reset(); }

    void theWholePrompt() {
        // A multi-line answer goes in unchanged; the closing text still starts after one empty line.
        const QString answer = QStringLiteral("Collecting order numbers\nfrom 40 emails  ");
        const QString expected = expectedRecommendationPrompt();

        FakeGemini gemini;
        gemini.replies.push_back("{\"recommendation\": {" + fields + "}}");
        RecommendationEngine engine(&gemini, m_state.get());
        QVERIFY(run(engine.generateRecommendation(slowWorkflow(), answer, std::nullopt)));
        QCOMPARE(gemini.calls.size(), 1);
        QCOMPARE(gemini.calls.first().parts.first(), GeminiRequestPart::fromText(expected));
        QCOMPARE(RecommendationEngine::prompt(slowWorkflow(), answer), expected);
    }

    void categoryLine_data() {
        QTest::addColumn<OpportunityCategory>("category");
        QTest::addColumn<QString>("line");
        QTest::newRow("slow-workflow")
            << OpportunityCategory::SlowWorkflow << QStringLiteral("\nPATTERN CATEGORY: slow-workflow\n");
        QTest::newRow("inefficient-prompting")
            << OpportunityCategory::InefficientPrompting
            << QStringLiteral("\nPATTERN CATEGORY: inefficient-prompting\n");
    }

    void categoryLine() {
        QFETCH(OpportunityCategory, category);
        QFETCH(QString, line);
        Opportunity opportunity = slowWorkflow();
        opportunity.category = category;
        const QString prompt = RecommendationEngine::prompt(opportunity, QStringLiteral("x"));
        QVERIFY(prompt.contains(line));
        // Only the observation, category and answer are used.
        QVERIFY(!prompt.contains(opportunity.patternId));
        QVERIFY(!prompt.contains(opportunity.question));
    }

    void partsWithAndWithoutScreenshot() {
        FakeGemini gemini;
        gemini.replies.push_back("{\"recommendation\": {" + fields + "}}");
        gemini.replies.push_back("{\"recommendation\": {" + fields + "}}");
        RecommendationEngine engine(&gemini, m_state.get());

        QVERIFY(run(engine.generateRecommendation(slowWorkflow(), QStringLiteral("answer"), std::nullopt)));
        const Screenshot shot = makeScreenshot(QStringLiteral("Safari"), QStringLiteral("Orders - Admin"));
        QVERIFY(run(engine.generateRecommendation(slowWorkflow(), QStringLiteral("answer"), shot)));

        QCOMPARE(gemini.calls.size(), 2);
        for (const auto& call : gemini.calls) {
            QCOMPARE(call.apiKey, QStringLiteral("key-from-settings")); // read from the state, trimmed
            QCOMPARE(call.temperature, 0.2);
            QCOMPARE(call.responseMimeType, std::optional<QString>(QStringLiteral("application/json")));
        }
        QCOMPARE(gemini.calls.at(0).parts.size(), 1);
        const auto& parts = gemini.calls.at(1).parts;
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts.at(0), gemini.calls.at(0).parts.at(0));
        QCOMPARE(parts.at(1), GeminiRequestPart::fromJpeg(shot.base64));
        QCOMPARE(parts.at(2),
                 GeminiRequestPart::fromText(QStringLiteral("Current screenshot: Safari - Orders - Admin")));
    }

    void blankKeySendsNothing_data() {
        QTest::addColumn<bool>("fromState");
        QTest::addColumn<QString>("key");
        QTest::newRow("explicit whitespace") << false << QStringLiteral(" \t\n ");
        QTest::newRow("explicit empty") << false << QString();
        QTest::newRow("settings blank") << true << QStringLiteral("   ");
    }

    void blankKeySendsNothing() {
        QFETCH(bool, fromState);
        QFETCH(QString, key);
        FakeGemini gemini;
        RecommendationEngine engine(&gemini, m_state.get());
        m_state->setApiKey(key);
        const Result result =
            fromState
                ? run(engine.generateRecommendation(slowWorkflow(), QStringLiteral("a"), std::nullopt))
                : run(engine.generateRecommendation(slowWorkflow(), QStringLiteral("a"), std::nullopt, key));
        QVERIFY(!result);
        QCOMPARE(result.error(), GeminiClientError::apiError(missingKey));
        QCOMPARE(result.error().description(), missingKey);
        QVERIFY(gemini.calls.isEmpty());
    }

    void explicitKeyIgnoresTheState() {
        FakeGemini gemini;
        gemini.replies.push_back("{\"recommendation\": {" + fields + "}}");
        m_state->setApiKey(QString());
        RecommendationEngine engine(&gemini, m_state.get());
        QVERIFY(run(engine.generateRecommendation(slowWorkflow(), QStringLiteral("a"), std::nullopt,
                                                  QStringLiteral("explicit-key"))));
        QCOMPARE(gemini.calls.first().apiKey, QStringLiteral("explicit-key"));
    }

    void decodesTheReply_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<std::optional<GeminiClientError>>("clientFailure");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<std::optional<QString>>("prompt");
        QTest::addColumn<QString>("error"); // expected description, "" for a decoder's text

        const auto noFailure = std::optional<GeminiClientError>();
        QTest::newRow("prompt given, fenced")
            << "```json\n{\"recommendation\": {" + fields +
                   ", \"prompt\": \"Convert these dates to ISO 8601\"}}\n```"
            << noFailure << true << std::optional<QString>(QStringLiteral("Convert these dates to ISO 8601"))
            << QString();
        QTest::newRow("empty prompt kept")
            << "{\"recommendation\": {" + fields + ", \"prompt\": \"\"}}" << noFailure << true
            << std::optional<QString>(QString()) << QString();
        QTest::newRow("prompt null") << "{\"recommendation\": {" + fields + ", \"prompt\": null}}"
                                     << noFailure << true << std::optional<QString>() << QString();
        QTest::newRow("prompt missing, prose around")
            << "Here you go: {\"recommendation\": {" + fields + "}} Enjoy!" << noFailure << true
            << std::optional<QString>() << QString();
        QTest::newRow("effort missing")
            << QStringLiteral(
                   "{\"recommendation\": {\"headline\": \"h\", \"detail\": \"d\", \"impact\": \"i\"}}")
            << noFailure << false << std::optional<QString>()
            << QStringLiteral("The data couldn't be read because the key \"effort\" is missing from the "
                              "recommendation.");
        QTest::newRow("no recommendation key") << QStringLiteral("{\"advice\": {}}") << noFailure << false
                                               << std::optional<QString>() << QString();
        QTest::newRow("no JSON") << QStringLiteral("Try a spreadsheet formula.") << noFailure << false
                                 << std::optional<QString>()
                                 << QStringLiteral("Gemini returned an unreadable response.");
        QTest::newRow("client failure passed on")
            << QString() << std::optional(GeminiClientError::apiError(QStringLiteral("Quota exceeded.")))
            << false << std::optional<QString>() << QStringLiteral("Quota exceeded.");
    }

    void decodesTheReply() {
        QFETCH(QString, reply);
        QFETCH(std::optional<GeminiClientError>, clientFailure);
        QFETCH(bool, decodes);
        QFETCH(std::optional<QString>, prompt);
        QFETCH(QString, error);

        FakeGemini gemini;
        if (clientFailure)
            gemini.replies.push_back(*clientFailure);
        else
            gemini.replies.push_back(reply);
        RecommendationEngine engine(&gemini, m_state.get());
        const Result result =
            run(engine.generateRecommendation(slowWorkflow(), QStringLiteral("a"), std::nullopt));
        QCOMPARE(result.hasValue(), decodes);
        if (decodes) {
            QCOMPARE(result->headline, QStringLiteral("Use Claude to reformat your dates"));
            QCOMPARE(result->detail, QStringLiteral("Paste the column and ask for ISO dates."));
            QCOMPARE(result->effort, QStringLiteral("30 seconds"));
            QCOMPARE(result->impact, QStringLiteral("Saves ~15 minutes of manual work"));
            QCOMPARE(result->prompt, prompt);
        } else if (clientFailure) {
            QCOMPARE(result.error(), *clientFailure);
        } else if (error.isEmpty()) {
            QCOMPARE(result.error().kind(), GeminiClientError::Kind::Decoding);
        } else {
            QCOMPARE(result.error().description(), error);
        }
    }
};

QTEST_GUILESS_MAIN(TestRecommendationEngine)
#include "tst_recommendation_engine.moc"
