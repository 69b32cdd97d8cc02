// The settings window under a real X server, with the connection test also run against a loopback HTTP
// server. Saves PNGs of both presentations for review.
#include "analysis/GeminiClient.h"
#include "analysis/LoopbackHttpServer.h"
#include "app/SettingsWindowManager.h"
#include "app/ShellCommands.h"
#include "fakes/FakeMonitoringControl.h"
#include "fakes/Fakes.h"

#include <QApplication>
#include <QDir>
#include <QQuickItem>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <array>
#include <memory>

Q_IMPORT_QML_PLUGIN(Norvane_SettingsPlugin)

using namespace norvane;
using namespace norvane::testing;

namespace {

const QString kKey = QStringLiteral("AIzaSyTEST-secret-0123456789");

// A model whose answer takes `delaySeconds` of virtual time.
class SlowGemini : public GeminiGenerating {
public:
    ManualClock* clock = nullptr;
    double delaySeconds = 2;
    int calls = 0;
    QCoro::Task<Expected<QString, GeminiClientError>> generate(QList<GeminiRequestPart>, QString, double,
                                                               std::optional<QString>,
                                                               CancellationToken cancel = {}) override {
        ++calls;
        co_await clock->sleep(delaySeconds, cancel);
        co_return QStringLiteral("OK");
    }
};

struct Env {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
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

    ~Env() {
        manager.reset();
        commands.reset();
    }

    bool show(SettingsPresentationMode mode) {
        manager->show(mode);
        window = manager->window();
        return window && QTest::qWaitForWindowExposed(window) && window->rootObject();
    }

    QQuickItem* item(const char* name) const {
        return window->rootObject()->findChild<QQuickItem*>(QString::fromLatin1(name));
    }
    QQuickItem* item(const char* parentName, const char* name) const {
        QQuickItem* parent = item(parentName);
        return parent ? parent->findChild<QQuickItem*>(QString::fromLatin1(name)) : nullptr;
    }
    static QString text(QQuickItem* item, const char* property = "text") {
        return item ? item->property(property).toString() : QStringLiteral("<none>");
    }
    static QColor color(QQuickItem* item, const char* property = "tint") {
        return item->property(property).value<QColor>();
    }
    bool clickTestAndWait() const {
        click(item("testConnectionButton"));
        return QTest::qWaitFor([this] { return item("apiTestResult")->isVisible(); }, 10000);
    }
    QString apiMessage() const { return text(item("apiTestMessage")); }

    // Scrolls the item into view, so a click lands where a user's would.
    void reveal(QQuickItem* target) const {
        QQuickItem* flickable = item("scrollArea");
        auto* content = flickable->property("contentItem").value<QQuickItem*>();
        const double top = target->mapToItem(content, QPointF(0, 0)).y();
        const double maxY =
            std::max(0.0, flickable->property("contentHeight").toDouble() - flickable->height());
        flickable->setProperty("contentY", std::clamp(top - 60, 0.0, maxY));
    }

    void click(QQuickItem* target, QPointF at = {-1, -1}) const {
        reveal(target);
        if (at.x() < 0)
            at = QPointF(target->width() / 2, target->height() / 2);
        QTest::mouseClick(window, Qt::LeftButton, {}, target->mapToScene(at).toPoint());
    }

