// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"
#include "model/JsonCoding.h"
#include "model/Logging.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

using namespace norvane;
using namespace norvane::testing;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The raw values of every E in declaration order: each must name exactly its value, and none may be left.
template <typename E> void checkRawValues(const char* texts) {
    const QStringList expected = QString::fromLatin1(texts).split(u' ');
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(rawValue(E(i)), expected[i]);
        QCOMPARE(fromRawValue<E>(expected[i]), E(i));
    }
    QVERIFY(rawValue(E(expected.size())).isEmpty());
}

QJsonObject parse(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

int mode(const QString& path) {
    return int(std::filesystem::status(path.toStdString()).permissions() & std::filesystem::perms::mask);
}

Opportunity opportunity(const char* patternId) {
    return {patternId, 0.9, QStringLiteral("Retypes rows."), QStringLiteral("By hand?"),
            OpportunityCategory::Stuck};
}

// Detached: the caller keeps `resumed` alive until the sleep ends; it becomes 1 on time, 2 when cancelled.
QCoro::Task<> sleeper(Clock* clock, double seconds, CancellationToken token, int* resumed) {
    co_await clock->sleep(seconds, token);
    *resumed = token.isCancelled() ? 2 : 1;
}

// One state over a private settings file. The clock starts at 15:00 UTC; the tests run with TZ=UTC.
struct Env {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("config/Norvane/Norvane.ini"));
    ManualClock clock;
    FakeNudgePresenter presenter;
    std::optional<QSettings> settings;
    std::optional<AppState> state;

    explicit Env(const QByteArray& ini = {}) {
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
        if (!ini.isNull() && QDir().mkpath(QFileInfo(path).path())) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
        }
        load();
    }
    void load() {
        state.reset();
        settings.emplace(path, QSettings::IniFormat);
        state.emplace(&*settings, &presenter, &clock);
    }
    AppState* operator->() { return &*state; }
    QByteArray fileText() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QList<int> modes() const { return {mode(path), mode(QFileInfo(path).path())}; }
};

} // namespace

class TestModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // The resume time is local time: pin the zone and locale so the expected texts hold everywhere.
        qputenv("TZ", "UTC");
        tzset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // Logs, files and JSON carry these texts.
    void rawValues() {
        checkRawValues<MonitoringActivityState>("idle wake active cool-down");
        checkRawValues<ScreenshotCaptureReason>(
            "resumed-after-idle active-interval app-switch window-switch cooldown-interval");
        checkRawValues<OpportunityCategory>(
            "manual-work stuck inefficient-prompting slow-workflow missed-automation");
        checkRawValues<NudgeOutcome>(
            "shown close-button auto-dismissed not-now recommendation-shown not-useful");
        checkRawValues<NudgePipelineState>(
            "monitoring-off paused waiting-for-activity collecting-context analyzing "
            "no-opportunity nudge-visible failed");
    }

    void codingAndText() {
        const QByteArray full = R"({"headline":"h","detail":"d","effort":"e","impact":"i","prompt":"p"})";
        QCOMPARE(toJson(*decodeRecommendation(parse(full))), parse(full));
        const auto noPrompt = decodeRecommendation(parse(QByteArray(full).replace("\"p\"", "null")));
        QVERIFY(noPrompt && !noPrompt->prompt && !toJson(*noPrompt).contains(u"prompt"));
        // Outside texts (titles, server messages) cannot forge or hide log lines; captions drop controls.
        const QString title = QStringLiteral("a\nb\rc\td\u0007e\u2028f\u202eg\\nh");
        QCOMPARE(logSafe(title), QStringLiteral("a\\nb\\rc\\td\\u0007e\\u2028f\\u202eg\\nh"));
        QCOMPARE(withoutControlCharacters(title), QStringLiteral("abcdef\u202eg\\nh"));
    }

    // MARK: time and cancellation

    // A cancel resumes a sleeper at once and drops its timer; each remaining callback runs once.
    void cancelEndsSleeps() {
        ManualClock clock;
        CancellationSource source;
        int cancelled = 0, late = 0, callbacks = 0;
        sleeper(&clock, 60.0, source.token(), &cancelled);
        source.token().removeCallback(source.token().onCancel([&] { callbacks += 100; }));
        source.token().onCancel([&] { ++callbacks; });
        source.cancel();
        sleeper(&clock, 60.0, source.token(), &late); // an already cancelled token does not wait
        QCOMPARE(QList<int>({cancelled, late, callbacks, clock.pendingTimers()}), QList<int>({2, 2, 1, 0}));
    }

    // MARK: settings

    // Screenshots cross a network only encrypted, and nothing can be smuggled into the request's address;
    // the window and the history say where they go.
    void modelConnectionRules() {
        const QString here = "a model on this computer";
        const std::tuple<QString, QString, QString> rows[] = {
            {"http://127.0.0.1:11434/v1", "llava", here},
            {"http://[::1]:8000/v1", "llava", here},
            {"http://LocalHost/v1", "llava", here},
            {"http://192.168.1.5/v1", "llava", "refused"},
            {"http://example.com/v1", "llava", "refused"},
            {"https://example.com/v1", "gpt-4o", "example.com"},
            {"https://u:pw@example.com/v1", "x", "refused"},
            {"https://example.com/v1", "a/b", "refused"},
            {"http://127.0.0.1/v1", "a?b", "refused"}};
        for (const auto& [url, model, verdict] : rows) {
            const ModelConnection connection{ModelProvider::OpenAICompatible, QUrl(url), model, {}};
            const QString got = connection.problem().isEmpty() ? connection.destination() : "refused";
            QCOMPARE(url + ' ' + model + ' ' + got, url + ' ' + model + ' ' + verdict);
        }
    }

    // Read as "api key|interval|threshold"; zero or unreadable means the default; start-up writes nothing.
    void settingsReadAtStartup_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("read");
        const auto row = [](const char* name, const char* ini, const char* read) {
            QTest::newRow(name) << QByteArray(ini) << QString(read);
        };
        row("nothing stored", nullptr, "|30|0.7");
        row("as written", "gemini_api_key=\" k \"\nscreenshot_interval=-5\nconfidence_threshold=0.85\n",
            " k |-5|0.85");
        row("bad or zero", "gemini_api_key=a, b\nscreenshot_interval=soon\nconfidence_threshold=0\n",
            "|30|0.7");
    }
    void settingsReadAtStartup() {
        QFETCH(QByteArray, ini);
        Env env(ini);
        const QString read = QString("%1|%2|").arg(env->apiKey()).arg(env->screenshotInterval());
        QTEST(read + QString::number(env->confidenceThreshold()), "read");
        env.settings->sync();
        QCOMPARE(env.fileText(), ini);
        QCOMPARE(QFileInfo::exists(env.path), !ini.isNull());
    }

    // Every assignment is written, even of the value already held, to a file only the user can read. A
    // file that was readable by others before the first start (restored from a backup, say) is made
    // private at start-up, with one line in the log.
    void assignmentsPersistPrivately() {
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
        QTemporaryDir outside;
        QSettings elsewhere(outside.filePath(QStringLiteral("Norvane.ini")), QSettings::IniFormat);
        {
            LogCapture quiet; // a new file is private from the start: nothing to tighten after the write
            AppState(&elsewhere).setApiKey(QStringLiteral("sk-2"));
            QVERIFY(quiet.messages(QStringLiteral("Norvane.AppState")).isEmpty());
        }
        QCOMPARE(mode(elsewhere.fileName()), 0600);
        Env env("gemini_api_key=sk-0\n");
        QFile::setPermissions(env.path, open);
        QFile::setPermissions(QFileInfo(env.path).path(), open | QFile::ExeOwner | QFile::ExeGroup);
        LogCapture log;
        env.load();
        QCOMPARE(env.modes(), QList<int>({0600, 0700}));
        QCOMPARE(log.messages(QStringLiteral("Norvane.AppState")).size(), 1);
        QFile::setPermissions(env.path, open);
        env->setScreenshotInterval(30.0);
        env->setConfidenceThreshold(0.7);
        QCOMPARE(env.fileText(),
                 "[General]\nconfidence_threshold=0.7\ngemini_api_key=sk-0\nscreenshot_interval=30\n");
        QCOMPARE(env.modes(), QList<int>({0600, 0700}));
        // A failed write is reported, and nothing else (here a file where the folder should be) is changed.
        const QString blocker = elsewhere.fileName();
        QSettings unwritable(blocker + QStringLiteral("/Norvane.ini"), QSettings::IniFormat);
        AppState(&unwritable).setApiKey(QStringLiteral("sk-secret"));
        QCOMPARE(mode(blocker), 0600);
        QCOMPARE(log.messages(QStringLiteral("Norvane.AppState"), QtCriticalMsg),
                 QStringList("Could not save the setting gemini_api_key to " + unwritable.fileName() + "."));
    }

    // Exclusion lists come back after a restart as they were left, an emptied list and a one-entry list
    // included; a stored value that is no list gives the defaults and a log line, never exclusions off.
    void exclusionsStored() {
        Env env;
        QCOMPARE(env->captureExclusions(), CaptureExclusions::defaults());
        env->setExcludedApplications({" Gimp ", "gimp", "", "Krita"});
        env->setExcludedTitlePatterns({});
        Env restarted(env.fileText()); // the file read afresh, as at the next launch
        QCOMPARE(restarted->captureExclusions(), (CaptureExclusions{{"Gimp", "Krita"}, {}}));
        restarted->setExcludedTitlePatterns({"Payroll"});
        QCOMPARE(Env(restarted.fileText())->excludedTitlePatterns(), QStringList{"Payroll"});
        LogCapture log;
        Env damaged("excluded_applications=@ByteArray(x)\nexcluded_title_patterns=@Variant(garbage)\n");
        QCOMPARE(damaged->captureExclusions(), CaptureExclusions::defaults());
        QCOMPARE(log.messages(QStringLiteral("Norvane.AppState"), QtWarningMsg).size(), 2);
    }

    // When the next card may appear, in minutes from the first card: at most N cards in any hour, at
    // least the gap apart; one exactly at the limit may appear.
    void nudgeBudget_data() {
        QTest::addColumn<int>("perHour");
        QTest::addColumn<int>("gap");
        QTest::addColumn<QList<int>>("shownAt");
        QTest::addColumn<int>("now");
        QTest::addColumn<int>("next"); // -1: a card may appear now
        QTest::newRow("within the gap") << 3 << 10 << QList<int>{0} << 5 << 10;
        QTest::newRow("at the gap") << 3 << 10 << QList<int>{0} << 10 << -1;
        QTest::newRow("hour full") << 3 << 10 << QList<int>{0, 20, 40} << 50 << 60;
        QTest::newRow("oldest card an hour old") << 3 << 10 << QList<int>{0, 20, 40} << 60 << -1;
        QTest::newRow("one an hour, no gap") << 1 << 0 << QList<int>{0} << 59 << 60;
        QTest::newRow("ten an hour") << 10 << 0 << QList<int>{0, 1, 2} << 3 << -1;
    }
    void nudgeBudget() {
        QFETCH(int, perHour);
        QFETCH(int, gap);
        QFETCH(QList<int>, shownAt);
        QFETCH(int, now);
        Env env;
        env->setNudgesPerHour(perHour);
        env->setNudgeGapMinutes(gap);
        const QDateTime start = env.clock.now();
        const auto at = [&](int minute) { env.clock.advance(60 * minute - start.secsTo(env.clock.now())); };
        for (const int minute : shownAt) {
            at(minute);
            env->presentOpportunity({QString::number(minute), 0.9, "o", "q", {}});
            env->dismissCurrentNudge(NudgeOutcome::NotNow);
        }
        at(now);
        const std::optional<QDateTime> next = env->nextNudgeAllowedAt();
        QTEST(next ? int(start.secsTo(*next) / 60) : -1, "next");
    }

    // MARK: pause and resume

    // Seconds until the auto-resume: 0 for at once, infinity for not within 400 years.
    void pauseFor_data() {
        QTest::addColumn<double>("minutes");
        QTest::addColumn<double>("resumesAfter");
        QTest::newRow("45 minutes") << 45.0 << 2700.0;
        QTest::newRow("zero") << 0.0 << 0.0;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 0.0;
        QTest::newRow("beyond every range") << 1e300 << kInf;
        QTest::newRow("infinite") << kInf << kInf;
    }
    void pauseFor() {
        QFETCH(double, minutes);
        QFETCH(double, resumesAfter);
        Env env;
        env->pauseFor(minutes);
        QVERIFY(resumesAfter < kInf || env->pauseResumeTime() > env.clock.now().addYears(500));
        env.clock.advance(std::max(std::min(resumesAfter, 400.0 * 365 * 86400) - 0.001, 0.0));
        QCOMPARE(env->isPaused(), resumesAfter > 0);
        env.clock.advance(0.001);
        QCOMPARE(QList<bool>({env->isPaused(), bool(env->pauseResumeTime())}),
                 QList<bool>({resumesAfter == kInf, resumesAfter == kInf}));
    }

    // A new pause or a resume cancels the pending auto-resume; the loop's sync resumes at the resume time.
    void resumeRules() {
        Env env;
        env->setIsMonitoring(true);
        env->pauseFor(30);
        env.clock.advance(10 * 60);
        env->pauseFor(45); // the first auto-resume must not end this pause at minute 30
        QCOMPARE(env->nudgeDiagnostics().detail, u"Monitoring is paused until 3:55 PM.");
        env.clock.advance(45 * 60);
        QCOMPARE(env->nudgeDiagnostics().detail,
                 u"Norvane is watching for a short burst of recent activity before it asks Gemini anything.");
        QCOMPARE(env->pauseResumeTimeText(), u"later");
        env->pauseFor(30);
        env->resumeMonitoring();
        QVERIFY(!env->isPaused() && env.clock.pendingTimers() == 0);
        env->pauseFor(30);
        const QDateTime resumeAt = *env->pauseResumeTime();
        env.clock.setNow(resumeAt.addMSecs(-1)); // moves time without firing the auto-resume
        env->syncPauseIfNeeded();
        QVERIFY(env->isPaused());
        env.clock.setNow(resumeAt);
        env->syncPauseIfNeeded();
        QVERIFY(!env->isPaused() && env.clock.pendingTimers() == 0);
    }

    // MARK: the nudge

    void dismissal_data() {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("suppresses");
        QTest::newRow("not now") << "not-now" << true;
        QTest::newRow("not useful") << "not-useful" << true;
        QTest::newRow("close button") << "close-button" << false;
        QTest::newRow("auto-dismissed") << "auto-dismissed" << false;
    }
    // One nudge at a time; the views dismiss it by raw value; a pattern dismissed as unwanted stays away.
    void dismissal() {
        QFETCH(QString, reason);
        QFETCH(bool, suppresses);
        Env env;
        env->setIsMonitoring(true);
        env->presentOpportunity(opportunity("p1"));
        env->presentOpportunity(opportunity("p2"));
        QCOMPARE(env->currentNudge()->opportunity.patternId, u"p1");
        QCOMPARE(env->nudgeDiagnostics().detail,
                 u"Gemini found a likely opportunity and the nudge should now be visible.");
        QVERIFY(QMetaObject::invokeMethod(&*env.state, "dismissCurrentNudge", Q_ARG(QString, reason)));
        const auto history = env->nudgeHistory();
        QCOMPARE(
            QStringList({history[0].patternId, rawValue(history[0].outcome), rawValue(history[1].outcome)}),
            QStringList({"p1", "shown", reason}));
        QCOMPARE(env->nudgeDiagnostics().detail, u"No nudge cooldown is active. Norvane can show the next "
                                                 u"worthwhile opportunity as soon as it sees one.");
        QCOMPARE(QList<int>({env.presenter.presentCalls, env.presenter.dismissCalls}), QList<int>({1, 1}));
        env->presentOpportunity(opportunity("p1"));
        QCOMPARE(bool(env->currentNudge()), !suppresses);
        if (suppresses) // the analysis is over: the status says so instead of "analyzing" forever
            QCOMPARE(rawValue(env->nudgeDiagnostics().state) + ": " + env->nudgeDiagnostics().detail,
                     u"no-opportunity: Gemini recognized a pattern you already dismissed, so Norvane is not "
                     u"showing it again.");
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
