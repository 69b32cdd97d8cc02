#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"
#include "monitoring/MonitoringRules.h"

#include <QTest>

using namespace norvane;
using namespace norvane::monitoring;
using namespace norvane::testing;

namespace {

// One screenshot per token "<state><reason><fingerprint><signature><burst>":
//   state W wake, A active, C cool-down, I idle; reason r resumed, i active-interval, a app-switch,
//   w window-switch, c cooldown-interval, - none; fingerprint, signature and burst a letter/digit or "-".
// Timestamps rise with the position in the list.
QList<Screenshot> makeBuffer(const QStringList& tokens) {
    using S = MonitoringActivityState;
    using R = ScreenshotCaptureReason;
    static const QHash<QChar, QUuid> bursts{{u'1', QUuid::createUuid()}, {u'2', QUuid::createUuid()}};
    const QHash<QChar, S> states{{u'W', S::Wake}, {u'A', S::Active}, {u'C', S::Cooldown}, {u'I', S::Idle}};
    const QHash<QChar, R> reasons{{u'r', R::ResumedAfterIdle},
                                  {u'i', R::ActiveInterval},
                                  {u'a', R::AppSwitch},
                                  {u'w', R::WindowSwitch},
                                  {u'c', R::CooldownInterval}};
    const auto text = [](QChar c) { return c == u'-' ? std::nullopt : std::optional(QString(c)); };
    const QDateTime base(QDate(2026, 12, 4), QTime(15, 0), Qt::UTC);
    QList<Screenshot> buffer;
    for (const QString& t : tokens) {
        Screenshot s = makeScreenshot();
        s.timestamp = base.addSecs(buffer.size());
        s.activityState = states.value(t[0]);
        s.captureReason = reasons.contains(t[1]) ? std::optional(reasons.value(t[1])) : std::nullopt;
        s.captureFingerprint = text(t[2]);
        s.captureSignature = text(t[3]);
        s.activityBurstID = bursts.contains(t[4]) ? std::optional(bursts.value(t[4])) : std::nullopt;
        buffer.append(s);
    }
    return buffer;
}

// "{n}" in a template becomes the short id of buffer[n].
QString withIds(QString text, const QList<Screenshot>& buffer) {
    for (qsizetype i = 0; i < buffer.size(); ++i)
        text.replace(QStringLiteral("{%1}").arg(i), shortId(buffer[i].id));
    return text;
}

} // namespace