    // Saves what the window shows, scrolled to the top, for review.
    bool save(const QString& name) const {
        QDir().mkpath(QStringLiteral(NORVANE_SCREENSHOT_DIR));
        item("scrollArea")->setProperty("contentY", 0);
        return window->grabWindow().save(QStringLiteral(NORVANE_SCREENSHOT_DIR "/") + name);
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

    // One window for both presentations; each show retitles it and lays out its own texts and section order.
    void presentations() {
        struct Presentation {
            SettingsPresentationMode mode;
            QStringList texts; // title, subtitle, symbol, footer caption, footer button
            QStringList order;
        };
        const Presentation presentations[] = {
            {SettingsPresentationMode::Setup,
             {"Set Up Norvane",
              "Add your Gemini key, confirm permissions, and shape how aggressively Norvane watches for "
              "opportunities.",
              "wand.and.stars.inverse", "Setup only needs to happen once.", "Continue"},
             {"geminiSection", "permissionsSection", "monitoringSection"}},
            {SettingsPresentationMode::Standard,
             {"Norvane Settings",
              "Tune capture behavior, permissions, and debugging tools with a cleaner view of what the app "
              "is "
              "doing locally.",
              "slider.horizontal.3", "Changes save immediately.", "Done"},
             {"monitoringSection", "geminiSection", "permissionsSection"}},
        };
        Env env;
        QVERIFY(!env.manager->window());
        QQuickView* first = nullptr;
        for (const Presentation& p : presentations) {
            QVERIFY(env.show(p.mode));
            if (!first)
                first = env.window;
            QCOMPARE(env.window, first);
            QCOMPARE(first->title(), p.texts[0]);
            QCOMPARE(Env::text(env.item("heroTitle")), p.texts[0]);
            QCOMPARE(Env::text(env.item("heroSubtitle")), p.texts[1]);
            QCOMPARE(Env::text(env.item("heroIcon"), "symbol"), p.texts[2]);
            QCOMPARE(Env::text(env.item("footerCaption")), p.texts[3]);
            QCOMPARE(Env::text(env.item("footerButton")), p.texts[4]);

            // Header first, the sections in the presentation's order, the footer last.
            QQuickItem* column = env.item("contentColumn");
            auto top = [&](const QString& name) {
                QQuickItem* found = env.item(name.toLatin1().constData());
                return found ? found->mapToItem(column, QPointF(0, 0)).y() : -1.0;
            };
            double previous = top(QStringLiteral("heroHeader"));
            QVERIFY(previous >= 0);
            for (const QString& name : p.order + QStringList{QStringLiteral("footer")}) {
                QVERIFY2(top(name) > previous, qPrintable(name));
                previous = top(name);
            }
            QCOMPARE(column->width(), 472.0); // 520 less 24 on each side
        }

        // Fixed 520 x 700, above normal windows, not resizable.
        QCOMPARE(first->size(), QSize(520, 700));
        QCOMPARE(first->minimumSize(), first->maximumSize());
        QVERIFY(first->flags().testFlags(Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint |
                                         Qt::WindowMinimizeButtonHint));
        QVERIFY(!first->flags().testFlag(Qt::WindowMaximizeButtonHint));

        // "Done" and "Continue" hide the window; the next show brings the same one back.
        env.click(env.item("footerButton"));
        QTRY_VERIFY_WITH_TIMEOUT(!first->isVisible(), 5000);
        QVERIFY(env.show(SettingsPresentationMode::Setup));
        QCOMPARE(env.window, first);
        QCOMPARE(first->title(), QStringLiteral("Set Up Norvane"));
        env.click(env.item("footerButton"));
        QTRY_VERIFY_WITH_TIMEOUT(!first->isVisible(), 5000);
    }

    void sectionTextsAndSymbols() {
        // section, child, property, expected
        const std::array<const char*, 4> rows[] = {
            {"geminiSection", "sectionTitle", "text", "Gemini"},
            {"geminiSection", "sectionSubtitle", "text",
             "Norvane talks directly to Gemini for opportunity detection and recommendations."},
            {"geminiSection", "sectionIcon", "symbol", "sparkles"},
            {"permissionsSection", "sectionTitle", "text", "Permissions"},
            {"permissionsSection", "sectionSubtitle", "text",
             "Screen Recording is required. Accessibility makes the prompts more specific."},
            {"permissionsSection", "sectionIcon", "symbol", "hand.raised"},
            {"monitoringSection", "sectionTitle", "text", "Monitoring"},
            {"monitoringSection", "sectionSubtitle", "text",
             "Adjust cadence, thresholds, and the amount of interruption tolerance."},
            {"monitoringSection", "sectionIcon", "symbol", "waveform.path.ecg"},
            {"geminiSection", "apiKeyCaption", "text", "API key"},
            {"geminiSection", "apiKeyPrivacyCaption", "text",
             "Stored locally on this computer. Norvane does not send screenshots anywhere except the Gemini "
             "request you explicitly enabled by turning monitoring on."},
            {"geminiSection", "testConnectionButton", "text", "Test Connection"},
            {"screenRecordingCard", "permissionTitle", "text", "Screen Recording"},
            {"screenRecordingCard", "permissionDescription", "text",
             "Required so Norvane can capture screenshots of the frontmost window."},
            {"screenRecordingCard", "permissionIcon", "symbol", "record.circle"},
            {"accessibilityCard", "permissionTitle", "text", "Accessibility"},
            {"accessibilityCard", "permissionDescription", "text",
             "Optional but recommended so Norvane can read the active window title more accurately."},
            {"accessibilityCard", "permissionIcon", "symbol", "figure.wave"},
            {"permissionsSection", "refreshPermissionsButton", "text", "Refresh Permissions"},
            {"permissionsSection", "refreshPermissionsCaption", "text",
             "Accessibility usually updates after Refresh. Screen Recording often needs a relaunch."},
            {"intervalCard", "intervalTitle", "text", "Screenshot interval"},
            {"intervalCard", "intervalValueLabel", "text", "30 seconds"},
            {"confidenceCard", "confidenceTitle", "text", "Confidence threshold"},
            {"confidenceCard", "confidenceValueLabel", "text", "0.70"},
            {"confidenceCard", "confidenceCaption", "text",
             "Higher values mean fewer nudges, but more confidence that the interruption is worthwhile."},
            {"captureCountCard", "captureCountLabel", "text", "Screenshots captured in last hour"},
            {"captureCountCard", "captureCountCaption", "text",
             "This is a rolling one-hour count of successful captures."},
            {"captureCountCard", "captureCountValue", "text", "0"},
            {"diagnosticsCard", "diagnosticsTitle", "text", "Monitoring is off"},
            {"diagnosticsCard", "diagnosticsDetail", "text",
             "Turn monitoring on to start collecting screenshots for nudge analysis."},
        };
        Env env;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        for (const auto& [section, child, property, expected] : rows) {
            const QString actual = Env::text(env.item(section, child), property);
            QVERIFY2(actual == QString::fromUtf8(expected),
                     qPrintable(QStringLiteral("%1/%2: %3").arg(section, child, actual)));
        }
    }

    // The badge follows the state while the window is open.
    void statusBadge() {
        const std::tuple<bool, bool, const char*, QColor> rows[] = {
            {false, false, "Monitoring Off", SettingsController::secondaryTint()},
            {true, false, "Monitoring On", SettingsController::successTint()},
            {true, true, "Paused", SettingsController::brandTint()},
            {false, true, "Paused", SettingsController::brandTint()}, // off with a recorded pause
        };
        for (const auto& [monitoring, paused, title, tint] : rows) {
            Env env;
            QVERIFY(env.show(SettingsPresentationMode::Standard));
            env.appState->setIsMonitoring(monitoring);
            if (paused)
                env.appState->pauseFor(30);
            QQuickItem* badge = env.item("monitoringStatusBadge");
            QVERIFY2(Env::text(badge) == QLatin1String(title) && Env::color(badge) == tint,
                     qPrintable(Env::text(badge) + QLatin1Char(' ') + Env::color(badge).name()));
        }
    }

    void enablingRules_data() {
        QTest::addColumn<SettingsPresentationMode>("mode");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("testEnabled");
        QTest::addColumn<bool>("footerEnabled");
        QTest::newRow("setup, no key") << SettingsPresentationMode::Setup << "" << false << false;
        QTest::newRow("setup, key of spaces") << SettingsPresentationMode::Setup << "   \n" << false << false;
        QTest::newRow("setup, key") << SettingsPresentationMode::Setup << " k " << true << true;
        QTest::newRow("standard, key of spaces")
            << SettingsPresentationMode::Standard << "  " << false << true;
    }

    void enablingRules() {
        QFETCH(SettingsPresentationMode, mode);
        QFETCH(QString, key);
        QFETCH(bool, testEnabled);
        QFETCH(bool, footerEnabled);
        Env env(key);
        QVERIFY(env.show(mode));
        QCOMPARE(env.item("testConnectionButton")->isEnabled(), testEnabled);
        QCOMPARE(env.item("footerButton")->isEnabled(), footerEnabled);
        // A blank key never starts a test, whatever calls it.
        env.manager->controller()->testAPIKey();
        QCOMPARE(env.fakeGemini.calls.size(), testEnabled ? 1 : 0);
    }

    // Typing a key enables both buttons at once; every keystroke is stored.
    void keyFieldStoresEveryEdit() {
        Env env(QString{});
        QVERIFY(env.show(SettingsPresentationMode::Setup));
        env.window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(env.window));
        QQuickItem* field = env.item("apiKeyField");
        QCOMPARE(field->property("echoMode").toInt(), 2); // TextInput.Password
        QCOMPARE(field->property("placeholderText").toString(), QStringLiteral("Gemini API key"));

        env.click(field);
        QTRY_VERIFY_WITH_TIMEOUT(field->hasActiveFocus(), 5000);
        QTest::keyClick(env.window, Qt::Key_A);
        QSettings reread(env.settings.fileName(), QSettings::IniFormat);
        QCOMPARE(reread.value(AppState::apiKeyKey).toString(), QStringLiteral("a"));
        for (const char key : {'b', ' ', 'c'})
            QTest::keyClick(env.window, key);
        QCOMPARE(env.appState->apiKey(), QStringLiteral("ab c"));
        QVERIFY(env.item("footerButton")->isEnabled());
        QVERIFY(env.item("testConnectionButton")->isEnabled());
        QVERIFY(field->property("displayText").toString() != QStringLiteral("ab c"));

        // A change made elsewhere shows in the field.
        env.appState->setApiKey(QStringLiteral("other"));
        QCOMPARE(field->property("text").toString(), QStringLiteral("other"));
    }

