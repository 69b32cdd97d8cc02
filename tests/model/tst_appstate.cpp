#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"
#include "model/AppState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <limits>
#include <memory>

using namespace norvane;
using namespace norvane::testing;

namespace {

const QString kWaiting = QStringLiteral(
    "Norvane is watching for a short burst of recent activity before it asks Gemini anything.");
const QString kVisible =
    QStringLiteral("Gemini found a likely opportunity and the nudge should now be visible.");
const QString kDismissedWaiting = QStringLiteral(
    "No nudge cooldown is active. Norvane can show the next worthwhile opportunity as soon as it sees one.");
const QString kPausedUntil345 = QStringLiteral("Monitoring is paused until 3:45 PM.");

constexpr auto kModeMask = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                           QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther |
                           QFile::ExeOther;

Opportunity opportunity(const QString& patternId,
                        OpportunityCategory category = OpportunityCategory::ManualWork) {
    return {patternId, 0.9, QStringLiteral("Retypes the same rows."),
            QStringLiteral("Copying these by hand?"), category};
}

QList<NudgeOutcome> outcomes(const AppState& state) {
    QList<NudgeOutcome> result;
    for (const auto& entry : state.nudgeHistory())
        result.append(entry.outcome);
    return result;
}

// One state over a private settings file. The ManualClock starts at 15:00 UTC; tests run with TZ=UTC.
struct Env {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("config/Norvane/Norvane.ini"));
    std::unique_ptr<QSettings> settings;
    ManualClock clock;
    FakeNudgePresenter presenter;
    std::unique_ptr<AppState> state;

    explicit Env(const QByteArray& iniText = {}) {
        if (!iniText.isNull()) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            if (file.open(QIODevice::WriteOnly))
                file.write(iniText);
        }
        settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        state = std::make_unique<AppState>(settings.get(), &presenter, &clock);
    }
    AppState& operator*() { return *state; }
    AppState* operator->() { return state.get(); }
    QByteArray fileText() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

} // namespace

