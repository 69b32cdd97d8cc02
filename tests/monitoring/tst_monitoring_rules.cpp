// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "fakes/Fakes.h"
#include "monitoring/MonitoringRules.h"

#include <QTest>

using namespace norvane;
using namespace norvane::monitoring;
using namespace norvane::testing;
using S = MonitoringActivityState;
using R = ScreenshotCaptureReason;

namespace {

// One screenshot per token "<state><reason><fingerprint><signature><burst>":
//   state W wake, A active, C cool-down, I idle; reason r resumed, i active-interval, a app-switch,
//   w window-switch, c cooldown-interval, - none; fingerprint, signature and burst a letter/digit or "-".
// Timestamps rise with the position in the list.
QList<Screenshot> makeBuffer(const QStringList& tokens) {
    static const QHash<QChar, QUuid> bursts{{u'1', QUuid::createUuid()}, {u'2', QUuid::createUuid()}};
    const QList<S> states{S::Wake, S::Active, S::Cooldown, S::Idle};
    const QList<R> reasons{R::ResumedAfterIdle, R::ActiveInterval, R::AppSwitch, R::WindowSwitch,
                           R::CooldownInterval};
    const auto text = [](QChar c) { return c == u'-' ? std::nullopt : std::optional(QString(c)); };
    QList<Screenshot> buffer;
    for (const QString& t : tokens) {
        Screenshot s = makeScreenshot();
        s.timestamp = QDateTime(QDate(2026, 12, 4), QTime(15, 0), Qt::UTC).addSecs(buffer.size());
        s.activityState = states[QStringLiteral("WACI").indexOf(t[0])];
        const qsizetype reason = QStringLiteral("riawc").indexOf(t[1]);
        s.captureReason = reason < 0 ? std::nullopt : std::optional(reasons[reason]);
        s.captureFingerprint = text(t[2]);
        s.captureSignature = text(t[3]);
        s.activityBurstID = bursts.contains(t[4]) ? std::optional(bursts.value(t[4])) : std::nullopt;
        buffer.append(s);
    }
    return buffer;
}

} // namespace

class MonitoringRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Idle from 20 s without input; active while the input is at most 10 s old; wake only after idle.
    void activityStates() {
        const double none = -1;
        const QList<std::tuple<S, double, S>> rows{
            {S::Idle, none, S::Idle},   {S::Idle, 19.999, S::Wake},       {S::Idle, 20, S::Idle},
            {S::Wake, none, S::Idle},   {S::Wake, 10, S::Active},         {S::Wake, 16, S::Cooldown},
            {S::Active, 10, S::Active}, {S::Active, 10.001, S::Cooldown}, {S::Active, 19.999, S::Cooldown},
            {S::Active, 20, S::Idle},   {S::Cooldown, 4.5, S::Active},    {S::Cooldown, 20, S::Idle}};
        for (const auto& [from, age, to] : rows)
            QVERIFY2(nextActivityState(from, age < 0 ? std::nullopt : std::optional(age)) == to,
                     qPrintable(rawValue(from) + QStringLiteral(" after %1 s").arg(age)));
    }

    void collectingText() {
        QCOMPARE(collectingContextDetail(1),
                 u"Norvane needs 3 wake/active screenshots in one burst before it can "
                 u"analyze. Current burst: 1/3.");
        QVERIFY(collectingContextDetail(7).endsWith(u"Current burst: 3/3."));
    }

    // State and reason per capture; "Ac" is an active capture taken for the cool-down cadence.
    void eviction_data() {
        QTest::addColumn<QString>("buffer");
        QTest::addColumn<int>("evicted");
        QTest::newRow("oldest cool-down before an older idle") << "Wr Ai I- Ai Ci Ai Cc Ai Ai Ai Ai" << 4;
        QTest::newRow("cool-down reason counts too") << "Wr Ai I- Ac Ai Ai Ai Ai Ai Ai Ai" << 3;
        QTest::newRow("then neither wake nor active") << "Wr Ai Ai I- Ai Ai I- Ai Ai Ai Ai" << 3;
        QTest::newRow("else the oldest") << "Ai Wr Ai Ai Ai Ai Ai Ai Ai Ai Ai" << 0;
    }
    void eviction() {
        QFETCH(QString, buffer);
        QStringList tokens = buffer.split(u' ');
        for (auto& token : tokens)
            token += QStringLiteral("AS1");
        QTEST(int(bufferEvictionIndex(makeBuffer(tokens))), "evicted");
    }

    // Reason 100 (switches), 90 (wake), 50 (active), 10 (cool-down); +25 when the window differs from the
    // burst's first, +15 when it differs from its last; + the position in the burst.
    void preferenceScore_data() {
        QTest::addColumn<QStringList>("burst");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("score");
        QTest::newRow("differs from the first") << QStringList{"WrAS1", "AiBT1", "AiCT1"} << 1 << 76;
        QTest::newRow("differs from the last") << QStringList{"WrAS1", "AiBS1", "AiCT1"} << 1 << 66;
    }
    void preferenceScore() {
        QFETCH(QStringList, burst);
        QFETCH(int, index);
        const auto screenshots = makeBuffer(burst);
        QTEST(analysisPreferenceScore(screenshots[index], screenshots), "score");
    }

    void selection_data() {
        QTest::addColumn<QStringList>("buffer");
        QTest::addColumn<QList<int>>("selected");
        const auto row = [](const char* name, const QStringList& buffer, const QList<int>& selected) {
            QTest::newRow(name) << buffer << selected;
        };
        row("app switch is the middle even when not the newest",
            {"WrAS1", "AiBS1", "AaCS1", "AiDS1", "AiES1"}, {0, 2, 4});
        row("visible change beats a later same-window capture", {"WrAS1", "AiBT1", "AiCS1", "AiDS1", "AiES1"},
            {0, 1, 4});
        row("a duplicate is replaced, the batch put in time order", {"WrAS1", "AiBS1", "AaCS1", "AiCS1"},
            {0, 1, 2});
        row("only two distinct", {"WrAS1", "AiAS1", "AiBS1"}, {});
        row("cool-down and idle never selected", {"WrAS1", "CcBS1", "AiCS1", "IiDS1", "AiES1"}, {0, 2, 4});
        row("only the newest burst counts", {"WrAS1", "AiBS1", "AiCS1", "CcDS1", "WrES2", "AiFS2"}, {});
    }
    void selection() {
        QFETCH(QStringList, buffer);
        QFETCH(QList<int>, selected);
        const auto screenshots = makeBuffer(buffer);
        QList<QUuid> expected, actual;
        for (int i : selected)
            expected.append(screenshots[i].id);
        for (const auto& s : selectScreenshotsForAnalysis(screenshots))
            actual.append(s.id);
        QCOMPARE(actual, expected);
    }
};

QTEST_GUILESS_MAIN(MonitoringRulesTest)
#include "tst_monitoring_rules.moc"
