#include "AwaitTask.h"
#include "ExpectedPrompts.h"
#include "LoopbackHttpServer.h"
#include "analysis/GeminiClient.h"
#include "analysis/OpportunityAnalyzer.h"
#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <clocale>

using namespace norvane;
using namespace norvane::testing;

Q_DECLARE_METATYPE(std::optional<GeminiClientError>)
Q_DECLARE_METATYPE(std::optional<NudgePipelineState>)

namespace {

const QString category = QStringLiteral("Norvane.OpportunityAnalyzer");

QString verdict(double confidence, const QString& categoryText = QStringLiteral("manual-work")) {
    return QStringLiteral(
               "{\"opportunity\": {\"patternId\": \"manual-copy-paste\", \"confidence\": %1, "
               "\"observation\": \"Copying rows from Mail into Numbers\", "
               "\"question\": \"What are you collecting from these emails?\", \"category\": \"%2\"}}")
        .arg(confidence)
        .arg(categoryText);
}

QList<Screenshot> threeScreenshots() {
    QList<Screenshot> list;
    for (int i = 0; i < 3; ++i)
        list.append(makeScreenshot(QStringLiteral("Numbers"), QStringLiteral("Budget.numbers"), 7 + i));
    return list;
}

// A model client that answers only when the test says so, and honours cancellation if asked to.
class StallingGemini : public GeminiGenerating {
public:
    ManualClock* clock = nullptr;
    bool honoursCancellation = true;
    QString reply = verdict(0.95);
    int calls = 0;

    QCoro::Task<Expected<QString, GeminiClientError>> generate(QList<GeminiRequestPart>, QString, double,
                                                               std::optional<QString>,
                                                               CancellationToken cancel) override {
        ++calls;
        co_await clock->sleep(30, honoursCancellation ? cancel : CancellationToken());
        if (honoursCancellation && cancel.isCancelled())
            co_return GeminiClientError::cancelled();
        Expected<QString, GeminiClientError> result = reply; // a copy: co_return would move the member away
        co_return result;
    }
};

} // namespace

class TestOpportunityAnalyzer : public QObject {
    Q_OBJECT

    ManualClock m_clock;
    std::unique_ptr<AppState> m_state;
    const NudgePipelineDiagnostics m_before{NudgePipelineState::Analyzing, QStringLiteral("before"),
                                            QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC)};

    std::optional<Opportunity> analyzeNow(OpportunityAnalyzer& analyzer, QList<Screenshot> screenshots,
                                          CancellationToken cancel = {}) {
        auto result = startTask(analyzer.analyze(std::move(screenshots), cancel));
        [&] { QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 5000); }();
        return result->value_or(std::nullopt);
    }

