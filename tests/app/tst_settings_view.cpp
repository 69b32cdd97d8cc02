// The settings window under a real X server: both presentations and every text they show, the controls
// and what they store, the connection test against a loopback HTTP server, the permission cards, the
// diagnostics, and the menu's commands shown when there is no tray. Saves a PNG of each presentation.
#include "analysis/GeminiClient.h"
#include "analysis/LoopbackHttpServer.h"
#include "app/PermissionService.h"
#include "app/SettingsWindowManager.h"
#include "fakes/Fakes.h"

#include <QApplication>
#include <QDir>
#include <QQuickItem>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <QtQml/qqmlextensionplugin.h>
#include <cmath>

Q_IMPORT_QML_PLUGIN(Norvane_SettingsPlugin)

using namespace norvane;
using namespace norvane::testing;
using namespace Qt::StringLiterals;
using Mode = SettingsPresentationMode;

namespace {

const QString kKey = u"AIzaSyTEST-secret-0123456789"_s;

// The WCAG contrast ratio of `text` (blended over `background`) against `background`.
double contrast(QColor text, const QColor& background) {
    const double a = text.alphaF();
    text = QColor::fromRgbF(text.redF() * a + background.redF() * (1 - a),
                            text.greenF() * a + background.greenF() * (1 - a),
                            text.blueF() * a + background.blueF() * (1 - a));
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double lt = luminance(text), lb = luminance(background);
    return (std::max(lt, lb) + 0.05) / (std::min(lt, lb) + 0.05);
}

struct Env {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(u"settings.ini"_s), QSettings::IniFormat};
    ManualClock clock;
    std::unique_ptr<AppState> appState;
    FakeMonitoringControl monitoring;
    FakeGemini fakeGemini;
    FakePermissions permissions;
    int quitCalls = 0;
    std::unique_ptr<SettingsWindowManager> manager;
    std::unique_ptr<ShellCommands> commands;
    QQuickView* window = nullptr;

    explicit Env(const QString& storedKey = kKey, GeminiGenerating* gemini = nullptr) {
        settings.setValue(AppState::apiKeyKey, storedKey);
        appState = std::make_unique<AppState>(&settings, nullptr, &clock);
        monitoring.appState = appState.get();
        manager = std::make_unique<SettingsWindowManager>(appState.get(), gemini ? gemini : &fakeGemini,
                                                          &permissions, &clock);
        commands = std::make_unique<ShellCommands>(appState.get(), &monitoring, manager.get(),
                                                   [this] { ++quitCalls; });
        manager->setMonitoring(&monitoring);
        manager->setShellCommands(commands.get());
    }
    ~Env() { manager.reset(); }

    SettingsController* controller() const { return manager->controller(); }
    bool show(Mode mode, bool active = false) {
        manager->show(mode);
        window = manager->window();
        if (active)
            window->requestActivate();
        return QTest::qWaitForWindowExposed(window) && (!active || QTest::qWaitForWindowActive(window));
    }
    QVariant stored(const QString& key) const {
        return QSettings(settings.fileName(), QSettings::IniFormat).value(key);
    }

    // "name" or "parent/name", then ".property" when it is not the text.
    QQuickItem* item(const QString& path) const {
        QQuickItem* found = window->rootObject();
        for (const QString& name : path.section(u'.', 0, 0).split(u'/'))
            found = found ? found->findChild<QQuickItem*>(name) : nullptr;
        return found;
    }
    QString text(const QString& path) const {
        const QString property = path.contains(u'.') ? path.section(u'.', 1) : u"text"_s;
        return item(path) ? item(path)->property(qPrintable(property)).toString() : u"<none>"_s;
    }
    QColor tint(const QString& path) const { return item(path)->property("tint").value<QColor>(); }
    void expectTexts(const QList<std::pair<QString, QString>>& rows) const {
        for (const auto& [path, expected] : rows)
            QVERIFY2(text(path) == expected, qPrintable(path + u": "_s + text(path)));
    }
    void expectTopToBottom(const QStringList& names) const {
        for (qsizetype i = 1; i < names.size(); ++i)
            QVERIFY2(item(names[i - 1])->mapToScene({}).y() < item(names[i])->mapToScene({}).y(),
                     qPrintable(names[i]));
    }