class TestAppState : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // MARK: settings

    void settingsReadAtStartup_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("apiKey");
        QTest::addColumn<double>("interval");
        QTest::addColumn<double>("threshold");
        QTest::newRow("nothing stored") << QByteArray() << "" << 30.0 << 0.7;
        QTest::newRow("interval 0") << QByteArray("[General]\nscreenshot_interval=0\n") << "" << 30.0 << 0.7;
        QTest::newRow("interval 45") << QByteArray("[General]\nscreenshot_interval=45\n") << "" << 45.0
                                     << 0.7;
        QTest::newRow("interval unchecked")
            << QByteArray("[General]\nscreenshot_interval=-5\n") << "" << -5.0 << 0.7;
        QTest::newRow("interval unreadable")
            << QByteArray("[General]\nscreenshot_interval=soon\n") << "" << 30.0 << 0.7;
        QTest::newRow("threshold 0") << QByteArray("[General]\nconfidence_threshold=0\n") << "" << 30.0
                                     << 0.7;
        QTest::newRow("threshold set")
            << QByteArray("[General]\nconfidence_threshold=0.85\n") << "" << 30.0 << 0.85;
        QTest::newRow("key as typed")
            << QByteArray("[General]\ngemini_api_key=\"  sk-1 \"\n") << "  sk-1 " << 30.0 << 0.7;
        QTest::newRow("key is a list") << QByteArray("[General]\ngemini_api_key=a, b\n") << "" << 30.0 << 0.7;
        QTest::newRow("key is a number")
            << QByteArray("[General]\ngemini_api_key=12345\n") << "12345" << 30.0 << 0.7;
    }
    void settingsReadAtStartup() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, apiKey);
        QFETCH(double, interval);
        QFETCH(double, threshold);
        Env env(ini);
        QCOMPARE(env->apiKey(), apiKey);
        QCOMPARE(env->screenshotInterval(), interval);
        QCOMPARE(env->confidenceThreshold(), threshold);
        // Start-up writes nothing back.
        env.settings->sync();
        QCOMPARE(env.fileText(), ini);
        QCOMPARE(QFileInfo::exists(env.path), !ini.isNull());
    }

    void assignmentsWriteAlwaysButNotifyOnChange() {
        Env env;
        QSignalSpy key(env.state.get(), &AppState::apiKeyChanged);
        QSignalSpy interval(env.state.get(), &AppState::screenshotIntervalChanged);
        QSignalSpy assigned(env.state.get(), &AppState::screenshotIntervalAssigned);
        QSignalSpy threshold(env.state.get(), &AppState::confidenceThresholdChanged);

        env->setApiKey(QStringLiteral(" sk-1\n"));
        QCOMPARE(key.count(), 1);
        env.settings->remove(AppState::apiKeyKey);
        env->setApiKey(QStringLiteral(" sk-1\n"));
        QCOMPARE(key.count(), 1);
        QCOMPARE(env.settings->value(AppState::apiKeyKey), QStringLiteral(" sk-1\n"));

        env->setScreenshotInterval(30.0); // equal to the loaded default: written, not notified
        QCOMPARE(interval.count(), 0);
        QCOMPARE(assigned.count(), 1);
        QCOMPARE(env.settings->value(AppState::screenshotIntervalKey).toDouble(), 30.0);
        env->setScreenshotInterval(60.0);
        QCOMPARE(interval.count(), 1);
        QCOMPARE(assigned.count(), 2);

        env->setConfidenceThreshold(0.7);
        QCOMPARE(threshold.count(), 0);
        QCOMPARE(env.settings->value(AppState::confidenceThresholdKey).toDouble(), 0.7);
        env->setConfidenceThreshold(0.9);
        QCOMPARE(threshold.count(), 1);

        // A later launch reads what was written.
        env.state.reset();
        env.settings = std::make_unique<QSettings>(env.path, QSettings::IniFormat);
        AppState again(env.settings.get(), nullptr, &env.clock);
        QCOMPARE(again.apiKey(), QStringLiteral(" sk-1\n"));
        QCOMPARE(again.screenshotInterval(), 60.0);
        QCOMPARE(again.confidenceThreshold(), 0.9);
    }

    void settingsFileIsPrivate() {
        Env env("[General]\nscreenshot_interval=45\n");
        QFile::setPermissions(env.path,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        env->setApiKey(QStringLiteral("sk-secret"));
        QCOMPARE(QFileInfo(env.path).permissions() & kModeMask, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(QFileInfo(QFileInfo(env.path).absolutePath()).permissions() & kModeMask,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(env.fileText().contains("sk-secret"));

        Env fresh; // the file does not exist before the first write
        fresh->setConfidenceThreshold(0.8);
        QCOMPARE(QFileInfo(fresh.path).permissions() & kModeMask, QFile::ReadOwner | QFile::WriteOwner);
    }

    void unwritableSettingsAreReported() {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("blocker"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const auto mode = QFileInfo(blocker).permissions() & kModeMask;
        QSettings settings(blocker + QStringLiteral("/Norvane.ini"), QSettings::IniFormat);
        ManualClock clock;
        AppState state(&settings, nullptr, &clock);
        LogCapture log;
        state.setApiKey(QStringLiteral("sk-secret"));
        QCOMPARE(state.apiKey(), QStringLiteral("sk-secret"));
        QCOMPARE(QFileInfo(blocker).permissions() & kModeMask, mode); // never chmod something else
        const QStringList lines = log.messages(QStringLiteral("Norvane.AppState"), QtCriticalMsg);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].contains(u"gemini_api_key"));
        QVERIFY(!lines[0].contains(u"sk-secret"));
    }

    // MARK: pause and resume

    void pauseShowsResumeTimeAndAutoResumes() {
        Env env;
        env->pauseFor(45);
        QVERIFY(env->isPaused());
        QCOMPARE(*env->pauseResumeTime(), env.clock.now().addSecs(45 * 60));
        QCOMPARE(env->nudgeDiagnostics().state, NudgePipelineState::Paused);
        QCOMPARE(env->nudgeDiagnostics().detail, kPausedUntil345);
        QCOMPARE(env->nudgeDiagnostics().updatedAt, env.clock.now());
        QCOMPARE(env->pauseResumeTimeText(), u"3:45 PM");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(env->pauseResumeTimeText(), u"15:45");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

        env.clock.advance(45 * 60 - 0.001);
        QVERIFY(env->isPaused());
        env.clock.advance(0.001);
        QVERIFY(!env->isPaused());
        QVERIFY(!env->pauseResumeTime());
        QCOMPARE(env->pauseResumeTimeText(), u"later");
        QCOMPARE(env->nudgeDiagnostics(), NudgePipelineDiagnostics::monitoringOff());

        env->setIsMonitoring(true);
        env->pauseFor(30);
        env.clock.advance(30 * 60);
        QCOMPARE(env->nudgeDiagnostics().detail, kWaiting);
        QCOMPARE(env->nudgeDiagnostics().state, NudgePipelineState::WaitingForActivity);
        QCOMPARE(env->nudgeDiagnostics().updatedAt, env.clock.now());
    }

    void pauseNotifiesOnlyOnChange() {
        Env env;
        QSignalSpy paused(env.state.get(), &AppState::isPausedChanged);
        QSignalSpy resumeTime(env.state.get(), &AppState::pauseResumeTimeChanged);
        QSignalSpy diagnostics(env.state.get(), &AppState::nudgeDiagnosticsChanged);
        QSignalSpy monitoring(env.state.get(), &AppState::isMonitoringChanged);
        env->pauseFor(30);
        env->pauseFor(30);
        QCOMPARE(paused.count(), 1);
        QCOMPARE(resumeTime.count(), 1);
        QCOMPARE(diagnostics.count(), 2); // the diagnostics notify on every assignment
        env->setIsMonitoring(true);
        env->setIsMonitoring(true);
        QCOMPARE(monitoring.count(), 1);
    }

    void resumeAndRepauseCancelThePendingResume() {
        Env env;
        env->pauseFor(30);
        env->resumeMonitoring();
        QCOMPARE(env.clock.pendingTimers(), 0);

        env->pauseFor(30);
        env.clock.advance(10 * 60);
        env->pauseFor(30); // the first auto-resume must not end this pause at minute 30
        env.clock.advance(25 * 60);
        QVERIFY(env->isPaused());
        env.clock.advance(5 * 60);
        QVERIFY(!env->isPaused());
        QCOMPARE(env.clock.pendingTimers(), 0);
    }

    void pauseForZeroEndsResumed_data() {
        QTest::addColumn<double>("minutes");
        QTest::addColumn<bool>("monitoring");
        QTest::newRow("zero, off") << 0.0 << false;
        QTest::newRow("zero, on") << 0.0 << true;
        QTest::newRow("negative, on") << -5.0 << true;
        QTest::newRow("not a number, on") << std::numeric_limits<double>::quiet_NaN() << true;
    }
    void pauseForZeroEndsResumed() {
        QFETCH(double, minutes);
        QFETCH(bool, monitoring);
        Env env;
        env->setIsMonitoring(monitoring);
        env->pauseFor(minutes);
        QVERIFY(!env->isPaused());
        QVERIFY(!env->pauseResumeTime());
        QCOMPARE(env->nudgeDiagnostics().detail,
                 monitoring ? kWaiting : NudgePipelineDiagnostics::monitoringOff().detail);
        QCOMPARE(env.clock.pendingTimers(), 0);
    }

    void syncPauseResumesExactlyAtTheResumeTime() {
        Env env;
        QSignalSpy diagnostics(env.state.get(), &AppState::nudgeDiagnosticsChanged);
        env->syncPauseIfNeeded(); // not paused: nothing happens
        QCOMPARE(diagnostics.count(), 0);
        env->pauseFor(30);
        const QDateTime resumeAt = *env->pauseResumeTime();
        env.clock.setNow(resumeAt.addMSecs(-1)); // moves time without firing the auto-resume
        env->syncPauseIfNeeded();
        QVERIFY(env->isPaused());
        env.clock.setNow(resumeAt);
        env->syncPauseIfNeeded();
        QVERIFY(!env->isPaused());
        QCOMPARE(env.clock.pendingTimers(), 0);
    }

    void hugePauseIsClampedNotWrapped_data() {
        QTest::addColumn<double>("minutes");
        QTest::newRow("beyond the nanosecond range") << 1e12;
        QTest::newRow("beyond every range") << 1e300;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
    }
    void hugePauseIsClampedNotWrapped() {
        QFETCH(double, minutes);
        Env env;
        env->pauseFor(minutes);
        QVERIFY(env->isPaused());
        QVERIFY(env->pauseResumeTime()->isValid());
        QVERIFY(*env->pauseResumeTime() > env.clock.now().addYears(500));
        env.clock.advance(400.0 * 365 * 86400);
        QVERIFY(env->isPaused());
        env->resumeMonitoring();
        QVERIFY(!env->isPaused());
    }

    void destroyedStateNeverResumes() {
        Env env;
        env->pauseFor(1);
        env.state.reset();
        QCOMPARE(env.clock.pendingTimers(), 0);
        env.clock.advance(120); // nothing left to wake
    }

    // MARK: the nudge

    void presentOpportunityRaisesOneNudge() {
        Env env;
        QSignalSpy nudgeSpy(env.state.get(), &AppState::currentNudgeChanged);
        env->presentOpportunity(opportunity(QStringLiteral("p1"), OpportunityCategory::Stuck));
        QVERIFY(env->currentNudge());
        const NudgeState nudge = *env->currentNudge();
        QCOMPARE(nudge.opportunity.patternId, u"p1");
        QCOMPARE(nudge.phase, NudgePhase::Question);
        QVERIFY(nudge.userAnswer.isEmpty() && !nudge.recommendation && !nudge.errorMessage &&
                !nudge.didCopyPrompt);
        QCOMPARE(nudge.createdAt, env.clock.now());
        QCOMPARE(env->lastNudgeTime(), env.clock.now());
        QCOMPARE(env->nudgeDiagnostics().state, NudgePipelineState::NudgeVisible);
        QCOMPARE(env->nudgeDiagnostics().detail, kVisible);
        QCOMPARE(env.presenter.presentCalls, 1);

        QSignalSpy diagnostics(env.state.get(), &AppState::nudgeDiagnosticsChanged);
        env.clock.advance(5);
        env->presentOpportunity(opportunity(QStringLiteral("p2")));
        QCOMPARE(env->currentNudge()->id, nudge.id);
        QCOMPARE(nudgeSpy.count(), 1);
        QCOMPARE(diagnostics.count(), 0);
        QCOMPARE(env.presenter.presentCalls, 1);
        QCOMPARE(env->nudgeHistory().size(), 1);
        const NudgeRecord shown = env->nudgeHistory().first();
        QCOMPARE(shown.outcome, NudgeOutcome::Shown);
        QCOMPARE(shown.patternId, u"p1");
        QCOMPARE(shown.category, OpportunityCategory::Stuck);
        QCOMPARE(shown.timestamp, nudge.createdAt);
    }

    void dismissalSuppression_data() {
        QTest::addColumn<NudgeOutcome>("reason");
        QTest::addColumn<bool>("suppresses");
        QTest::newRow("not-now") << NudgeOutcome::NotNow << true;
        QTest::newRow("not-useful") << NudgeOutcome::NotUseful << true;
        QTest::newRow("close-button") << NudgeOutcome::CloseButton << false;
        QTest::newRow("auto-dismissed") << NudgeOutcome::AutoDismissed << false;
    }
    void dismissalSuppression() {
        QFETCH(NudgeOutcome, reason);
        QFETCH(bool, suppresses);
        Env env;
        env->setIsMonitoring(true);
        env->presentOpportunity(opportunity(QStringLiteral("p1")));
        env->dismissCurrentNudge(reason);
        QVERIFY(!env->currentNudge());
        QCOMPARE(outcomes(*env), (QList<NudgeOutcome>{NudgeOutcome::Shown, reason}));
        QCOMPARE(env->nudgeDiagnostics().detail, kDismissedWaiting);
        QCOMPARE(env.presenter.dismissCalls, 1);
        QCOMPARE(env->suppressedPatterns().contains(QStringLiteral("p1")), suppresses);

        env->presentOpportunity(opportunity(QStringLiteral("p1")));
        QCOMPARE(bool(env->currentNudge()), !suppresses);
        if (suppresses) {
            env->presentOpportunity(opportunity(QStringLiteral("p2")));
            QCOMPARE(env->currentNudge()->opportunity.patternId, u"p2");
        }
    }

    void fullCycle() {
        Env env;
        env->presentOpportunity(opportunity(QStringLiteral("p1")));
        QSignalSpy nudgeSpy(env.state.get(), &AppState::currentNudgeChanged);
        QSignalSpy diagnostics(env.state.get(), &AppState::nudgeDiagnosticsChanged);

        env->beginRecommendation(QStringLiteral("Yes, every Monday."));
        QCOMPARE(env->currentNudge()->phase, NudgePhase::LoadingRecommendation);
        QCOMPARE(env->currentNudge()->userAnswer, u"Yes, every Monday.");
        env->failRecommendation(QStringLiteral("Gemini returned an empty response."));
        QCOMPARE(env->currentNudge()->phase, NudgePhase::Question);
        QCOMPARE(env->currentNudge()->errorMessage, QStringLiteral("Gemini returned an empty response."));
        QCOMPARE(env->currentNudge()->userAnswer, u"Yes, every Monday.");
        QCOMPARE(env->nudgeHistory().size(), 1);

        env->beginRecommendation(QStringLiteral("Weekly."));
        QVERIFY(!env->currentNudge()->errorMessage);
        const Recommendation recommendation{QStringLiteral("Use a macro"), QStringLiteral("Record it once."),
                                            std::nullopt, QStringLiteral("low"), QStringLiteral("high")};
        env->applyRecommendation(recommendation);
        QCOMPARE(env->currentNudge()->phase, NudgePhase::Recommendation);
        QCOMPARE(env->currentNudge()->recommendation, recommendation);
        const int presents = env.presenter.presentCalls;
        env->setPromptCopied(true);
        env->setPromptCopied(true);
        QVERIFY(env->currentNudge()->didCopyPrompt);
        QCOMPARE(env.presenter.presentCalls, presents);
        QCOMPARE(nudgeSpy.count(), 6); // every assignment notifies, equal or not
        env->failRecommendation(QStringLiteral("Again."));
        QCOMPARE(env->currentNudge()->recommendation, recommendation); // an earlier recommendation stays

        QCOMPARE(diagnostics.count(), 0);
        QCOMPARE(env->nudgeDiagnostics().detail, kVisible);
        env->dismissCurrentNudge(NudgeOutcome::NotUseful);
        QCOMPARE(outcomes(*env), (QList<NudgeOutcome>{NudgeOutcome::Shown, NudgeOutcome::RecommendationShown,
                                                      NudgeOutcome::NotUseful}));
        QCOMPARE(env.presenter.presentCalls, 6); // raise, two begins, two fails, apply
        QCOMPARE(env.presenter.dismissCalls, 1);
        QCOMPARE(env->nudgeDiagnostics(), NudgePipelineDiagnostics::monitoringOff());
    }

    void updatesWithoutNudgeDoNothing() {
        Env env;
        QSignalSpy nudgeSpy(env.state.get(), &AppState::currentNudgeChanged);
        QSignalSpy historySpy(env.state.get(), &AppState::nudgeHistoryChanged);
        QSignalSpy diagnostics(env.state.get(), &AppState::nudgeDiagnosticsChanged);
        env->beginRecommendation(QStringLiteral("a"));
        env->applyRecommendation({});
        env->failRecommendation(QStringLiteral("b"));
        env->setPromptCopied(true);
        env->dismissCurrentNudge(NudgeOutcome::NotNow);
        QVERIFY(!env->currentNudge());
        QVERIFY(env->nudgeHistory().isEmpty() && env->suppressedPatterns().isEmpty());
        QCOMPARE(nudgeSpy.count() + historySpy.count() + diagnostics.count(), 0);
        QCOMPARE(env.presenter.presentCalls + env.presenter.dismissCalls, 0);
    }

    void dismissWhilePausedShowsThePausedText() {
        Env env;
        env->setIsMonitoring(true);
        env->pauseFor(45);
        env.clock.advance(60);
        env->presentOpportunity(opportunity(QStringLiteral("p1")));
        env->dismissCurrentNudge(NudgeOutcome::CloseButton);
        QCOMPARE(env->nudgeDiagnostics().state, NudgePipelineState::Paused);
        QCOMPARE(env->nudgeDiagnostics().detail, kPausedUntil345);
        QCOMPARE(env->nudgeDiagnostics().updatedAt, env.clock.now());
    }

    void viewsReadTheStateThroughProperties() {
        Env env;
        QVERIFY(!env->property("currentNudge").isValid());
        env->presentOpportunity(opportunity(QStringLiteral("p1")));
        env->beginRecommendation(QStringLiteral("answer"));
        QCOMPARE(env->property("currentNudge").value<NudgeState>(), *env->currentNudge());
        QCOMPARE(env->property("nudgeDiagnostics").value<NudgePipelineDiagnostics>().detail, kVisible);
        QCOMPARE(env->property("nudgeHistoryCount").toInt(), 1);

        QVERIFY(QMetaObject::invokeMethod(env.state.get(), "dismissCurrentNudge", Q_ARG(QString, "maybe")));
        QVERIFY(env->currentNudge()); // unknown outcomes are ignored
        QVERIFY(QMetaObject::invokeMethod(env.state.get(), "dismissCurrentNudge", Q_ARG(QString, "not-now")));
        QVERIFY(!env->currentNudge());
        QVERIFY(env->suppressedPatterns().contains(QStringLiteral("p1")));
    }
};

int main(int argc, char** argv) {
    // The resume time is local time: pin the zone so the expected texts hold on every machine.
    qputenv("TZ", "UTC");
    tzset();
    QCoreApplication app(argc, argv);
    TestAppState test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appstate.moc"