private slots:
    void init() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_state = std::make_unique<AppState>(nullptr, nullptr, &m_clock);
        m_state->setApiKey(QStringLiteral("  test-key-123 \n"));
        m_state->setConfidenceThreshold(0.7);
        m_state->setNudgeDiagnostics(m_before);
    }
    void cleanup() {
        m_state.reset();
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_ALL, "C");
    }

    void outcomes_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("key");
        QTest::addColumn<double>("threshold");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<std::optional<GeminiClientError>>("failure");
        QTest::addColumn<bool>("found");
        QTest::addColumn<std::optional<NudgePipelineState>>("state"); // nothing: left untouched
        QTest::addColumn<QString>("detail");
        QTest::addColumn<int>("requests");
        QTest::addColumn<bool>("logged");

        const QString key = QStringLiteral("test-key-123");
        const QString notInterrupting =
            QStringLiteral("Gemini reviewed the latest screenshots and chose not to interrupt.");
        const auto noError = std::optional<GeminiClientError>();
        const auto none = std::optional(NudgePipelineState::NoOpportunity);
        const auto failed = std::optional(NudgePipelineState::Failed);
        const auto untouched = std::optional<NudgePipelineState>();
        const QString wrongCount =
            QStringLiteral("Norvane needs exactly 3 screenshots before it can analyze a potential nudge.");

        QTest::newRow("two screenshots")
            << 2 << key << 0.7 << QString() << noError << false << failed << wrongCount << 0 << false;
        QTest::newRow("four screenshots")
            << 4 << key << 0.7 << QString() << noError << false << failed << wrongCount << 0 << false;
        QTest::newRow("blank key") << 3 << QStringLiteral(" \t\n ") << 0.7 << QString() << noError << false
                                   << failed
                                   << QStringLiteral(
                                          "Gemini API key is missing, so nudge analysis cannot run.")
                                   << 0 << false;
        QTest::newRow("null verdict") << 3 << key << 0.7 << QStringLiteral("{\"opportunity\": null}")
                                      << noError << false << none << notInterrupting << 1 << false;
        QTest::newRow("empty object") << 3 << key << 0.7 << QStringLiteral("{}") << noError << false << none
                                      << notInterrupting << 1 << false;
        QTest::newRow("fenced null") << 3 << key << 0.7
                                     << QStringLiteral("```json\n{\"opportunity\": null}\n```") << noError
                                     << false << none << notInterrupting << 1 << false;
        QTest::newRow("equal to the threshold")
            << 3 << key << 0.7 << verdict(0.7) << noError << true << untouched << QString() << 1 << false;
        QTest::newRow("above, with prose around")
            << 3 << key << 0.7 << "My verdict:\n" + verdict(0.9) + "\nThanks." << noError << true << untouched
            << QString() << 1 << false;
        QTest::newRow("just below, rounds to equal")
            << 3 << key << 0.7 << verdict(0.699) << noError << false << none
            << QStringLiteral(
                   "Gemini saw something, but its confidence (0.70) stayed below the current threshold "
                   "(0.70).")
            << 1 << false;
        QTest::newRow("clearly below")
            << 3 << key << 0.7 << verdict(0.55) << noError << false << none
            << QStringLiteral(
                   "Gemini saw something, but its confidence (0.55) stayed below the current threshold "
                   "(0.70).")
            << 1 << false;
        QTest::newRow("unknown category")
            << 3 << key << 0.7 << verdict(0.9, QStringLiteral("procrastination")) << noError << false
            << failed
            << QStringLiteral(
                   "The data couldn't be read because \"procrastination\" is not a valid category of the "
                   "opportunity; expected one of manual-work, stuck, inefficient-prompting, "
                   "slow-workflow, missed-automation.")
            << 1 << true;
        QTest::newRow("no JSON in the reply")
            << 3 << key << 0.7 << QStringLiteral("I would not interrupt.") << noError << false << failed
            << QStringLiteral("Gemini returned an unreadable response.") << 1 << true;
        QTest::newRow("client failure")
            << 3 << key << 0.7 << QString() << std::optional(GeminiClientError::emptyResponse()) << false
            << failed << QStringLiteral("Gemini returned an empty response.") << 1 << true;
        QTest::newRow("transport failure")
            << 3 << key << 0.7 << QString()
            << std::optional(GeminiClientError::transport(QStringLiteral("Connection refused"))) << false
            << failed << QStringLiteral("Connection refused") << 1 << true;
    }

    void outcomes() {
        QFETCH(int, count);
        QFETCH(QString, key);
        QFETCH(double, threshold);
        QFETCH(QString, reply);
        QFETCH(std::optional<GeminiClientError>, failure);
        QFETCH(bool, found);
        QFETCH(std::optional<NudgePipelineState>, state);
        QFETCH(QString, detail);
        QFETCH(int, requests);
        QFETCH(bool, logged);

        FakeGemini gemini;
        if (failure)
            gemini.replies.push_back(*failure);
        else
            gemini.replies.push_back(reply);
        m_state->setApiKey(key);
        m_state->setConfidenceThreshold(threshold);
        m_clock.advance(12.5);
        OpportunityAnalyzer analyzer(&gemini, m_state.get());
        LogCapture log;

        QList<Screenshot> screenshots;
        for (int i = 0; i < count; ++i)
            screenshots.append(makeScreenshot(QStringLiteral("Numbers"), QStringLiteral("Budget"), 7 + i));
        const auto opportunity = analyzeNow(analyzer, screenshots);

        QCOMPARE(gemini.calls.size(), requests);
        QCOMPARE(opportunity.has_value(), found);
        if (found) {
            QCOMPARE(opportunity->patternId, QStringLiteral("manual-copy-paste"));
            QCOMPARE(opportunity->category, OpportunityCategory::ManualWork);
        }
        if (state) {
            QCOMPARE(m_state->nudgeDiagnostics().state, *state);
            QCOMPARE(m_state->nudgeDiagnostics().detail, detail);
            QCOMPARE(m_state->nudgeDiagnostics().updatedAt, m_clock.now());
        } else {
            QCOMPARE(m_state->nudgeDiagnostics(), m_before);
        }
        const QStringList critical = log.messages(category, QtCriticalMsg);
        if (logged)
            QCOMPARE(critical, QStringList{QStringLiteral("Opportunity analysis failed: ") + detail});
        else
            QVERIFY(log.messages(category).isEmpty());
    }

    void belowThresholdIgnoresTheLocale() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        std::setlocale(LC_ALL,
                       "de_DE.UTF-8"); // where the system has it; Qt's default locale is German anyway
        FakeGemini gemini;
        gemini.replies.push_back(verdict(0.699));
        OpportunityAnalyzer analyzer(&gemini, m_state.get());
        QVERIFY(!analyzeNow(analyzer, threeScreenshots()));
        QCOMPARE(m_state->nudgeDiagnostics().detail,
                 QStringLiteral("Gemini saw something, but its confidence (0.70) stayed below the current "
                                "threshold (0.70)."));
    }

    void sendsSevenPartsInOrder() {
        QList<Screenshot> screenshots = threeScreenshots();
        const QDateTime base(QDate(2026, 3, 2), QTime(15, 4, 5), Qt::LocalTime);
        const std::array states{MonitoringActivityState::Wake, MonitoringActivityState::Active,
                                MonitoringActivityState::Cooldown};
        for (int i = 0; i < 3; ++i) {
            screenshots[i].timestamp = base.addSecs(i * 4).toUTC();
            screenshots[i].activityState = states[i];
        }
        screenshots[0].captureReason = ScreenshotCaptureReason::ResumedAfterIdle;
        screenshots[1].captureReason = ScreenshotCaptureReason::ActiveInterval;
        screenshots[2].captureReason = std::nullopt;
        screenshots[2].appName = QStringLiteral("Mail");
        screenshots[2].windowTitle = QStringLiteral("Inbox – 3 unread");

        FakeGemini gemini;
        gemini.replies.push_back(verdict(0.9));
        OpportunityAnalyzer analyzer(&gemini, m_state.get());
        QVERIFY(analyzeNow(analyzer, screenshots));

        QCOMPARE(gemini.calls.size(), 1);
        const FakeGemini::Call& call = gemini.calls.first();
        QCOMPARE(call.apiKey, QStringLiteral("test-key-123")); // trimmed before sending
        QCOMPARE(call.temperature, 0.2);
        QCOMPARE(call.responseMimeType, std::optional<QString>(QStringLiteral("application/json")));
        const QList<GeminiRequestPart> expected{
            GeminiRequestPart::fromText(expectedAnalysisPrompt()),
            GeminiRequestPart::fromJpeg(screenshots[0].base64),
            GeminiRequestPart::fromText(QStringLiteral("Screenshot 1: Numbers - Budget.numbers at 3:04:05 PM "
                                                       "[state: wake, reason: resumed-after-idle]")),
            GeminiRequestPart::fromJpeg(screenshots[1].base64),
            GeminiRequestPart::fromText(QStringLiteral("Screenshot 2: Numbers - Budget.numbers at 3:04:09 PM "
                                                       "[state: active, reason: active-interval]")),
            GeminiRequestPart::fromJpeg(screenshots[2].base64),
            GeminiRequestPart::fromText(QStringLiteral(
                "Screenshot 3: Mail - Inbox – 3 unread at 3:04:13 PM [state: cool-down, reason: "
                "unspecified]")),
        };
        QCOMPARE(call.parts.size(), 7);
        for (int i = 0; i < 7; ++i)
            QVERIFY2(call.parts.at(i) == expected.at(i), qPrintable(QStringLiteral("part %1").arg(i + 1)));
        QVERIFY(!expectedAnalysisPrompt().endsWith(QLatin1Char('\n')));
        QCOMPARE(expectedAnalysisPrompt().count(QChar(0x2014)), 1);
    }

    void captionTimeIsMediumStyle_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates)
                               << QStringLiteral("3:04:05 PM");
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << QStringLiteral("15:04:05");
        QTest::newRow("zone first (zh_CN)")
            << QLocale(QLocale::Chinese, QLocale::China) << QStringLiteral("15:04:05");
        QTest::newRow("zone in parentheses (fa_IR)")
            << QLocale(QLocale::Persian, QLocale::Iran) << QStringLiteral("۱۵:۰۴:۰۵");
    }

    void captionTimeIsMediumStyle() {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QLocale::setDefault(locale);
        QCOMPARE(
            OpportunityAnalyzer::mediumTimeText(QDateTime(QDate(2026, 3, 2), QTime(15, 4, 5), Qt::LocalTime)),
            text);
    }

    void cancellationWritesNothing_data() {
        QTest::addColumn<bool>("clientHonoursCancellation");
        QTest::newRow("client stops") << true;
        QTest::newRow("client answers anyway") << false;
    }

    void cancellationWritesNothing() {
        QFETCH(bool, clientHonoursCancellation);
        StallingGemini gemini;
        gemini.clock = &m_clock;
        gemini.honoursCancellation = clientHonoursCancellation;
        gemini.reply = QStringLiteral("not JSON at all"); // would be a logged failure if it were read
        OpportunityAnalyzer analyzer(&gemini, m_state.get());
        LogCapture log;
        CancellationSource source;
        auto result = startTask(analyzer.analyze(threeScreenshots(), source.token()));
        QCOMPARE(gemini.calls, 1);
        QVERIFY(!result->has_value());
        source.cancel();
        m_clock.advance(30);
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 5000);
        QCOMPARE(result->value(), std::nullopt);
        QCOMPARE(m_state->nudgeDiagnostics(), m_before);
        QVERIFY(log.messages(category).isEmpty());
    }

    void stateGoneMidAnalysis() {
        StallingGemini gemini;
        gemini.clock = &m_clock;
        OpportunityAnalyzer analyzer(&gemini, m_state.get());
        auto result = startTask(analyzer.analyze(threeScreenshots()));
        m_state.reset();
        m_clock.advance(30);
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 5000);
        QCOMPARE(result->value(), std::nullopt);
    }

    // The analyzer over the real client: the wire carries the seven parts, and a service that repeats the
    // request URL back never puts the key into the diagnostics or the log.
    void overTheRealClient() {
        LoopbackHttpServer server;
        QVERIFY(server.start());
        const QByteArray echo =
            "Upstream error for /v1beta/models/gemini-3-flash-preview:generateContent?key="
            "test-key-123 (test-key-123)";
        server.setResponse(LoopbackHttpServer::json(500, echo));
        GeminiClient client(server.baseUrl());
        OpportunityAnalyzer analyzer(&client, m_state.get());
        LogCapture log;
        QVERIFY(!analyzeNow(analyzer, threeScreenshots()));

        QCOMPARE(server.requests().size(), 1);
        const QJsonArray parts = QJsonDocument::fromJson(server.requests().first().body)
                                     .object()
                                     .value(QStringLiteral("contents"))
                                     .toArray()
                                     .first()
                                     .toObject()
                                     .value(QStringLiteral("parts"))
                                     .toArray();
        QCOMPARE(parts.size(), 7);
        QCOMPARE(parts.at(0).toObject().value(QStringLiteral("text")).toString(), expectedAnalysisPrompt());
        QVERIFY(parts.at(1).toObject().contains(QStringLiteral("inlineData")));

        const QString detail = m_state->nudgeDiagnostics().detail;
        QCOMPARE(m_state->nudgeDiagnostics().state, NudgePipelineState::Failed);
        QVERIFY2(!detail.contains(QStringLiteral("test-key-123")), qPrintable(detail));
        QCOMPARE(detail.count(GeminiClient::apiKeyMask), 2);
        const QStringList lines = log.messages(category, QtCriticalMsg);
        QCOMPARE(lines, QStringList{QStringLiteral("Opportunity analysis failed: ") + detail});
    }
};

QTEST_GUILESS_MAIN(TestOpportunityAnalyzer)
#include "tst_opportunity_analyzer.moc"
