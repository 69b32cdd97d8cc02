#include "AnalysisTesting.h"
#include "analysis/RecommendationEngine.h"
#include "fakes/Fakes.h"

#include <QTest>

using namespace norvane;
using namespace norvane::testing;

Q_DECLARE_METATYPE(std::optional<GeminiClientError>)
Q_DECLARE_METATYPE(std::optional<QString>)

using Result = Expected<Recommendation, GeminiClientError>;

namespace {

const QString fields =
    QStringLiteral("\"headline\": \"Use Claude to reformat your dates\", "
                   "\"detail\": \"Paste the column and ask for ISO dates.\", "
                   "\"effort\": \"30 seconds\", \"impact\": \"Saves ~15 minutes of manual work\"");
const QString goodReply = "{\"recommendation\": {" + fields + "}}";

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
    std::unique_ptr<FakeGemini> m_gemini;

    Result ask(const QString& answer = QStringLiteral("a"), std::optional<Screenshot> shot = std::nullopt,
               std::optional<QString> key = std::nullopt) {
        RecommendationEngine engine(m_gemini.get(), m_state.get());
        auto result = startTask(key ? engine.generateRecommendation(slowWorkflow(), answer, shot, *key)
                                    : engine.generateRecommendation(slowWorkflow(), answer, shot));
        if (!QTest::qWaitFor([&] { return result->has_value(); }, 5000))
            return GeminiClientError::transport(QStringLiteral("the test gave up waiting"));
        return **result;
    }

private slots:
    void init() {
        m_state = std::make_unique<AppState>(nullptr, nullptr, &m_clock);
        m_state->setApiKey(QStringLiteral("\n key-from-settings  "));
        m_gemini = std::make_unique<FakeGemini>();
    }
    void cleanup() { m_state.reset(); }

    void theWholePrompt() {
        // A multi-line answer goes in unchanged; the closing text still starts after one empty line.
        const QString answer = QStringLiteral("Collecting order numbers\nfrom 40 emails  ");
        m_gemini->replies.push_back(goodReply);
        QVERIFY(ask(answer));
        QCOMPARE(m_gemini->calls.first().parts.first(),
                 GeminiRequestPart::fromText(expectedRecommendationPrompt()));

        Opportunity prompting = slowWorkflow();
        prompting.category = OpportunityCategory::InefficientPrompting;
        QVERIFY(RecommendationEngine::prompt(prompting, answer)
                    .contains(QStringLiteral("\nPATTERN CATEGORY: inefficient-prompting\n")));
    }

    void partsAndKey() {
        for (int i = 0; i < 3; ++i)
            m_gemini->replies.push_back(goodReply);
        QVERIFY(ask());
        const Screenshot shot = makeScreenshot(QStringLiteral("Safari"), QStringLiteral("Orders - Admin"));
        QVERIFY(ask(QStringLiteral("a"), shot));
        m_state->setApiKey(QString());
        QVERIFY(ask(QStringLiteral("a"), std::nullopt, QStringLiteral("explicit-key")));

        const auto& calls = m_gemini->calls;
        QCOMPARE(calls.size(), 3);
        for (const auto& call : calls) {
            QCOMPARE(call.temperature, 0.2);
            QCOMPARE(call.responseMimeType, std::optional<QString>(QStringLiteral("application/json")));
        }
        QCOMPARE(calls.at(0).apiKey, QStringLiteral("key-from-settings"));
        QCOMPARE(calls.at(2).apiKey, QStringLiteral("explicit-key"));
        QCOMPARE(calls.at(0).parts.size(), 1);
        QCOMPARE(calls.at(1).parts, (QList{calls.at(0).parts.at(0), GeminiRequestPart::fromJpeg(shot.base64),
                                           GeminiRequestPart::fromText(QStringLiteral(
                                               "Current screenshot: Safari - Orders - Admin"))}));
    }

    void blankKeySendsNothing() {
        const auto missing = GeminiClientError::apiError(
            QStringLiteral("Add a Gemini API key before asking for recommendations."));
        QCOMPARE(ask(QStringLiteral("a"), std::nullopt, QStringLiteral(" \t\n ")).error(), missing);
        m_state->setApiKey(QStringLiteral("   "));
        QCOMPARE(ask().error(), missing);
        QVERIFY(m_gemini->calls.isEmpty());
    }

    void decodesTheReply_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<std::optional<GeminiClientError>>("clientFailure");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<std::optional<QString>>("prompt");
        QTest::addColumn<QString>("error"); // expected description, "" for a decoder's text

        const auto ok = std::optional<GeminiClientError>();
        const auto noPrompt = std::optional<QString>();
        QTest::newRow("prompt given, fenced")
            << "```json\n{\"recommendation\": {" + fields +
                   ", \"prompt\": \"Convert these dates to ISO 8601\"}}\n```"
            << ok << true << std::optional<QString>(QStringLiteral("Convert these dates to ISO 8601"))
            << QString();
        QTest::newRow("empty prompt kept") << "{\"recommendation\": {" + fields + ", \"prompt\": \"\"}}" << ok
                                           << true << std::optional<QString>(QString()) << QString();
        QTest::newRow("prompt null") << "{\"recommendation\": {" + fields + ", \"prompt\": null}}" << ok
                                     << true << noPrompt << QString();
        QTest::newRow("prompt missing, prose around")
            << "Here you go: " + goodReply + " Enjoy!" << ok << true << noPrompt << QString();
        QTest::newRow("effort missing")
            << QStringLiteral(
                   "{\"recommendation\": {\"headline\": \"h\", \"detail\": \"d\", \"impact\": \"i\"}}")
            << ok << false << noPrompt
            << QStringLiteral("The data couldn't be read because the key \"effort\" is missing from the "
                              "recommendation.");
        QTest::newRow("recommendation null")
            << QStringLiteral("{\"recommendation\": null}") << ok << false << noPrompt << QString();
        QTest::newRow("no JSON") << QStringLiteral("Try a spreadsheet formula.") << ok << false << noPrompt
                                 << QStringLiteral("Gemini returned an unreadable response.");
        QTest::newRow("client failure passed on")
            << QString() << std::optional(GeminiClientError::apiError(QStringLiteral("Quota exceeded.")))
            << false << noPrompt << QStringLiteral("Quota exceeded.");
    }

    void decodesTheReply() {
        QFETCH(QString, reply);
        QFETCH(std::optional<GeminiClientError>, clientFailure);
        QFETCH(bool, decodes);
        QFETCH(std::optional<QString>, prompt);
        QFETCH(QString, error);

        if (clientFailure)
            m_gemini->replies.push_back(*clientFailure);
        else
            m_gemini->replies.push_back(reply);
        const Result result = ask();
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