    void intervalSlider() {
        Env env;
        env.appState->setScreenshotInterval(45);
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QQuickItem* slider = env.item("intervalSlider");
        QQuickItem* label = env.item("intervalValueLabel");
        QCOMPARE(slider->property("to").toDouble(), 2.0);
        QCOMPARE(slider->property("stepSize").toDouble(), 1.0);
        // 45 is not a choice: the middle position, with the stored value in the label.
        QCOMPARE(slider->property("value").toDouble(), 1.0);
        QCOMPARE(Env::text(label), QStringLiteral("45 seconds"));

        QSignalSpy stores(env.appState.get(), &AppState::screenshotIntervalAssigned);
        auto clickAt = [&](double fraction) {
            const double padding = slider->property("leftPadding").toDouble();
            const double track = slider->width() - padding - slider->property("rightPadding").toDouble();
            env.click(slider, QPointF(padding + 10 + fraction * (track - 20), slider->height() / 2));
        };
        clickAt(0.0);
        QCOMPARE(env.appState->screenshotInterval(), 15.0);
        QCOMPARE(Env::text(label), QStringLiteral("15 seconds"));
        clickAt(1.0);
        QCOMPARE(env.appState->screenshotInterval(), 60.0);
        clickAt(0.5);
        QCOMPARE(env.appState->screenshotInterval(), 30.0);
        QCOMPARE(stores.size(), 3);
        QSettings reread(env.settings.fileName(), QSettings::IniFormat);
        QCOMPARE(reread.value(AppState::screenshotIntervalKey).toDouble(), 30.0);

        // The slider reporting the position it already shows stores nothing.
        QVERIFY(QMetaObject::invokeMethod(slider, "moved"));
        env.manager->controller()->setScreenshotIntervalPosition(1.2);
        QCOMPARE(stores.size(), 3);

        // Positions round half away from zero and clamp to the three choices.
        const std::pair<double, double> positions[] = {{0.49, 15}, {0.5, 30}, {1.5, 60}, {-3, 15}, {7, 60}};
        for (const auto& [position, stored] : positions) {
            env.manager->controller()->setScreenshotIntervalPosition(position);
            QCOMPARE(env.appState->screenshotInterval(), stored);
        }
    }