    // Scrolls the item into view and clicks it where a user would.
    void click(const QString& path, QPointF at = {-1, -1}) const {
        QQuickItem* target = item(path);
        QQuickItem* flickable = item("scrollArea");
        const double top = target->mapToItem(flickable->property("contentItem").value<QQuickItem*>(), {}).y();
        const double maxY = flickable->property("contentHeight").toDouble() - flickable->height();
        flickable->setProperty("contentY", std::clamp(top - 60, 0.0, std::max(0.0, maxY)));
        at = at.x() < 0 ? QPointF(target->width() / 2, target->height() / 2) : at;
        QTest::mouseClick(window, Qt::LeftButton, {}, target->mapToScene(at).toPoint());
    }
    void save(const QString& name) const {
        QDir().mkpath(QStringLiteral(NORVANE_SCREENSHOT_DIR));
        item("scrollArea")->setProperty("contentY", 0);
        QVERIFY(window->grabWindow().save(QStringLiteral(NORVANE_SCREENSHOT_DIR "/") + name));
    }
};

} // namespace

class TestSettingsView : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Times show in the user's locale and time zone (the test runs with TZ=UTC).
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // One window for both presentations; each show retitles it and lays out its own texts and order.
    void presentations() {
        Env env(QString{});
        env.permissions.capabilities = {
            {u"X display"_s, true, u"Norvane can see the windows of this session."_s},
            {u"Native Wayland windows"_s, true,
             u"This is an X11 session: every window is visible to Norvane."_s}};
        QVERIFY(env.show(Mode::Setup));
        QQuickView* window = env.window;
        QCOMPARE(window->title(), u"Set Up Norvane"_s);
        env.expectTexts(
            {{"heroTitle", "Set Up Norvane"},
             {"heroSubtitle", "Add your Gemini key, confirm permissions, and shape how aggressively "
                              "Norvane watches for opportunities."},
             {"footerCaption", "Setup only needs to happen once."},
             {"footerButton", "Continue"}});
        env.expectTopToBottom(
            {"heroHeader", "geminiSection", "permissionsSection", "monitoringSection", "footer"});
        env.save("settings-setup.png");

        QVERIFY(env.show(Mode::Standard));
        QCOMPARE(env.window, window);
        QCOMPARE(window->title(), u"Norvane Settings"_s);
        env.expectTopToBottom(
            {"heroHeader", "monitoringSection", "geminiSection", "permissionsSection", "footer"});
        QCOMPARE(window->maximumSize(), window->minimumSize()); // fixed size, above normal windows
        QVERIFY(window->flags().testFlag(Qt::WindowStaysOnTopHint));
        env.click("footerButton");
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 5000);
    }

    // Every fixed text of the standard window, with the values it starts from.
    void standardTexts() {
        Env env;
        QVERIFY(env.show(Mode::Standard));
        env.expectTexts({
            {"heroTitle", "Norvane Settings"},
            {"heroSubtitle", "Tune capture behavior, permissions, and debugging tools with a cleaner view of "
                             "what the app is doing locally."},
            {"footerCaption", "Changes save immediately."},
            {"footerButton", "Done"},
            {"monitoringStatusBadge", "Monitoring Off"},
            {"geminiSection/sectionTitle", "Gemini"},
            {"geminiSection/sectionSubtitle",
             "Norvane talks directly to Gemini for opportunity detection and recommendations."},
            {"permissionsSection/sectionTitle", "Permissions"},
            {"permissionsSection/sectionSubtitle",
             "What this session lets Norvane see. Nothing here needs granting on X11."},
            {"monitoringSection/sectionTitle", "Monitoring"},
            {"monitoringSection/sectionSubtitle",
             "Adjust cadence, thresholds, and the amount of interruption tolerance."},
            {"apiKeyCaption", "API key"},
            {"apiKeyField.placeholderText", "Gemini API key"},
            {"apiKeyPrivacyCaption",
             "Stored locally on this computer. Norvane does not send screenshots anywhere "
             "except the Gemini request you explicitly enabled by turning monitoring on."},
            {"testConnectionButton", "Test Connection"},
            {"refreshPermissionsButton", "Refresh"},
            {"refreshPermissionsCaption", "Refresh reads again what this session offers."},
            {"intervalTitle", "Screenshot interval"},
            {"intervalValueLabel", "30 seconds"},
            {"confidenceTitle", "Confidence threshold"},
            {"confidenceValueLabel", "0.70"},
            {"confidenceBadge", "Confidence 0.70"},
            {"confidenceCaption",
             "Higher values mean fewer nudges, but more confidence that the interruption is worthwhile."},
            {"captureCountLabel", "Screenshots captured in last hour"},
            {"captureCountCaption", "This is a rolling one-hour count of successful captures."},
            {"diagnosticsDetail", "Turn monitoring on to start collecting screenshots for nudge analysis."},
        });
    }

    // The badge follows the state while the window is open; a pause counts even with monitoring off.
    void statusBadge() {
        Env env;
        QVERIFY(env.show(Mode::Standard));
        QCOMPARE(env.tint("monitoringStatusBadge"), SettingsController::secondaryTint());
        env.appState->setIsMonitoring(true);
        QCOMPARE(env.text("monitoringStatusBadge"), u"Monitoring On"_s);
        QCOMPARE(env.tint("monitoringStatusBadge"), SettingsController::successTint());
        env.appState->pauseFor(30);
        env.appState->setIsMonitoring(false);
        QCOMPARE(env.text("monitoringStatusBadge"), u"Paused"_s);
        QCOMPARE(env.tint("monitoringStatusBadge"), SettingsController::brandTint());
    }

    // Setup needs a key to go on; a key of spaces is none, and starts no test whatever calls for one.
    void enablingRules() {
        for (const auto& [mode, key, canTest, canGoOn] : {std::tuple(Mode::Setup, "", false, false),
                                                          {Mode::Setup, "   \n", false, false},
                                                          {Mode::Setup, " k ", true, true},
                                                          {Mode::Standard, "  ", false, true}}) {
            Env env(QString::fromLatin1(key));
            QVERIFY(env.show(mode));
            QCOMPARE(env.item("testConnectionButton")->isEnabled(), canTest);
            QCOMPARE(env.item("footerButton")->isEnabled(), canGoOn);
            // Readable either way (4.5:1), and a disabled button is an empty outline, never a filled one.
            for (const char* name : {"testConnectionButton", "footerButton"}) {
                QQuickItem* button = env.item(name);
                const QColor page =
                    button->property("theme").value<QObject*>()->property("pageColor").value<QColor>();
                const QColor fill =
                    button->property("background").value<QQuickItem*>()->property("color").value<QColor>();
                const QColor text =
                    button->property("contentItem").value<QQuickItem*>()->property("color").value<QColor>();
                QCOMPARE(fill.alpha() == 0, !button->isEnabled());
                QVERIFY2(contrast(text, fill.alpha() ? fill : page) >= 4.5,
                         qPrintable(QString("%1: %2 on %3 / %4")
                                        .arg(name, text.name(QColor::HexArgb), fill.name(QColor::HexArgb),
                                             page.name())));
            }
            env.controller()->testAPIKey();
            QCOMPARE(env.fakeGemini.calls.size(), canTest ? 1 : 0);
        }
    }

    // Every keystroke is stored at once and enables the buttons; the field hides what is typed.
    void keyField() {
        Env env(QString{});
        QVERIFY(env.show(Mode::Setup, true));
        env.click("apiKeyField");
        QTRY_VERIFY_WITH_TIMEOUT(env.item("apiKeyField")->hasActiveFocus(), 5000);
        QTest::keyClick(env.window, Qt::Key_A);
        QCOMPARE(env.stored(AppState::apiKeyKey).toString(), u"a"_s);
        QTest::keyClick(env.window, ' ');
        QTest::keyClick(env.window, 'b');
        QCOMPARE(env.appState->apiKey(), u"a b"_s);
        QVERIFY(env.item("footerButton")->isEnabled() && env.item("testConnectionButton")->isEnabled());
        QVERIFY(env.text("apiKeyField.displayText") != u"a b"_s);
        env.appState->setApiKey(u"other"_s); // a change made elsewhere shows in the field
        QCOMPARE(env.text("apiKeyField"), u"other"_s);
        // Something far longer than a key was pasted: not saved, and the window says why.
        env.controller()->setApiKey(QString(513, u'k'));
        QCOMPARE(env.appState->apiKey(), u"other"_s);
        QCOMPARE(env.text("apiKeyProblem"),
                 u"This is longer than an API key can be (512 characters), so it was "
                 u"not saved. Paste the key alone."_s);
        env.controller()->setApiKey(QString(512, u'k'));
        QVERIFY(env.appState->apiKey().size() == 512 && !env.item("apiKeyProblem")->isVisible());
    }

    void intervalSlider() {
        Env env;
        env.appState->setScreenshotInterval(45);
        QVERIFY(env.show(Mode::Standard));
        QQuickItem* slider = env.item("intervalSlider");
        // 45 is not a choice: the middle position, with the stored value in the label.
        QCOMPARE(slider->property("value").toDouble(), 1.0);
        QCOMPARE(env.text("intervalValueLabel"), u"45 seconds"_s);
        const double padding = slider->property("leftPadding").toDouble() + 10;
        env.click("intervalSlider", QPointF(padding, slider->height() / 2));
        QCOMPARE(env.text("intervalValueLabel"), u"15 seconds"_s);
        env.click("intervalSlider", QPointF(slider->width() - padding, slider->height() / 2));
        QCOMPARE(env.stored(AppState::screenshotIntervalKey).toDouble(), 60.0);

        // Positions round half away from zero and clamp to the three choices; the value held is not
        // stored again.
        QSignalSpy stores(env.appState.get(), &AppState::screenshotIntervalAssigned);
        for (const auto& [position, interval] :
             {std::pair(1.5, 60.0), {0.49, 15.0}, {0.5, 30.0}, {-3.0, 15.0}, {7.0, 60.0}}) {
            env.controller()->setScreenshotIntervalPosition(position);
            QCOMPARE(env.appState->screenshotInterval(), interval);
        }
        QCOMPARE(stores.size(), 4);
    }

    // One key step is 0.05; stored values sit on that grid within 0.5 to 0.9.
    void confidenceSlider() {
        Env env;
        QVERIFY(env.show(Mode::Standard, true));
        QCOMPARE(env.tint("confidenceBadge"), SettingsController::coolTint());
        env.item("confidenceSlider")->forceActiveFocus();
        QTest::keyClick(env.window, Qt::Key_Right);
        QCOMPARE(env.appState->confidenceThreshold(), 0.75);
        QCOMPARE(env.text("confidenceBadge"), u"Confidence 0.75"_s);
        env.controller()->setConfidenceFromSlider(0.6500000001);
        QCOMPARE(env.appState->confidenceThreshold(), 0.65);
        env.controller()->setConfidenceFromSlider(0.99);
        QCOMPARE(env.stored(AppState::confidenceThresholdKey).toDouble(), 0.9);
        env.controller()->setConfidenceFromSlider(0.1);
        QCOMPARE(env.text("confidenceValueLabel"), u"0.50"_s);
    }

    // Over real HTTP: the trimmed key with the fixed prompt at temperature 0, the button waiting for the
    // answer; then the service's error. Each show starts without the last result.
    void connectionTest() {
        LoopbackHttpServer server;
        QVERIFY(server.start());
        server.setResponse(
            LoopbackHttpServer::json(200, R"({"candidates":[{"content":{"parts":[{"text":"  OK \n"}]}}]})"));
        GeminiClient client{server.baseUrl()};
        Env env(u"  "_s + kKey + u" \n"_s, &client);
        QVERIFY(env.show(Mode::Standard));
        QVERIFY(!env.item("apiTestResult")->isVisible());
        env.click("testConnectionButton");
        QCOMPARE(env.text("testConnectionButton"), u"Testing..."_s);
        QVERIFY(!env.item("testConnectionButton")->isEnabled());
        env.controller()->testAPIKey(); // a second press while testing starts nothing
        QTRY_COMPARE_WITH_TIMEOUT(env.text("apiTestMessage"), u"Success: OK"_s, 10000);
        QCOMPARE(env.tint("apiTestResult"), SettingsController::successTint());
        QCOMPARE(env.text("testConnectionButton"), u"Test Connection"_s);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests()[0].query, "key=" + kKey.toUtf8());
        QVERIFY(server.requests()[0].body.contains("Reply with exactly OK."));
        QVERIFY(server.requests()[0].body.contains(R"("generationConfig":{"temperature":0})"));
        env.save("settings-standard.png");

        server.setResponse(LoopbackHttpServer::json(400, R"({"error":{"message":"API key not valid."}})"));
        env.click("testConnectionButton");
        QTRY_VERIFY_WITH_TIMEOUT(env.text("apiTestMessage").contains(u"API key not valid."), 10000);
        QCOMPARE(env.tint("apiTestResult"), SettingsController::secondaryTint());
        QVERIFY(env.show(Mode::Standard));
        QVERIFY(!env.item("apiTestResult")->isVisible());
    }

    // One card for each thing the session offers, with its state and its explanation or remedy; Refresh
    // reads the session again.
    void permissionCards() {
        Env env;
        env.permissions.capabilities = {{u"X display"_s, true, u"Sees the windows."_s},
                                        {u"Native Wayland windows"_s, false, u"<b>Log in to X11.</b>"_s}};
        QVERIFY(env.show(Mode::Standard));
        const auto cards = [&env] {
            QList<QQuickItem*> found; // made by a Repeater: found through the item tree
            const std::function<void(QQuickItem*)> collect = [&](QQuickItem* item) {
                if (item->objectName() == u"capabilityCard"_s)
                    found << item;
                for (QQuickItem* child : item->childItems())
                    collect(child);
            };
            collect(env.window->rootObject());
            QStringList shown;
            for (QQuickItem* card : found) {
                shown << card->findChild<QQuickItem*>(u"permissionTitle"_s)->property("text").toString() +
                             u": "_s +
                             card->findChild<QQuickItem*>(u"permissionBadge"_s)->property("text").toString() +
                             u", "_s +
                             card->findChild<QQuickItem*>(u"permissionDescription"_s)
                                 ->property("text")
                                 .toString();
                if (card->findChild<QQuickItem*>(u"permissionDescription"_s)
                        ->property("textFormat")
                        .toInt() != int(Qt::PlainText))
                    shown.last() += u" (read as markup)"_s;
            }
            shown.sort();
            return shown;
        };
        QCOMPARE(cards(), (QStringList{u"Native Wayland windows: Missing, <b>Log in to X11.</b>"_s,
                                       u"X display: Available, Sees the windows."_s}));
        env.permissions.capabilities[1].available = true;
        env.click("refreshPermissionsButton");
        QTRY_COMPARE(cards().first(), u"Native Wayland windows: Available, <b>Log in to X11.</b>"_s);
    }

    void captureCountIsReadEveryFiveSeconds() {
        Env env;
        const QDateTime start = env.clock.now();
        env.monitoring.captureTimes = {start.addSecs(-7200), start.addSecs(-1800), start.addSecs(-600)};
        QVERIFY(env.show(Mode::Standard));
        QCOMPARE(env.text("captureCountValue"), u"2"_s);
        env.monitoring.captureTimes.append(start.addSecs(1));
        env.clock.advance(4.9);
        QCOMPARE(env.text("captureCountValue"), u"2"_s);
        env.clock.advance(0.1);
        QCOMPARE(env.text("captureCountValue"), u"3"_s);
        env.clock.advance(30 * 60); // the oldest has left the hour
        QCOMPARE(env.text("captureCountValue"), u"2"_s);
    }

    void diagnostics() {
        Env env;
        QVERIFY(env.show(Mode::Standard));
        int second = 0;
        for (const auto& [state, title, tint] :
             {std::tuple(NudgePipelineState::MonitoringOff, "Monitoring is off",
                         SettingsController::secondaryTint()),
              {NudgePipelineState::Paused, "Monitoring is paused", SettingsController::coolTint()},
              {NudgePipelineState::WaitingForActivity, "Waiting for activity",
               SettingsController::secondaryTint()},
              {NudgePipelineState::CollectingContext, "Collecting context", SettingsController::coolTint()},
              {NudgePipelineState::Analyzing, "Analyzing recent activity", SettingsController::coolTint()},
              {NudgePipelineState::NoOpportunity, "No opportunity found",
               SettingsController::secondaryTint()},
              {NudgePipelineState::NudgeVisible, "Nudge is ready", SettingsController::successTint()},
              {NudgePipelineState::Failed, "Analysis failed", SettingsController::brandTint()}}) {
            env.appState->setNudgeDiagnostics(
                {state, u"Detail."_s, QDateTime({2026, 12, 4}, {23, 45, ++second}, Qt::UTC)});
            env.expectTexts({{"diagnosticsTitle", title},
                             {"diagnosticsTime", u"11:45:%1 PM"_s.arg(second, 2, 10, QLatin1Char('0'))},
                             {"diagnosticsDetail", "Detail."}});
            QCOMPARE(env.item("diagnosticsDot")->property("color").value<QColor>(), tint);
        }
        // Texts from the model service and servers are shown as written, never read as markup.
        for (const char* name : {"diagnosticsDetail", "diagnosticsTitle", "apiTestMessage"})
            QCOMPARE(env.item(name)->property("textFormat").toInt(), int(Qt::PlainText));
        QCOMPARE(SettingsController::timeWithSeconds(QDateTime({2026, 12, 4}, {23, 45, 7}, Qt::UTC),
                                                     QLocale(QLocale::German, QLocale::Germany)),
                 u"23:45:07"_s);
    }

    // Without a tray the window shows the menu's commands, with the menu's titles.
    void commandsAppearWhenThereIsNoTray() {
        Env env;
        QVERIFY(env.show(Mode::Standard));
        QVERIFY(!env.item("commandBar")->isVisible());
        env.commands->setShowsInWindow(true);
        QVERIFY(env.item("commandBar")->isVisible() && !env.item("commandPauseButton")->isEnabled());
        env.click("commandMonitoringButton");
        env.click("commandPauseButton");
        QVERIFY(env.appState->isMonitoring() && env.appState->isPaused());
        env.expectTexts({{"commandMonitoringButton", env.commands->monitoringTitle()},
                         {"commandPauseButton", env.commands->pauseTitle()},
                         {"commandResumeTimeLabel", env.commands->resumeTimeTitle()},
                         {"commandQuitButton", ShellCommands::quitTitle}});
        env.click("commandQuitButton");
        QCOMPARE(env.quitCalls, 1);
    }

    // On X11 both permissions are granted while the display is reachable; there is no settings pane to
    // open, so the requests answer with the current state and open nothing.
    void permissionServiceFollowsTheDisplay() {
        QVERIFY(PermissionService().hasScreenRecordingPermission());
        FakePermissionChecker display;
        display.granted = false;
        PermissionService service(&display);
        QVERIFY(!service.requestScreenRecordingPermission() && !service.ensureAccessibilityAccessIfNeeded());
        QVERIFY(!service.screenRecordingSettingsURL() && !service.accessibilitySettingsURL());
        display.granted = true;
        QVERIFY(service.hasScreenRecordingPermission() && service.requestAccessibilityAccess());
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestSettingsView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings_view.moc"
