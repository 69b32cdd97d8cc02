#include "AnalysisTesting.h"
#include "analysis/OpportunityAnalyzer.h"
#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"

#include <QTest>

#include <clocale>

using namespace norvane;
using namespace norvane::testing;

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

// What the model client answers: a text, or a failure.
struct Reply {
    QString text;
    std::optional<GeminiClientError> failure;
};

} // namespace

Q_DECLARE_METATYPE(Reply)

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
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<std::optional<NudgePipelineState>>("state"); // nothing: found, diagnostics untouched
        QTest::addColumn<QString>("detail");

        const QString key = QStringLiteral("test-key-123");
        const auto none = std::optional(NudgePipelineState::NoOpportunity);
        const auto failed = std::optional(NudgePipelineState::Failed);
        const QString wrongCount =
            QStringLiteral("Norvane needs exactly 3 screenshots before it can analyze a potential nudge.");
        const auto below = QStringLiteral(
            "Gemini saw something, but its confidence (%1) stayed below the current threshold (0.70).");

        QTest::newRow("two screenshots") << 2 << key << Reply() << failed << wrongCount;
        QTest::newRow("four screenshots") << 4 << key << Reply() << failed << wrongCount;
        QTest::newRow("blank key") << 3 << QStringLiteral(" \t\n ") << Reply() << failed
                                   << QStringLiteral(
                                          "Gemini API key is missing, so nudge analysis cannot run.");
        QTest::newRow("null verdict")
            << 3 << key << Reply{QStringLiteral("{\"opportunity\": null}")} << none
            << QStringLiteral("Gemini reviewed the latest screenshots and chose not to interrupt.");
        QTest::newRow("equal to the threshold")
            << 3 << key << Reply{verdict(0.7)} << std::optional<NudgePipelineState>() << QString();
        QTest::newRow("just below, rounds to equal")
            << 3 << key << Reply{verdict(0.699)} << none << below.arg(QStringLiteral("0.70"));
        QTest::newRow("clearly below")
            << 3 << key << Reply{verdict(0.55)} << none << below.arg(QStringLiteral("0.55"));
        QTest::newRow("unknown category")
            << 3 << key << Reply{verdict(0.9, QStringLiteral("procrastination"))} << failed
            << QStringLiteral(
                   "The data couldn't be read because \"procrastination\" is not a valid category of "
                   "the opportunity; expected one of manual-work, stuck, inefficient-prompting, "
                   "slow-workflow, missed-automation.");
        QTest::newRow("no JSON in the reply")
            << 3 << key << Reply{QStringLiteral("I would not interrupt.")} << failed
            << QStringLiteral("Gemini returned an unreadable response.");
        QTest::newRow("client failure") << 3 << key << Reply{{}, GeminiClientError::emptyResponse()} << failed
                                        << QStringLiteral("Gemini returned an empty response.");
    }

    // Run under a locale whose decimal separator is a comma: numbers in the texts must not follow it.
    // Failures after a model call are logged; those found before it are not.
    void outcomes() {
        QFETCH(int, count);
        QFETCH(QString, key);
        QFETCH(Reply, reply);
        QFETCH(std::optional<NudgePipelineState>, state);
        QFETCH(QString, detail);

        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        std::setlocale(LC_ALL, "de_DE.UTF-8"); // where the system has it
        FakeGemini gemini;
        if (reply.failure)
            gemini.replies.push_back(*reply.failure);
        else
            gemini.replies.push_back(reply.text);
        m_state->setApiKey(key);
        m_clock.advance(12.5);
        OpportunityAnalyzer analyzer(&gemini, m_state.get());
        LogCapture log;

        QList<Screenshot> screenshots;
        for (int i = 0; i < count; ++i)
            screenshots.append(makeScreenshot(QStringLiteral("Numbers"), QStringLiteral("Budget"), 7 + i));
        const auto opportunity = analyzeNow(analyzer, screenshots);

        const bool asked = count == 3 && !key.trimmed().isEmpty();
        QCOMPARE(gemini.calls.size(), asked ? 1 : 0);
        QCOMPARE(opportunity.has_value(), !state);
        if (opportunity)
            QCOMPARE(opportunity->patternId, QStringLiteral("manual-copy-paste"));
        if (state) {
            QCOMPARE(m_state->nudgeDiagnostics().state, *state);
            QCOMPARE(m_state->nudgeDiagnostics().detail, detail);
            QCOMPARE(m_state->nudgeDiagnostics().updatedAt, m_clock.now());
        } else {
            QCOMPARE(m_state->nudgeDiagnostics(), m_before);
        }
        if (asked && state == NudgePipelineState::Failed)
            QCOMPARE(log.messages(category, QtCriticalMsg),
                     QStringList{QStringLiteral("Opportunity analysis failed: ") + detail});
        else
            QVERIFY(log.messages(category).isEmpty());
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
        QCOMPARE(call.parts, expected);
    }

    void captionTimeIsMediumStyle() {
        const QDateTime time(QDate(2026, 3, 2), QTime(15, 4, 5), Qt::LocalTime);
        const std::pair<QLocale, QString> cases[] = {
            {QLocale(QLocale::English, QLocale::UnitedStates), QStringLiteral("3:04:05 PM")},
            {QLocale(QLocale::German, QLocale::Germany), QStringLiteral("15:04:05")},
            {QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("15:04:05")}, // zone first
            {QLocale(QLocale::Persian, QLocale::Iran), QStringLiteral("۱۵:۰۴:۰۵")},  // zone in parentheses
        };
        for (const auto& [locale, text] : cases) {
            QLocale::setDefault(locale);
            QCOMPARE(OpportunityAnalyzer::mediumTimeText(time), text);
        }
    }

    // Whether or not the client stops, a cancelled analysis writes no diagnostics and logs nothing.
    void cancellationWritesNothing() {
        for (bool honours : {true, false}) {
            StallingGemini gemini;
            gemini.clock = &m_clock;
            gemini.honoursCancellation = honours;
            gemini.reply = QStringLiteral("not JSON at all"); // would be a logged failure if it were read
            OpportunityAnalyzer analyzer(&gemini, m_state.get());
            LogCapture log;
            CancellationSource source;
            auto result = startTask(analyzer.analyze(threeScreenshots(), source.token()));
            QCOMPARE(gemini.calls, 1);
            source.cancel();
            m_clock.advance(30);
            QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 5000);
            QCOMPARE(result->value(), std::nullopt);
            QCOMPARE(m_state->nudgeDiagnostics(), m_before);
            QVERIFY(log.messages(category).isEmpty());
        }
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
};

QTEST_GUILESS_MAIN(TestOpportunityAnalyzer)
#include "tst_opportunity_analyzer.moc"