    void confidenceSlider() {
        Env env;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        env.window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(env.window));
        QQuickItem* slider = env.item("confidenceSlider");
        QQuickItem* badge = env.item("confidenceBadge");
        QCOMPARE(slider->property("from").toDouble(), 0.5);
        QCOMPARE(slider->property("to").toDouble(), 0.9);
        QCOMPARE(slider->property("stepSize").toDouble(), 0.05);
        QCOMPARE(slider->property("value").toDouble(), 0.7);
        QCOMPARE(Env::text(badge), QStringLiteral("Confidence 0.70"));
        QCOMPARE(Env::color(badge), SettingsController::coolTint());

        env.reveal(slider);
        slider->forceActiveFocus();
        QTest::keyClick(env.window, Qt::Key_Right);
        QCOMPARE(env.appState->confidenceThreshold(), 0.75);
        QCOMPARE(Env::text(env.item("confidenceValueLabel")), QStringLiteral("0.75"));
        QCOMPARE(Env::text(badge), QStringLiteral("Confidence 0.75"));

        // Stored values sit on the 0.05 grid, within the range; a change elsewhere shows in the badge.
        env.manager->controller()->setConfidenceFromSlider(0.6500000001);
        QCOMPARE(env.appState->confidenceThreshold(), 0.65);
        env.manager->controller()->setConfidenceFromSlider(0.99);
        QCOMPARE(env.appState->confidenceThreshold(), 0.9);
        QSettings reread(env.settings.fileName(), QSettings::IniFormat);
        QCOMPARE(reread.value(AppState::confidenceThresholdKey).toDouble(), 0.9);
        env.appState->setConfidenceThreshold(0.85);
        QCOMPARE(Env::text(badge), QStringLiteral("Confidence 0.85"));
    }

