#include "AwaitTask.h"
#include "analysis/JSONExtractor.h"

#include <QTest>

using namespace norvane;
using norvane::testing::failureText;

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

const QString opportunityJson = QStringLiteral(
    "{\"opportunity\": {\"patternId\": \"manual-spreadsheet-formatting\", \"confidence\": 0.82, "
    "\"observation\": \"Formatting cells {one} by one\", \"question\": \"What are you formatting?\", "
    "\"category\": \"manual-work\"}}");

Expected<std::optional<Opportunity>, GeminiClientError> extractOpportunity(const QString& text) {
    return JSONExtractor::decode<std::optional<Opportunity>>(text, decodeOpportunityEnvelope);
}

} // namespace

class TestJsonExtractor : public QObject {
    Q_OBJECT
private slots:
    void extractsTheVerdict_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("outcome"); // "opportunity", "none", "invalid" or "decoding"

        QTest::newRow("bare object") << opportunityJson << "opportunity";
        QTest::newRow("bare null") << QStringLiteral("{\"opportunity\": null}") << "none";
        QTest::newRow("empty object") << QStringLiteral("{}") << "none";
        QTest::newRow("fenced with json tag") << "```json\n" + opportunityJson + "\n```"
                                              << "opportunity";
        QTest::newRow("fenced without tag") << "```\n" + opportunityJson + "\n```"
                                            << "opportunity";
        QTest::newRow("fenced null") << QStringLiteral("```json\n{\"opportunity\": null}\n```") << "none";
        QTest::newRow("prose around it") << "Here is my verdict:\n" + opportunityJson + "\nHope that helps!"
                                         << "opportunity";
        QTest::newRow("whitespace around it") << "\n\t  " + opportunityJson + "  \n\n"
                                              << "opportunity";
        QTest::newRow("upper-case tag left as prose") << "```JSON\n" + opportunityJson + "\n```"
                                                      << "opportunity";

        QTest::newRow("braces reversed") << QStringLiteral("} nothing to see here {") << "invalid";
        QTest::newRow("no braces") << QStringLiteral("I could not decide.") << "invalid";
        QTest::newRow("only an opening brace") << QStringLiteral("{ \"opportunity\": null") << "invalid";
        QTest::newRow("empty") << QString() << "invalid";
        QTest::newRow("only fences") << QStringLiteral("```json\n```") << "invalid";
        QTest::newRow("top-level array") << QStringLiteral("[null]") << "invalid";