class MonitoringRulesTest : public QObject {
    Q_OBJECT

private slots:
    void formattedIntervalRoundsHalvesAwayFromZero_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("down") << 3.4 << "3s";
        QTest::newRow("half up") << 3.5 << "4s";
        QTest::newRow("two and a half") << 2.5 << "3s";
        QTest::newRow("negative") << -2.0 << "0s";
        QTest::newRow("small negative half") << -0.5 << "0s";
    }
    void formattedIntervalRoundsHalvesAwayFromZero() {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(formattedInterval(seconds), text);
    }

    void evictionPrefersCooldownThenInactiveThenOldest_data() {
        QTest::addColumn<QStringList>("buffer");
        QTest::addColumn<int>("evicted");
        const auto tokens = [](const QString& states) {
            QStringList list;
            for (const auto& s : states.split(u' '))
                list.append(s + QStringLiteral("AS1"));
            return list;
        };
        // State and reason per capture; "Ac" is an active capture taken for the cool-down cadence.
        QTest::newRow("oldest cool-down before an older idle")
            << tokens("Wr Ai I- Ai Ci Ai Cc Ai Ai Ai Ai") << 4;
        QTest::newRow("cool-down reason counts too") << tokens("Wr Ai I- Ac Ai Ai Ai Ai Ai Ai Ai") << 3;
        QTest::newRow("then neither wake nor active") << tokens("Wr Ai Ai I- Ai Ai I- Ai Ai Ai Ai") << 3;
        QTest::newRow("else the oldest") << tokens("Ai Wr Ai Ai Ai Ai Ai Ai Ai Ai Ai") << 0;
    }
    void evictionPrefersCooldownThenInactiveThenOldest() {
        QFETCH(QStringList, buffer);
        QFETCH(int, evicted);
        QCOMPARE(bufferEvictionIndex(makeBuffer(buffer)), evicted);
    }

    void preferenceScore_data() {
        QTest::addColumn<QStringList>("burst");
        QTest::addColumn<QString>("outsider"); // scored instead of burst[index] when set
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("score");
        const QStringList sameWindow{"WrAS1", "AiBS1", "AaCS1", "AiDS1"};
        QTest::newRow("app switch plus position") << sameWindow << QString() << 2 << 102;
        QTest::newRow("wake at the start") << sameWindow << QString() << 0 << 90;
        QTest::newRow("window switch") << QStringList{"WrAS1", "AwBS1", "AiCS1"} << QString() << 1 << 101;
        QTest::newRow("differs from first only")
            << QStringList{"WrAS1", "AiBT1", "AiCT1"} << QString() << 1 << 76;
        QTest::newRow("differs from last only")
            << QStringList{"WrAS1", "AiBS1", "AiCT1"} << QString() << 1 << 66;
        QTest::newRow("cool-down interval") << QStringList{"WrAS1", "AcBS1", "AiCS1"} << QString() << 1 << 11;
        QTest::newRow("empty burst, signature present") << QStringList{} << "A-AS1" << -1 << 40;
        QTest::newRow("empty burst, no signature") << QStringList{} << "A-A-1" << -1 << 0;
        QTest::newRow("absent signatures are equal") << QStringList{"Wr--1", "Ai--1"} << QString() << 1 << 51;
    }
    void preferenceScore() {
        QFETCH(QStringList, burst);
        QFETCH(QString, outsider);
        QFETCH(int, index);
        QFETCH(int, score);
        const auto screenshots = makeBuffer(burst);
        const Screenshot candidate = index >= 0 ? screenshots[index] : makeBuffer({outsider}).first();
        QCOMPARE(analysisPreferenceScore(candidate, screenshots), score);
    }

    void selection_data() {
        QTest::addColumn<QStringList>("buffer");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("exactly three") << QStringList{"WrAS1", "AiBS1", "AiCS1"} << QList<int>{0, 1, 2}
                                       << "Selected screenshots for analysis: {0}, {1}, {2}";
        QTest::newRow("app switch is the middle even when not the newest")
            << QStringList{"WrAS1", "AiBS1", "AaCS1", "AiDS1", "AiES1"} << QList<int>{0, 2, 4}
            << "Selected screenshot {2} for analysis because it captures a frontmost app change inside the "
               "burst";
        QTest::newRow("filled batch is put in time order")
            << QStringList{"WrAS1", "AiBS1", "AaCS1", "AiCS1"} << QList<int>{0, 1, 2}
            << "Skipping screenshot {3} because it is a near-duplicate of {2}";
        QTest::newRow("visible change beats a later same-window capture")
            << QStringList{"WrAS1", "AiBT1", "AiCS1", "AiDS1", "AiES1"} << QList<int>{0, 1, 4}
            << "Selected screenshot {1} for analysis because it shows visible change relative to the start "
               "of the "
               "burst";
        QTest::newRow("same window adds mid-burst context")
            << QStringList{"WrAS1", "AiBS1", "AiCS1"} << QList<int>{0, 1, 2}
            << "Selected screenshot {1} for analysis because it adds mid-burst context";
        QTest::newRow("only two distinct fingerprints")
            << QStringList{"WrAS1", "AiAS1", "AiBS1"} << QList<int>{}
            << "Skipping analysis selection because only 2 distinct "
               "screenshots were useful enough";
        QTest::newRow("absent fingerprints are never duplicates")
            << QStringList{"Wr-S1", "Ai-S1", "Ai-S1"} << QList<int>{0, 1, 2} << QString();
        QTest::newRow("cool-down and idle never selected")
            << QStringList{"WrAS1", "CcBS1", "AiCS1", "IiDS1", "AiES1"} << QList<int>{0, 2, 4}
            << "Skipping screenshot {1} for analysis because it was captured during cool-down";
        QTest::newRow("cool-down does not make up the three")
            << QStringList{"WrAS1", "CcBS1", "AiCS1"} << QList<int>{}
            << "Skipping analysis selection because the latest activity burst only has 2 active screenshots";
        QTest::newRow("newer short burst ignores the older one")
            << QStringList{"WrAS1", "AiBS1", "AiCS1", "AiDS1", "WrES2", "AiFS2"} << QList<int>{}
            << "Skipping analysis selection because the latest activity burst only has 2 active screenshots";
        QTest::newRow("latest capture outside a burst")
            << QStringList{"WrAS1", "AiBS1", "AiCS1", "AiDS-"} << QList<int>{}
            << "Skipping analysis selection because there are no active-period screenshots yet";
    }
    void selection() {
        QFETCH(QStringList, buffer);
        QFETCH(QList<int>, selected);
        QFETCH(QString, logLine);
        LogCapture log;
        const auto screenshots = makeBuffer(buffer);
        QList<QUuid> expected;
        for (int i : selected)
            expected.append(screenshots[i].id);

        QList<QUuid> actual;
        for (const auto& s : selectScreenshotsForAnalysis(screenshots))
            actual.append(s.id);

        QCOMPARE(actual, expected);
        if (!logLine.isEmpty())
            QVERIFY2(log.messages(QStringLiteral("Norvane.MonitoringService"))
                         .contains(withIds(logLine, screenshots)),
                     qPrintable(log.messages(QStringLiteral("Norvane.MonitoringService")).join(u'\n')));
    }

    void collectingContextDetailCapsTheCount() {
        QCOMPARE(collectingContextDetail(1),
                 QStringLiteral("Norvane needs 3 wake/active screenshots in one burst "
                                "before it can analyze. Current burst: 1/3."));
        QVERIFY(collectingContextDetail(7).endsWith(QStringLiteral("Current burst: 3/3.")));
    }
};

QTEST_GUILESS_MAIN(MonitoringRulesTest)
#include "tst_monitoring_rules.moc"