    void connectionTest() {
        const QString paddedKey = QStringLiteral("  ") + kKey + QStringLiteral(" \n");
        Env env(paddedKey);
        env.fakeGemini.replies.push_back(QStringLiteral("  OK \n"));
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QVERIFY(!env.item("apiTestResult")->isVisible());
        QVERIFY(env.clickTestAndWait());
        QCOMPARE(env.apiMessage(), QStringLiteral("Success: OK"));
        QCOMPARE(Env::color(env.item("apiTestResult")), SettingsController::successTint());

        QCOMPARE(env.fakeGemini.calls.size(), 1);
        const FakeGemini::Call& call = env.fakeGemini.calls.first();
        QCOMPARE(call.parts, QList<GeminiRequestPart>{
                                 GeminiRequestPart::fromText(QStringLiteral("Reply with exactly OK."))});
        QCOMPARE(call.apiKey, kKey);
        QCOMPARE(call.temperature, 0.0);
        QVERIFY(!call.responseMimeType);
        // The test changes no setting.
        QCOMPARE(env.appState->apiKey(), paddedKey);
        QVERIFY(!env.appState->isMonitoring());

        env.fakeGemini.replies.push_back(GeminiClientError::apiError(QStringLiteral("API key not valid.")));
        env.click(env.item("testConnectionButton"));
        QTRY_COMPARE_WITH_TIMEOUT(env.apiMessage(), QStringLiteral("API key not valid."), 5000);
        QCOMPARE(Env::color(env.item("apiTestResult")), SettingsController::secondaryTint());

        // Each show builds a fresh view: the last result does not linger.
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QVERIFY(!env.item("apiTestResult")->isVisible());
    }

    void testingStateWhileTheRequestRuns() {
        SlowGemini slow;
        Env env(kKey, &slow);
        slow.clock = &env.clock;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QQuickItem* button = env.item("testConnectionButton");
        env.click(button);
        QCOMPARE(Env::text(button), QStringLiteral("Testing..."));
        QVERIFY(!button->isEnabled());
        QVERIFY(!env.item("apiTestResult")->isVisible());
        // A second press while testing starts nothing.
        env.manager->controller()->testAPIKey();
        QCOMPARE(slow.calls, 1);

        env.clock.advance(slow.delaySeconds);
        QTRY_COMPARE_WITH_TIMEOUT(env.apiMessage(), QStringLiteral("Success: OK"), 5000);
        QCOMPARE(Env::text(button), QStringLiteral("Test Connection"));
        QVERIFY(button->isEnabled());
    }

    // Over real HTTP: a success, an error page quoting the request (and so the key) back, a refused
    // connection.
    void connectionTestAgainstLoopbackServer() {
        auto run = [](const QString& base) {
            GeminiClient client{QUrl(base)};
            Env env(kKey, &client);
            if (!env.show(SettingsPresentationMode::Standard) || !env.clickTestAndWait())
                return std::pair(QStringLiteral("<no result>"), QColor());
            return std::pair(env.apiMessage(), Env::color(env.item("apiTestResult")));
        };
        LoopbackHttpServer server;
        QVERIFY(server.start());
        server.setResponse(LoopbackHttpServer::json(
            200, R"({"candidates":[{"content":{"parts":[{"text":"  OK \n"}],"role":"model"}}]})"));
        const QString base = server.baseUrl().toString();
        QCOMPARE(run(base), std::pair(QStringLiteral("Success: OK"), SettingsController::successTint()));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().first().method, QByteArray("POST"));
        QVERIFY(server.requests().first().path.contains(":generateContent"));
        QVERIFY(server.requests().first().body.contains("Reply with exactly OK."));

