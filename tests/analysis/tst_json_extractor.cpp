#include "AnalysisTesting.h"
#include "analysis/JSONExtractor.h"

#include <QTest>

using namespace norvane;
using norvane::testing::failureText;

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
        QTest::newRow("prose around it") << "Here is my verdict:\n" + opportunityJson + "\nHope that helps!"
                                         << "opportunity";

        QTest::newRow("braces reversed") << QStringLiteral("} nothing to see here {") << "invalid";
        QTest::newRow("no braces") << QStringLiteral("I could not decide.") << "invalid";
        QTest::newRow("only an opening brace") << QStringLiteral("{ \"opportunity\": null") << "invalid";

        QTest::newRow("span that is not JSON") << QStringLiteral("See {this} and {that}.") << "decoding";
        QTest::newRow("missing field")
            << QStringLiteral("{\"opportunity\": {\"patternId\": \"p\"}}") << "decoding";
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
