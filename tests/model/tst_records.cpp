#include "model/JsonCoding.h"
#include "model/Records.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaProperty>
#include <QTest>

using namespace norvane;

namespace {

template <typename E> bool roundTrips(std::initializer_list<E> all) {
    for (E value : all)
        if (fromRawValue<E>(rawValue(value)) != value)
            return false;
    return true;
}

QJsonObject parse(const char* json) {
    return QJsonDocument::fromJson(json).object();
}

QVariant gadgetProperty(const QMetaObject& meta, const void* gadget, const char* name) {
    const int index = meta.indexOfProperty(name);
    return index < 0 ? QVariant() : meta.property(index).readOnGadget(gadget);
}

const char* kRecommendation =
    R"({"headline":"Use a macro","detail":"Record it once.","prompt":"Write a macro","effort":"low","impact":"high"})";

} // namespace

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void rawValuesRoundTrip() {
        using S = MonitoringActivityState;
        using R = ScreenshotCaptureReason;
        using C = OpportunityCategory;
        using O = NudgeOutcome;
        using P = NudgePipelineState;
        QVERIFY(roundTrips({S::Idle, S::Wake, S::Active, S::Cooldown}));
        QVERIFY(roundTrips(
            {R::ResumedAfterIdle, R::ActiveInterval, R::AppSwitch, R::WindowSwitch, R::CooldownInterval}));
        QVERIFY(roundTrips({MeaningfulInputKind::Keyboard, MeaningfulInputKind::MouseDown,
                            MeaningfulInputKind::MouseDrag, MeaningfulInputKind::Scroll}));
        QVERIFY(roundTrips(
            {C::ManualWork, C::Stuck, C::InefficientPrompting, C::SlowWorkflow, C::MissedAutomation}));
        QVERIFY(roundTrips(
            {O::Shown, O::CloseButton, O::AutoDismissed, O::NotNow, O::RecommendationShown, O::NotUseful}));
        QVERIFY(roundTrips({P::MonitoringOff, P::Paused, P::WaitingForActivity, P::CollectingContext,
                            P::Analyzing, P::NoOpportunity, P::NudgeVisible, P::Failed}));
        QVERIFY(roundTrips(
            {NudgePhase::Question, NudgePhase::LoadingRecommendation, NudgePhase::Recommendation}));
        // A few texts that other parts write to disk and logs, spelled out.
        QCOMPARE(rawValue(S::Cooldown), u"cool-down");
        QCOMPARE(rawValue(R::CooldownInterval), u"cooldown-interval");
        QCOMPARE(rawValue(R::ResumedAfterIdle), u"resumed-after-idle");
        QCOMPARE(rawValue(O::NotUseful), u"not-useful");
        QCOMPARE(rawValue(O::RecommendationShown), u"recommendation-shown");
        QCOMPARE(rawValue(P::WaitingForActivity), u"waiting-for-activity");
        QCOMPARE(rawValue(NudgePhase::LoadingRecommendation), u"loadingRecommendation");
        QCOMPARE(rawValue(MeaningfulInputKind::MouseDrag), u"mouse-drag");
    }

    void decodingIsStrict() {
        QCOMPARE(fromRawValue<MonitoringActivityState>(u"cool-down"), MonitoringActivityState::Cooldown);
        QVERIFY(!fromRawValue<MonitoringActivityState>(u"cooldown"));
        QCOMPARE(fromRawValue<ScreenshotCaptureReason>(u"cooldown-interval"),
                 ScreenshotCaptureReason::CooldownInterval);
        QVERIFY(!fromRawValue<ScreenshotCaptureReason>(u"cool-down-interval"));
        QVERIFY(!fromRawValue<MonitoringActivityState>(u"Idle"));
        QVERIFY(!fromRawValue<NudgeOutcome>(u"NOT-NOW"));
        QVERIFY(!fromRawValue<NudgePhase>(u"loading-recommendation"));
        QVERIFY(!fromRawValue<OpportunityCategory>(u" stuck"));
        QVERIFY(!fromRawValue<OpportunityCategory>(u""));
    }

    void opportunityRoundTrip() {
        const Opportunity o{QStringLiteral("copy-paste"), 0.83, QStringLiteral("Copies cells by hand."),
                            QStringLiteral("Are you moving data between sheets?"),
                            OpportunityCategory::ManualWork};
        const QJsonObject json = toJson(o);
        QStringList keys = json.keys();
        keys.sort();
        QCOMPARE(keys, (QStringList{"category", "confidence", "observation", "patternId", "question"}));
        QCOMPARE(json.value("category").toString(), u"manual-work");
        const auto decoded =
            decodeOpportunity(QJsonDocument::fromJson(QJsonDocument(json).toJson()).object());
        QVERIFY(decoded);
        QCOMPARE(*decoded, o);
        // Identity is the pattern alone.
        Opportunity other = o;
        other.confidence = 0.1;
        other.category = OpportunityCategory::Stuck;
        QVERIFY(other.sameIdentity(o));
        QVERIFY(other != o);
    }

    void opportunityDecodingFailures_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("named"); // what the error text must name
        const QByteArray ok = R"("patternId":"p","confidence":0.9,"observation":"o","question":"q")";
        QTest::newRow("unknown category")
            << QByteArray("{" + ok + R"(,"category":"automation"})") << "\"automation\"";
        QTest::newRow("category case") << QByteArray("{" + ok + R"(,"category":"Stuck"})") << "\"Stuck\"";
        QTest::newRow("no category") << QByteArray("{" + ok + "}") << "\"category\"";
        QTest::newRow("category null") << QByteArray("{" + ok + R"(,"category":null})") << "\"category\"";
        QTest::newRow("no patternId")
            << QByteArray(R"({"confidence":0.9,"observation":"o","question":"q","category":"stuck"})")
            << "\"patternId\"";
        QTest::newRow("confidence as text")
            << QByteArray(
                   R"({"patternId":"p","confidence":"high","observation":"o","question":"q","category":"stuck"})")
            << "\"confidence\"";
        QTest::newRow("not an object") << QByteArray(R"(["p"])") << "the opportunity";
    }
    void opportunityDecodingFailures() {
        QFETCH(QByteArray, json);
        QFETCH(QString, named);
        const QJsonDocument document = QJsonDocument::fromJson(json);
        const auto decoded = decodeOpportunity(document.isArray() ? QJsonValue(document.array())
                                                                  : QJsonValue(document.object()));
        QVERIFY(!decoded);
        QVERIFY2(decoded.error().description.contains(named), qPrintable(decoded.error().description));
        QVERIFY(decoded.error().description.endsWith(u'.'));
    }

    void recommendationCoding() {
        auto full = decodeRecommendation(parse(kRecommendation));
        QVERIFY(full);
        QCOMPARE(full->prompt, std::optional<QString>(QStringLiteral("Write a macro")));
        QCOMPARE(*decodeRecommendation(toJson(*full)), *full);

        QJsonObject object = parse(kRecommendation);
        object.remove("prompt");
        auto withoutPrompt = decodeRecommendation(object);
        QVERIFY(withoutPrompt);
        QVERIFY(!withoutPrompt->prompt);
        QVERIFY(!toJson(*withoutPrompt).contains("prompt"));
        object.insert("prompt", QJsonValue::Null);
        QVERIFY(decodeRecommendation(object));
        QVERIFY(!decodeRecommendation(object)->prompt);

        object.insert("prompt", 3);
        QVERIFY(decodeRecommendation(object).error().description.contains(u"\"prompt\""));
        object.remove("prompt");
        object.remove("effort");
        const auto noEffort = decodeRecommendation(object);
        QVERIFY(!noEffort);
        QCOMPARE(noEffort.error().description,
                 u"The data couldn't be read because the key \"effort\" is missing from the recommendation.");
    }

    void textHelpers() {
        QCOMPARE(nilIfBlank(QStringLiteral(" \t\n key \r\n")), std::optional<QString>(QStringLiteral("key")));
        QCOMPARE(nilIfBlank(QStringLiteral(" \n\t\u00a0\u2028 ")), std::nullopt);
        QCOMPARE(nilIfBlank(QString()), std::nullopt);
        QCOMPARE(nilIfBlank(QStringLiteral("a b")), std::optional<QString>(QStringLiteral("a b")));
        const QUuid id = QUuid::fromString(u"{0f8e2a1b-3c4d-4e5f-8a9b-0c1d2e3f4a5b}");
        QCOMPARE(uuidText(id), u"0F8E2A1B-3C4D-4E5F-8A9B-0C1D2E3F4A5B");
        QCOMPARE(shortId(id), u"0F8E2A1B");
    }

    void monitoringOffIsOneConstant() {
        const NudgePipelineDiagnostics& first = NudgePipelineDiagnostics::monitoringOff();
        const QDateTime firstTime = first.updatedAt;
        // One object, never rebuilt or refreshed.
        QCOMPARE(&NudgePipelineDiagnostics::monitoringOff(), &first);
        QCOMPARE(NudgePipelineDiagnostics::monitoringOff().updatedAt, firstTime);
        QVERIFY(first.updatedAt.isValid());
        QCOMPARE(first.state, NudgePipelineState::MonitoringOff);
        QCOMPARE(first.detail, u"Turn monitoring on to start collecting screenshots for nudge analysis.");
        QCOMPARE(gadgetProperty(NudgePipelineDiagnostics::staticMetaObject, &first, "stateName").toString(),
                 u"monitoring-off");
    }

    void gadgetsExposeWhatViewsRead() {
        NudgeState nudge;
        nudge.id = QUuid::fromString(u"{0f8e2a1b-3c4d-4e5f-8a9b-0c1d2e3f4a5b}");
        nudge.opportunity = {QStringLiteral("p"), 0.9, QStringLiteral("o"), QStringLiteral("Why by hand?"),
                             OpportunityCategory::SlowWorkflow};
        nudge.phase = NudgePhase::LoadingRecommendation;
        nudge.errorMessage = QStringLiteral("It failed.");
        const QVariant variant = QVariant::fromValue(nudge);
        QCOMPARE(variant.value<NudgeState>(), nudge);

        const QMetaObject& meta = NudgeState::staticMetaObject;
        QCOMPARE(gadgetProperty(meta, &nudge, "phaseName").toString(), u"loadingRecommendation");
        QCOMPARE(gadgetProperty(meta, &nudge, "id").toString(), u"0F8E2A1B-3C4D-4E5F-8A9B-0C1D2E3F4A5B");
        QCOMPARE(gadgetProperty(meta, &nudge, "hasErrorMessage").toBool(), true);
        QCOMPARE(gadgetProperty(meta, &nudge, "errorMessage").toString(), u"It failed.");
        QCOMPARE(gadgetProperty(meta, &nudge, "hasRecommendation").toBool(), false);
        const auto opportunity = gadgetProperty(meta, &nudge, "opportunity").value<Opportunity>();
        QCOMPARE(gadgetProperty(Opportunity::staticMetaObject, &opportunity, "question").toString(),
                 u"Why by hand?");
        QCOMPARE(gadgetProperty(Opportunity::staticMetaObject, &opportunity, "categoryName").toString(),
                 u"slow-workflow");

        nudge.recommendation = *decodeRecommendation(parse(kRecommendation));
        const auto recommendation = gadgetProperty(meta, &nudge, "recommendation").value<Recommendation>();
        QCOMPARE(gadgetProperty(Recommendation::staticMetaObject, &recommendation, "hasPrompt").toBool(),
                 true);
        QCOMPARE(gadgetProperty(Recommendation::staticMetaObject, &recommendation, "promptText").toString(),
                 u"Write a macro");
        QCOMPARE(gadgetProperty(Recommendation::staticMetaObject, &recommendation, "impact").toString(),
                 u"high");
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