        QTest::newRow("span that is not JSON") << QStringLiteral("See {this} and {that}.") << "decoding";
        QTest::newRow("first to last brace spans two objects")
            << QStringLiteral("{\"opportunity\": null} and also {\"x\": 1}") << "decoding";
        QTest::newRow("category outside the five")
            << QStringLiteral("Verdict: {\"opportunity\": {\"patternId\": \"p\", \"confidence\": 0.9, "
                              "\"observation\": \"o\", "
                              "\"question\": \"q\", \"category\": \"procrastination\"}}")
            << "decoding";
        QTest::newRow("missing field")
            << QStringLiteral("{\"opportunity\": {\"patternId\": \"p\"}}") << "decoding";
        QTest::newRow("opportunity of the wrong type")
            << QStringLiteral("{\"opportunity\": 3}") << "decoding";
    }

    void extractsTheVerdict() {
        QFETCH(QString, text);
        QFETCH(QString, outcome);
        const auto result = extractOpportunity(text);
        if (outcome == QLatin1String("invalid")) {
            QVERIFY(!result);
            QCOMPARE(result.error(), GeminiClientError::invalidResponse());
            QCOMPARE(result.error().description(), QStringLiteral("Gemini returned an unreadable response."));
        } else if (outcome == QLatin1String("decoding")) {
            QVERIFY(!result);
            QCOMPARE(result.error().kind(), GeminiClientError::Kind::Decoding);
            QVERIFY(
                result.error().description().startsWith(QStringLiteral("The data couldn't be read because")));
        } else if (outcome == QLatin1String("none")) {
            QVERIFY2(result, qPrintable(failureText(result)));
            QVERIFY(!result->has_value());
        } else {
            QVERIFY2(result, qPrintable(failureText(result)));
            QVERIFY(result->has_value());
            const Opportunity& opportunity = **result;
            QCOMPARE(opportunity.patternId, QStringLiteral("manual-spreadsheet-formatting"));
            QCOMPARE(opportunity.confidence, 0.82);
            QCOMPARE(opportunity.observation, QStringLiteral("Formatting cells {one} by one"));
            QCOMPARE(opportunity.question, QStringLiteral("What are you formatting?"));
            QCOMPARE(opportunity.category, OpportunityCategory::ManualWork);
        }
    }

    void categoryFailureNamesTheValue() {
        const auto result = extractOpportunity(QStringLiteral(
            "{\"opportunity\": {\"patternId\": \"p\", \"confidence\": 0.9, \"observation\": \"o\", "
            "\"question\": \"q\", \"category\": \"procrastination\"}}"));
        QVERIFY(!result);
        QVERIFY(result.error().description().contains(QStringLiteral("procrastination")));
    }

    void extractsTheRecommendation_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<std::optional<QString>>("prompt");

        const QString fields = QStringLiteral(
            "\"headline\": \"Use a formula\", \"detail\": \"Fill down.\", \"effort\": \"1 minute\", "
            "\"impact\": \"Saves 10 minutes\"");
        QTest::newRow("with prompt") << "```json\n{\"recommendation\": {" + fields +
                                            ", \"prompt\": \"Reformat these dates\"}}\n```"
                                     << true
                                     << std::optional<QString>(QStringLiteral("Reformat these dates"));
        QTest::newRow("prompt null") << "{\"recommendation\": {" + fields + ", \"prompt\": null}}" << true
                                     << std::optional<QString>();
        QTest::newRow("prompt missing, prose around")
            << "Sure! {\"recommendation\": {" + fields + "}} Good luck." << true << std::optional<QString>();
        QTest::newRow("no recommendation key")
            << QStringLiteral("{\"headline\": \"x\"}") << false << std::optional<QString>();
        QTest::newRow("recommendation null")
            << QStringLiteral("{\"recommendation\": null}") << false << std::optional<QString>();
    }

    void extractsTheRecommendation() {
        QFETCH(QString, text);
        QFETCH(bool, decodes);
        QFETCH(std::optional<QString>, prompt);
        const auto result = JSONExtractor::decode<Recommendation>(text, decodeRecommendationEnvelope);
        QCOMPARE(result.hasValue(), decodes);
        if (!decodes) {
            QCOMPARE(result.error().kind(), GeminiClientError::Kind::Decoding);
            return;
        }
        QCOMPARE(result->headline, QStringLiteral("Use a formula"));
        QCOMPARE(result->effort, QStringLiteral("1 minute"));
        QCOMPARE(result->prompt, prompt);
    }

    void cleansFences_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cleaned");
        QTest::newRow("tag removed with the fence") << QStringLiteral("```json{}```") << QStringLiteral("{}");
        QTest::newRow("tag case matters") << QStringLiteral("```Json{}```") << QStringLiteral("Json{}");
        QTest::newRow("four backticks leave one") << QStringLiteral("````{}") << QStringLiteral("`{}");
        QTest::newRow("newlines trimmed") << QStringLiteral("\r\n {} \n") << QStringLiteral("{}");
    }

    void cleansFences() {
        QFETCH(QString, text);
        QFETCH(QString, cleaned);
        QCOMPARE(JSONExtractor::cleanedText(text), cleaned);
    }
};

QTEST_GUILESS_MAIN(TestJsonExtractor)
#include "tst_json_extractor.moc"