        // An error page that quotes the request, key and all, back at the caller.
        LoopbackHttpServer::Response quoting;
        quoting.status = 404;
        quoting.extraHeaders.append(LoopbackHttpServer::Header{"Content-Type", "text/plain"});
        quoting.body =
            "No such route: " + server.requests().first().path + '?' + server.requests().first().query;
        QVERIFY(quoting.body.contains("0123456789"));
        server.setResponse(quoting);
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const QString closedUrl = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
        closed.close();
        for (const QString& url : {base, closedUrl}) {
            const auto [message, tint] = run(url);
            QVERIFY2(!message.isEmpty() && !message.contains(QStringLiteral("0123456789")),
                     qPrintable(message));
            QCOMPARE(tint, SettingsController::secondaryTint());
        }
    }

    void permissionCards() {
        Env env;
        env.permissions.screenRecording = false;
        env.permissions.accessibility = false;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QQuickItem* screen = env.item("screenRecordingCard");
        QQuickItem* access = env.item("accessibilityCard");
        auto child = [](QQuickItem* card, const char* name) {
            return card->findChild<QQuickItem*>(QString::fromLatin1(name));
        };

        QCOMPARE(Env::text(child(screen, "permissionBadge")), QStringLiteral("Missing"));
        QCOMPARE(Env::color(child(screen, "permissionBadge")), SettingsController::brandTint());
        QCOMPARE(Env::color(screen), SettingsController::brandTint());
        QCOMPARE(Env::text(child(screen, "permissionButton")),
                 QStringLiteral("Open Screen Recording Settings"));
        QCOMPARE(Env::text(child(access, "permissionButton")), QStringLiteral("Grant Accessibility"));

        // The request does not grant it; the settings location is opened and the cards are read again.
        env.permissions.grantOnOpenSettings = true;
        env.click(child(screen, "permissionButton"));
        QCOMPARE(env.permissions.requestCalls, 1);
        QCOMPARE(env.permissions.openSettingsCalls, 1);
        QCOMPARE(Env::text(child(screen, "permissionBadge")), QStringLiteral("Granted"));
        QCOMPARE(Env::color(child(screen, "permissionBadge")), SettingsController::successTint());
        QCOMPARE(Env::color(screen), SettingsController::successTint());
        QVERIFY(!child(screen, "permissionButton")->isVisible());

        env.click(child(access, "permissionButton"));
        QCOMPARE(env.permissions.accessibilityRequests, 1);
        QCOMPARE(Env::text(child(access, "permissionBadge")), QStringLiteral("Missing"));

        // Granted elsewhere: shown after "Refresh Permissions".
        env.permissions.accessibility = true;
        QCOMPARE(Env::text(child(access, "permissionBadge")), QStringLiteral("Missing"));
        env.click(env.item("refreshPermissionsButton"));
        QCOMPARE(Env::text(child(access, "permissionBadge")), QStringLiteral("Granted"));
        QVERIFY(!child(access, "permissionButton")->isVisible());
    }

    void captureCountIsReadEveryFiveSeconds() {
        Env env;
        const QDateTime start = env.clock.now();
        env.monitoring.captureTimes = {start.addSecs(-2 * 3600), start.addSecs(-30 * 60),
                                       start.addSecs(-30 * 60), start.addSecs(-10 * 60)};
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QQuickItem* value = env.item("captureCountValue");
        QCOMPARE(Env::text(value), QStringLiteral("3"));
        QCOMPARE(env.monitoring.countQueries, QList<QDateTime>{start});

        env.monitoring.captureTimes.append(start.addSecs(1));
        env.clock.advance(4.9);
        QCOMPARE(Env::text(value), QStringLiteral("3"));
        env.clock.advance(0.1);
        QCOMPARE(Env::text(value), QStringLiteral("4"));

        // Half an hour on, the two older captures have left the hour.
        env.clock.advance(30 * 60);
        QCOMPARE(Env::text(value), QStringLiteral("2"));
        QCOMPARE(env.monitoring.countQueries.last(), start.addSecs(5 + 30 * 60));
    }

    void diagnostics() {
        const std::tuple<NudgePipelineState, const char*, QColor> rows[] = {
            {NudgePipelineState::MonitoringOff, "Monitoring is off", SettingsController::secondaryTint()},
            {NudgePipelineState::Paused, "Monitoring is paused", SettingsController::coolTint()},
            {NudgePipelineState::WaitingForActivity, "Waiting for activity",
             SettingsController::secondaryTint()},
            {NudgePipelineState::CollectingContext, "Collecting context", SettingsController::coolTint()},
            {NudgePipelineState::Analyzing, "Analyzing recent activity", SettingsController::coolTint()},
            {NudgePipelineState::NoOpportunity, "No opportunity found", SettingsController::secondaryTint()},
            {NudgePipelineState::NudgeVisible, "Nudge is ready", SettingsController::successTint()},
            {NudgePipelineState::Failed, "Analysis failed", SettingsController::brandTint()},
        };
        Env env;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        int second = 0;
        for (const auto& [state, title, tint] : rows) {
            const QString detail = QStringLiteral("Detail for %1.").arg(QString::fromLatin1(title));
            env.appState->setNudgeDiagnostics(NudgePipelineDiagnostics{
                state, detail, QDateTime(QDate(2026, 12, 4), QTime(23, 45, ++second), Qt::UTC)});
            QCOMPARE(Env::text(env.item("diagnosticsTitle")), QString::fromLatin1(title));
            QCOMPARE(Env::color(env.item("diagnosticsDot"), "color"), tint);
            QCOMPARE(Env::text(env.item("diagnosticsTime")),
                     QStringLiteral("11:45:%1 PM").arg(second, 2, 10, QLatin1Char('0')));
            QCOMPARE(Env::text(env.item("diagnosticsDetail")), detail);
        }
        const QDateTime at(QDate(2026, 12, 4), QTime(23, 45, 7), Qt::UTC);
        QCOMPARE(SettingsController::timeWithSeconds(at, QLocale(QLocale::German, QLocale::Germany)),
                 QStringLiteral("23:45:07"));
    }

    void commandsAppearWhenThereIsNoTray() {
        Env env;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QVERIFY(!env.item("commandBar")->isVisible());
        env.commands->setShowsInWindow(true);
        QVERIFY(env.item("commandBar")->isVisible());

        QQuickItem* monitoring = env.item("commandMonitoringButton");
        QQuickItem* pause = env.item("commandPauseButton");
        QQuickItem* resumeAt = env.item("commandResumeTimeLabel");
        QCOMPARE(Env::text(pause), QStringLiteral("Pause for 30 min"));
        QVERIFY(!pause->isEnabled());
        QVERIFY(!resumeAt->isVisible());
        QCOMPARE(Env::text(env.item("commandQuitButton")), QStringLiteral("Quit Norvane"));

        env.click(monitoring);
        QCOMPARE(env.monitoring.startCalls, 1);
        QCOMPARE(Env::text(monitoring), QStringLiteral("Monitoring: On"));
        env.click(pause);
        QVERIFY(env.appState->isPaused());
        QCOMPARE(Env::text(pause), QStringLiteral("Resume Monitoring"));
        QCOMPARE(Env::text(monitoring), QStringLiteral("Monitoring: Off"));
        QCOMPARE(Env::text(resumeAt), QStringLiteral("Resumes at 3:30 PM"));
        QVERIFY(resumeAt->isVisible());
        env.click(env.item("commandQuitButton"));
        QCOMPARE(env.quitCalls, 1);
    }

    void screenshots() {
        {
            Env env(QString{});
            QVERIFY(env.show(SettingsPresentationMode::Setup));
            QVERIFY(env.save(QStringLiteral("settings-setup.png")));
        }
        Env env;
        env.fakeGemini.replies.push_back(QStringLiteral("OK"));
        env.permissions.screenRecording = false;
        env.monitoring.captureTimes = {env.clock.now().addSecs(-60), env.clock.now().addSecs(-120)};
        env.appState->setIsMonitoring(true);
        env.appState->setNudgeDiagnostics(NudgePipelineState::CollectingContext,
                                          QStringLiteral("Collecting."));
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QVERIFY(env.clickTestAndWait());
        QVERIFY(env.save(QStringLiteral("settings-standard.png")));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestSettingsView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings_view.moc"
