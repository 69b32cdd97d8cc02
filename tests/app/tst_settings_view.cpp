// The settings window under a real X server: one window for both presentations, every text, the badges
// and their tints, the enabling rules, the slider bindings, the connection test (against fakes and a
// loopback HTTP server), the permission cards, the rolling capture count, the diagnostics and the
// commands shown when there is no tray. Saves PNGs of each presentation for review.
#include "LoopbackHttpServer.h"
#include "analysis/GeminiClient.h"
#include "app/SettingsWindowManager.h"
#include "app/ShellCommands.h"
#include "fakes/FakeMonitoringControl.h"
#include "fakes/Fakes.h"

#include <QApplication>
#include <QDir>
#include <QQuickItem>
#include <QQuickItemGrabResult>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

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
    static QString text(QQuickItem* item) {
        return item ? item->property("text").toString() : QStringLiteral("<none>");
    }
    static QColor color(QQuickItem* item, const char* property) {
        return item->property(property).value<QColor>();
    }

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

    // Renders the whole content, not just the visible 700 points, by letting the view grow for a moment.
    QImage grabWholeContent() const {
        QQuickItem* root = window->rootObject();
        QQuickItem* flickable = item("scrollArea");
        flickable->setProperty("contentY", 0);
        const double full =
            std::max(flickable->property("contentHeight").toDouble(), double(window->height()));
        root->setHeight(full);
        QImage image;
        QSharedPointer<QQuickItemGrabResult> grab = root->grabToImage();
        if (grab) {
            QObject::connect(grab.data(), &QQuickItemGrabResult::ready, [&] { image = grab->image(); });
            if (!QTest::qWaitFor([&] { return !image.isNull(); }, 5000))
                qWarning("The full render did not finish.");
        }
        root->setHeight(window->height());
        return image;
    }
};

QString screenshotPath(const QString& name) {
    QDir().mkpath(QStringLiteral(NORVANE_SCREENSHOT_DIR));
    return QStringLiteral(NORVANE_SCREENSHOT_DIR "/") + name;
}

} // namespace

class TestSettingsView : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Times show in the user's locale and time zone (the test runs with TZ=UTC).
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void oneWindowRetitledByTheLastShow() {
        Env env;
        QVERIFY(!env.manager->window());
        QVERIFY(env.show(SettingsPresentationMode::Setup));
        QQuickView* first = env.window;
        QCOMPARE(first->title(), QStringLiteral("Set Up Norvane"));
        QCOMPARE(Env::text(env.item("heroTitle")), QStringLiteral("Set Up Norvane"));

        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QCOMPARE(env.window, first);
        QCOMPARE(first->title(), QStringLiteral("Norvane Settings"));
        QCOMPARE(Env::text(env.item("heroTitle")), QStringLiteral("Norvane Settings"));

        QVERIFY(env.show(SettingsPresentationMode::Setup));
        QCOMPARE(env.window, first);
        QCOMPARE(first->title(), QStringLiteral("Set Up Norvane"));

        // Fixed 520 x 700, above normal windows, not resizable.
        QCOMPARE(first->size(), QSize(520, 700));
        QCOMPARE(first->minimumSize(), first->maximumSize());
        QVERIFY(first->flags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(first->flags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(first->flags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!first->flags().testFlag(Qt::WindowMaximizeButtonHint));

        // Closing hides the window; the next show brings the same one back.
        first->close();
        QTRY_VERIFY_WITH_TIMEOUT(!first->isVisible(), 5000);
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QCOMPARE(env.window, first);
        QVERIFY(first->isVisible());
    }

    void doneAndContinueCloseTheWindow() {
        Env env;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        env.click(env.item("footerButton"));
        QTRY_VERIFY_WITH_TIMEOUT(!env.window->isVisible(), 5000);
        QVERIFY(env.show(SettingsPresentationMode::Setup));
        env.click(env.item("footerButton"));
        QTRY_VERIFY_WITH_TIMEOUT(!env.window->isVisible(), 5000);
    }

    void presentation_data() {
        QTest::addColumn<SettingsPresentationMode>("mode");
        QTest::addColumn<QStringList>("sectionOrder");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("footerCaption");
        QTest::addColumn<QString>("footerButton");
        QTest::newRow("setup")
            << SettingsPresentationMode::Setup
            << QStringList{"geminiSection", "permissionsSection", "monitoringSection"} << "Set Up Norvane"
            << "Add your Gemini key, confirm permissions, and shape how aggressively Norvane "
               "watches for opportunities."
            << "wand.and.stars.inverse"
            << "Setup only needs to happen once."
            << "Continue";
        QTest::newRow("standard")
            << SettingsPresentationMode::Standard
            << QStringList{"monitoringSection", "geminiSection", "permissionsSection"} << "Norvane Settings"
            << "Tune capture behavior, permissions, and debugging tools with a cleaner view "
               "of what the app is doing locally."
            << "slider.horizontal.3"
            << "Changes save immediately."
            << "Done";
    }

    void presentation() {
        QFETCH(SettingsPresentationMode, mode);
        QFETCH(QStringList, sectionOrder);
        QFETCH(QString, title);
        QFETCH(QString, subtitle);
        QFETCH(QString, symbol);
        QFETCH(QString, footerCaption);
        QFETCH(QString, footerButton);
        Env env;
        QVERIFY(env.show(mode));
        QCOMPARE(Env::text(env.item("heroTitle")), title);
        QCOMPARE(Env::text(env.item("heroSubtitle")), subtitle);
        QCOMPARE(env.item("heroIcon")->property("symbol").toString(), symbol);
        QCOMPARE(Env::text(env.item("footerCaption")), footerCaption);
        QCOMPARE(Env::text(env.item("footerButton")), footerButton);

        // Header first, the sections in the presentation's order, the footer last.
        QQuickItem* column = env.item("contentColumn");
        auto top = [&](const char* name) {
            QQuickItem* found = env.item(name);
            return found ? found->mapToItem(column, QPointF(0, 0)).y() : -1.0;
        };
        double previous = top("heroHeader");
        QVERIFY(previous >= 0);
        for (const QString& name : sectionOrder) {
            const double y = top(name.toLatin1().constData());
            QVERIFY2(y > previous, qPrintable(name));
            previous = y;
        }
        QVERIFY(top("footer") > previous);
        QCOMPARE(env.item("contentColumn")->width(), 472.0); // 520 less 24 on each side
    }

    void sectionTexts_data() {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("child");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* section, const char* child, const char* expected) {
            QTest::addRow("%s/%s", section, child)
                << QByteArray(section) << QByteArray(child) << QString::fromUtf8(expected);
        };
        row("geminiSection", "sectionTitle", "Gemini");
        row("geminiSection", "sectionSubtitle",
            "Norvane talks directly to Gemini for opportunity detection and recommendations.");
        row("permissionsSection", "sectionTitle", "Permissions");
        row("permissionsSection", "sectionSubtitle",
            "Screen Recording is required. Accessibility makes the prompts more specific.");
        row("monitoringSection", "sectionTitle", "Monitoring");
        row("monitoringSection", "sectionSubtitle",
            "Adjust cadence, thresholds, and the amount of interruption tolerance.");
        row("geminiSection", "apiKeyCaption", "API key");
        row("geminiSection", "apiKeyPrivacyCaption",
            "Stored locally on this computer. Norvane does not send screenshots anywhere except the Gemini "
            "request "
            "you explicitly enabled by turning monitoring on.");
        row("geminiSection", "testConnectionButton", "Test Connection");
        row("screenRecordingCard", "permissionTitle", "Screen Recording");
        row("screenRecordingCard", "permissionDescription",
            "Required so Norvane can capture screenshots of the frontmost window.");
        row("accessibilityCard", "permissionTitle", "Accessibility");
        row("accessibilityCard", "permissionDescription",
            "Optional but recommended so Norvane can read the active window title more accurately.");
        row("permissionsSection", "refreshPermissionsButton", "Refresh Permissions");
        row("permissionsSection", "refreshPermissionsCaption",
            "Accessibility usually updates after Refresh. Screen Recording often needs a relaunch.");
        row("intervalCard", "intervalTitle", "Screenshot interval");
        row("intervalCard", "intervalValueLabel", "30 seconds");
        row("confidenceCard", "confidenceTitle", "Confidence threshold");
        row("confidenceCard", "confidenceValueLabel", "0.70");
        row("confidenceCard", "confidenceCaption",
            "Higher values mean fewer nudges, but more confidence that the interruption is worthwhile.");
        row("captureCountCard", "captureCountLabel", "Screenshots captured in last hour");
        row("captureCountCard", "captureCountCaption",
            "This is a rolling one-hour count of successful captures.");
        row("captureCountCard", "captureCountValue", "0");
        row("diagnosticsCard", "diagnosticsTitle", "Monitoring is off");
        row("diagnosticsCard", "diagnosticsDetail",
            "Turn monitoring on to start collecting screenshots for nudge analysis.");
    }

    void sectionTexts() {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, child);
        QFETCH(QString, expected);
        Env env;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QCOMPARE(Env::text(env.item(section.constData(), child.constData())), expected);
    }

    void sectionSymbols() {
        Env env;
        QVERIFY(env.show(SettingsPresentationMode::Setup));
        QCOMPARE(env.item("geminiSection", "sectionIcon")->property("symbol").toString(),
                 QStringLiteral("sparkles"));
        QCOMPARE(env.item("permissionsSection", "sectionIcon")->property("symbol").toString(),
                 QStringLiteral("hand.raised"));
        QCOMPARE(env.item("monitoringSection", "sectionIcon")->property("symbol").toString(),
                 QStringLiteral("waveform.path.ecg"));
        QCOMPARE(env.item("screenRecordingCard", "permissionIcon")->property("symbol").toString(),
                 QStringLiteral("record.circle"));
        QCOMPARE(env.item("accessibilityCard", "permissionIcon")->property("symbol").toString(),
                 QStringLiteral("figure.wave"));
    }

    void statusBadges_data() {
        QTest::addColumn<bool>("monitoring");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QColor>("tint");
        QTest::newRow("off") << false << false << "Monitoring Off" << SettingsController::secondaryTint();
        QTest::newRow("on") << true << false << "Monitoring On" << SettingsController::successTint();
        QTest::newRow("on and paused") << true << true << "Paused" << SettingsController::brandTint();
        QTest::newRow("off with a recorded pause")
            << false << true << "Paused" << SettingsController::brandTint();
    }

    void statusBadges() {
        QFETCH(bool, monitoring);
        QFETCH(bool, paused);
        QFETCH(QString, title);
        QFETCH(QColor, tint);
        Env env;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        // The badge follows the state while the window is open.
        env.appState->setIsMonitoring(monitoring);
        if (paused)
            env.appState->pauseFor(30);
        QQuickItem* badge = env.item("monitoringStatusBadge");
        QCOMPARE(Env::text(badge), title);
        QCOMPARE(Env::color(badge, "tint"), tint);

        QQuickItem* confidence = env.item("confidenceBadge");
        QCOMPARE(Env::text(confidence), QStringLiteral("Confidence 0.70"));
        QCOMPARE(Env::color(confidence, "tint"), SettingsController::coolTint());
        env.appState->setConfidenceThreshold(0.85);
        QCOMPARE(Env::text(confidence), QStringLiteral("Confidence 0.85"));
    }

    void enablingRules_data() {
        QTest::addColumn<SettingsPresentationMode>("mode");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("testEnabled");
        QTest::addColumn<bool>("footerEnabled");
        QTest::newRow("setup, no key") << SettingsPresentationMode::Setup << "" << false << false;
        QTest::newRow("setup, key of spaces") << SettingsPresentationMode::Setup << "   \n" << false << false;
        QTest::newRow("setup, key") << SettingsPresentationMode::Setup << " k " << true << true;
        QTest::newRow("standard, no key") << SettingsPresentationMode::Standard << "" << false << true;
        QTest::newRow("standard, key of spaces")
            << SettingsPresentationMode::Standard << "  " << false << true;
        QTest::newRow("standard, key") << SettingsPresentationMode::Standard << "k" << true << true;
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
        QVERIFY(!env.item("footerButton")->isEnabled());

        env.click(field);
        QTRY_VERIFY_WITH_TIMEOUT(field->hasActiveFocus(), 5000);
        QTest::keyClick(env.window, Qt::Key_A);
        QCOMPARE(env.appState->apiKey(), QStringLiteral("a"));
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
        QCOMPARE(slider->property("from").toDouble(), 0.0);
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
        QCOMPARE(Env::text(label), QStringLiteral("60 seconds"));
        clickAt(0.5);
        QCOMPARE(env.appState->screenshotInterval(), 30.0);
        QCOMPARE(slider->property("value").toDouble(), 1.0);
        QCOMPARE(stores.size(), 3);
        QSettings reread(env.settings.fileName(), QSettings::IniFormat);
        QCOMPARE(reread.value(AppState::screenshotIntervalKey).toDouble(), 30.0);

        // The slider reporting the position it already shows stores nothing.
        QVERIFY(QMetaObject::invokeMethod(slider, "moved"));
        env.manager->controller()->setScreenshotIntervalPosition(1.2);
        QCOMPARE(stores.size(), 3);
    }

    void intervalRounding_data() {
        QTest::addColumn<double>("position");
        QTest::addColumn<double>("stored");
        QTest::newRow("0") << 0.0 << 15.0;
        QTest::newRow("0.49") << 0.49 << 15.0;
        QTest::newRow("0.5 rounds away from zero") << 0.5 << 30.0;
        QTest::newRow("1.5 rounds away from zero") << 1.5 << 60.0;
        QTest::newRow("below the range") << -3.0 << 15.0;
        QTest::newRow("above the range") << 7.0 << 60.0;
    }

    void intervalRounding() {
        QFETCH(double, position);
        QFETCH(double, stored);
        Env env;
        env.appState->setScreenshotInterval(45);
        SettingsController controller(SettingsPresentationMode::Standard, env.appState.get(), nullptr,
                                      nullptr, nullptr, nullptr, &env.clock);
        controller.setScreenshotIntervalPosition(position);
        QCOMPARE(env.appState->screenshotInterval(), stored);
    }

    void confidenceSlider() {
        Env env;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        env.window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(env.window));
        QQuickItem* slider = env.item("confidenceSlider");
        QCOMPARE(slider->property("from").toDouble(), 0.5);
        QCOMPARE(slider->property("to").toDouble(), 0.9);
        QCOMPARE(slider->property("stepSize").toDouble(), 0.05);
        QCOMPARE(slider->property("value").toDouble(), 0.7);

        env.reveal(slider);
        slider->forceActiveFocus();
        QTest::keyClick(env.window, Qt::Key_Right);
        QCOMPARE(env.appState->confidenceThreshold(), 0.75);
        QCOMPARE(Env::text(env.item("confidenceValueLabel")), QStringLiteral("0.75"));
        QCOMPARE(Env::text(env.item("confidenceBadge")), QStringLiteral("Confidence 0.75"));
        for (int i = 0; i < 12; ++i)
            QTest::keyClick(env.window, Qt::Key_Right);
        QCOMPARE(env.appState->confidenceThreshold(), 0.9);
        QCOMPARE(Env::text(env.item("confidenceValueLabel")), QStringLiteral("0.90"));
        for (int i = 0; i < 12; ++i)
            QTest::keyClick(env.window, Qt::Key_Left);
        QCOMPARE(env.appState->confidenceThreshold(), 0.5);
        QCOMPARE(Env::text(env.item("confidenceValueLabel")), QStringLiteral("0.50"));

        // Stored values sit on the 0.05 grid.
        QSettings reread(env.settings.fileName(), QSettings::IniFormat);
        QCOMPARE(reread.value(AppState::confidenceThresholdKey).toDouble(), 0.5);
        env.manager->controller()->setConfidenceFromSlider(0.6500000001);
        QCOMPARE(env.appState->confidenceThreshold(), 0.65);
        env.manager->controller()->setConfidenceFromSlider(0.99);
        QCOMPARE(env.appState->confidenceThreshold(), 0.9);
    }

    void connectionTestSucceeds() {
        Env env(QStringLiteral("  ") + kKey + QStringLiteral(" \n"));
        env.fakeGemini.replies.push_back(QStringLiteral("  OK \n"));
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QVERIFY(!env.item("apiTestResult")->isVisible());
        env.click(env.item("testConnectionButton"));

        QTRY_COMPARE_WITH_TIMEOUT(Env::text(env.item("apiTestMessage")), QStringLiteral("Success: OK"), 5000);
        QVERIFY(env.item("apiTestResult")->isVisible());
        QCOMPARE(Env::color(env.item("apiTestResult"), "tint"), SettingsController::successTint());
        QCOMPARE(Env::text(env.item("testConnectionButton")), QStringLiteral("Test Connection"));
        QVERIFY(env.item("testConnectionButton")->isEnabled());

        QCOMPARE(env.fakeGemini.calls.size(), 1);
        const FakeGemini::Call& call = env.fakeGemini.calls.first();
        QCOMPARE(call.parts, QList<GeminiRequestPart>{
                                 GeminiRequestPart::fromText(QStringLiteral("Reply with exactly OK."))});
        QCOMPARE(call.apiKey, kKey);
        QCOMPARE(call.temperature, 0.0);
        QVERIFY(!call.responseMimeType);
        // The test changes no setting.
        QCOMPARE(env.appState->apiKey(), QStringLiteral("  ") + kKey + QStringLiteral(" \n"));
        QVERIFY(!env.appState->isMonitoring());
    }

    void connectionTestFailureShowsTheDescription() {
        Env env;
        env.fakeGemini.replies.push_back(GeminiClientError::apiError(QStringLiteral("API key not valid.")));
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        env.click(env.item("testConnectionButton"));
        QTRY_COMPARE_WITH_TIMEOUT(Env::text(env.item("apiTestMessage")), QStringLiteral("API key not valid."),
                                  5000);
        QCOMPARE(Env::color(env.item("apiTestResult"), "tint"), SettingsController::secondaryTint());

        env.fakeGemini.replies.push_back(GeminiClientError::emptyResponse());
        env.click(env.item("testConnectionButton"));
        QTRY_COMPARE_WITH_TIMEOUT(Env::text(env.item("apiTestMessage")),
                                  QStringLiteral("Gemini returned an empty response."), 5000);
    }

    void testingStateWhileTheRequestRuns() {
        SlowGemini slow;
        Env env(kKey, &slow);
        slow.clock = &env.clock;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QQuickItem* button = env.item("testConnectionButton");
        env.click(button);
        QCOMPARE(slow.calls, 1);
        QCOMPARE(Env::text(button), QStringLiteral("Testing..."));
        QVERIFY(!button->isEnabled());
        QVERIFY(!env.item("apiTestResult")->isVisible());
        // A second press while testing starts nothing.
        env.manager->controller()->testAPIKey();
        QCOMPARE(slow.calls, 1);

        env.clock.advance(slow.delaySeconds);
        QTRY_COMPARE_WITH_TIMEOUT(Env::text(env.item("apiTestMessage")), QStringLiteral("Success: OK"), 5000);
        QCOMPARE(Env::text(button), QStringLiteral("Test Connection"));
        QVERIFY(button->isEnabled());
    }

    // Each show builds a fresh view: the last result does not linger.
    void viewStateStartsEmptyOnEveryShow() {
        Env env;
        env.fakeGemini.replies.push_back(QStringLiteral("OK"));
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        env.click(env.item("testConnectionButton"));
        QTRY_VERIFY_WITH_TIMEOUT(env.item("apiTestResult")->isVisible(), 5000);
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QVERIFY(!env.item("apiTestResult")->isVisible());
    }

    void connectionTestAgainstLoopbackServer() {
        LoopbackHttpServer server;
        server.body = R"({"candidates":[{"content":{"parts":[{"text":"  OK \n"}],"role":"model"}}]})";
        GeminiClient client{QUrl(server.baseUrl())};
        Env env(kKey, &client);
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        env.click(env.item("testConnectionButton"));
        QTRY_COMPARE_WITH_TIMEOUT(Env::text(env.item("apiTestMessage")), QStringLiteral("Success: OK"),
                                  10000);
        QCOMPARE(Env::color(env.item("apiTestResult"), "tint"), SettingsController::successTint());
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(server.requests.first().method, QByteArray("POST"));
        QVERIFY(server.requests.first().target.contains(":generateContent"));
        QVERIFY(server.requests.first().body.contains("Reply with exactly OK."));
    }

    void connectionErrorsNeverShowTheKey_data() {
        QTest::addColumn<bool>("closedPort");
        QTest::addColumn<int>("status");
        QTest::newRow("closed port") << true << 0;
        QTest::newRow("error page quoting the request") << false << 404;
        QTest::newRow("server error quoting the request") << false << 502;
    }

    void connectionErrorsNeverShowTheKey() {
        QFETCH(bool, closedPort);
        QFETCH(int, status);
        LoopbackHttpServer server;
        server.status = status;
        server.contentType = "text/plain";
        server.body = "No such route: ";
        server.echoTargetInBody = true;
        QString base = server.baseUrl();
        if (closedPort) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            base = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
            probe.close();
        }
        GeminiClient client{QUrl(base)};
        Env env(kKey, &client);
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        env.click(env.item("testConnectionButton"));
        QTRY_VERIFY_WITH_TIMEOUT(env.item("apiTestResult")->isVisible(), 10000);
        const QString message = Env::text(env.item("apiTestMessage"));
        QVERIFY(!message.isEmpty());
        QVERIFY(!message.startsWith(QStringLiteral("Success")));
        QVERIFY2(!message.contains(kKey), qPrintable(message));
        QVERIFY2(!message.contains(QStringLiteral("0123456789")), qPrintable(message));
        QCOMPARE(Env::color(env.item("apiTestResult"), "tint"), SettingsController::secondaryTint());
    }

    void permissionCards() {
        Env env;
        env.permissions.screenRecording = false;
        env.permissions.accessibility = false;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        QQuickItem* screen = env.item("screenRecordingCard");
        QQuickItem* access = env.item("accessibilityCard");
        auto badge = [](QQuickItem* card) {
            return card->findChild<QQuickItem*>(QStringLiteral("permissionBadge"));
        };
        auto button = [](QQuickItem* card) {
            return card->findChild<QQuickItem*>(QStringLiteral("permissionButton"));
        };

        QCOMPARE(Env::text(badge(screen)), QStringLiteral("Missing"));
        QCOMPARE(Env::color(badge(screen), "tint"), SettingsController::brandTint());
        QCOMPARE(Env::color(screen, "tint"), SettingsController::brandTint());
        QVERIFY(button(screen)->isVisible());
        QCOMPARE(Env::text(button(screen)), QStringLiteral("Open Screen Recording Settings"));
        QCOMPARE(Env::text(badge(access)), QStringLiteral("Missing"));
        QCOMPARE(Env::text(button(access)), QStringLiteral("Grant Accessibility"));

        // The request does not grant it; the settings location is opened and the cards are read again.
        env.permissions.grantOnOpenSettings = true;
        env.click(button(screen));
        QCOMPARE(env.permissions.requestCalls, 1);
        QCOMPARE(env.permissions.openSettingsCalls, 1);
        QCOMPARE(Env::text(badge(screen)), QStringLiteral("Granted"));
        QCOMPARE(Env::color(badge(screen), "tint"), SettingsController::successTint());
        QCOMPARE(Env::color(screen, "tint"), SettingsController::successTint());
        QVERIFY(!button(screen)->isVisible());

        env.click(button(access));
        QCOMPARE(env.permissions.accessibilityRequests, 1);
        QCOMPARE(Env::text(badge(access)), QStringLiteral("Missing"));

        // Granted elsewhere: shown after "Refresh Permissions".
        env.permissions.accessibility = true;
        QCOMPARE(Env::text(badge(access)), QStringLiteral("Missing"));
        env.click(env.item("refreshPermissionsButton"));
        QCOMPARE(Env::text(badge(access)), QStringLiteral("Granted"));
        QVERIFY(!button(access)->isVisible());
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
        QCOMPARE(env.monitoring.countQueries.last(), start.addSecs(5));

        // Half an hour on, the two older captures have left the hour.
        env.clock.advance(30 * 60);
        QCOMPARE(Env::text(value), QStringLiteral("2"));
        QCOMPARE(env.monitoring.countQueries.last(), start.addSecs(5 + 30 * 60));
    }

    void diagnostics_data() {
        QTest::addColumn<NudgePipelineState>("state");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QColor>("tint");
        QTest::newRow("monitoring-off") << NudgePipelineState::MonitoringOff << "Monitoring is off"
                                        << SettingsController::secondaryTint();
        QTest::newRow("paused") << NudgePipelineState::Paused << "Monitoring is paused"
                                << SettingsController::coolTint();
        QTest::newRow("waiting-for-activity")
            << NudgePipelineState::WaitingForActivity << "Waiting for activity"
            << SettingsController::secondaryTint();
        QTest::newRow("collecting-context") << NudgePipelineState::CollectingContext << "Collecting context"
                                            << SettingsController::coolTint();
        QTest::newRow("analyzing") << NudgePipelineState::Analyzing << "Analyzing recent activity"
                                   << SettingsController::coolTint();
        QTest::newRow("no-opportunity") << NudgePipelineState::NoOpportunity << "No opportunity found"
                                        << SettingsController::secondaryTint();
        QTest::newRow("nudge-visible")
            << NudgePipelineState::NudgeVisible << "Nudge is ready" << SettingsController::successTint();
        QTest::newRow("failed") << NudgePipelineState::Failed << "Analysis failed"
                                << SettingsController::brandTint();
    }

    void diagnostics() {
        QFETCH(NudgePipelineState, state);
        QFETCH(QString, title);
        QFETCH(QColor, tint);
        Env env;
        QVERIFY(env.show(SettingsPresentationMode::Standard));
        env.appState->setNudgeDiagnostics(
            NudgePipelineDiagnostics{state, QStringLiteral("Detail for this state."),
                                     QDateTime(QDate(2026, 12, 4), QTime(23, 45, 7), Qt::UTC)});
        QCOMPARE(Env::text(env.item("diagnosticsTitle")), title);
        QCOMPARE(Env::color(env.item("diagnosticsDot"), "color"), tint);
        QCOMPARE(Env::text(env.item("diagnosticsTime")), QStringLiteral("11:45:07 PM"));
        QCOMPARE(Env::text(env.item("diagnosticsDetail")), QStringLiteral("Detail for this state."));
        QCOMPARE(env.item("diagnosticsDot")->width(), 10.0);
    }

    void timeWithSecondsFollowsTheLocale() {
        const QDateTime at(QDate(2026, 12, 4), QTime(23, 45, 7), Qt::UTC);
        QCOMPARE(SettingsController::timeWithSeconds(at, QLocale(QLocale::English, QLocale::UnitedStates)),
                 QStringLiteral("11:45:07 PM"));
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
        QCOMPARE(Env::text(monitoring), QStringLiteral("Monitoring: Off"));
        QCOMPARE(Env::text(pause), QStringLiteral("Pause for 30 min"));
        QVERIFY(!pause->isEnabled());
        QVERIFY(!resumeAt->isVisible());
        QCOMPARE(Env::text(env.item("commandQuitButton")), QStringLiteral("Quit Norvane"));

        env.click(monitoring);
        QCOMPARE(env.monitoring.startCalls, 1);
        QCOMPARE(Env::text(monitoring), QStringLiteral("Monitoring: On"));
        QVERIFY(pause->isEnabled());

        env.click(pause);
        QVERIFY(env.appState->isPaused());
        QCOMPARE(Env::text(pause), QStringLiteral("Resume Monitoring"));
        QCOMPARE(Env::text(monitoring), QStringLiteral("Monitoring: Off"));
        QVERIFY(resumeAt->isVisible());
        QCOMPARE(Env::text(resumeAt), QStringLiteral("Resumes at 3:30 PM"));

        env.click(pause);
        QVERIFY(!env.appState->isPaused());

        env.click(env.item("commandQuitButton"));
        QCOMPARE(env.quitCalls, 1);
    }

    void screenshots() {
        {
            Env env(QString{});
            env.permissions.accessibility = true;
            env.permissions.screenRecording = true;
            QVERIFY(env.show(SettingsPresentationMode::Setup));
            QVERIFY(env.window->grabWindow().save(screenshotPath(QStringLiteral("settings-setup.png"))));
            QVERIFY(env.grabWholeContent().save(screenshotPath(QStringLiteral("settings-setup-full.png"))));
        }
        {
            Env env;
            env.fakeGemini.replies.push_back(QStringLiteral("OK"));
            env.permissions.screenRecording = false;
            env.monitoring.captureTimes = {env.clock.now().addSecs(-60), env.clock.now().addSecs(-120)};
            env.appState->setIsMonitoring(true);
            env.appState->setScreenshotInterval(15);
            env.appState->setNudgeDiagnostics(
                NudgePipelineState::CollectingContext,
                QStringLiteral("Norvane has 2 of the 3 screenshots it needs from this "
                               "burst of activity."));
            QVERIFY(env.show(SettingsPresentationMode::Standard));
            env.click(env.item("testConnectionButton"));
            QTRY_VERIFY_WITH_TIMEOUT(env.item("apiTestResult")->isVisible(), 5000);
            env.item("scrollArea")->setProperty("contentY", 0);
            QVERIFY(env.window->grabWindow().save(screenshotPath(QStringLiteral("settings-standard.png"))));
            QVERIFY(
                env.grabWholeContent().save(screenshotPath(QStringLiteral("settings-standard-full.png"))));
        }
        {
            Env env;
            env.appState->setIsMonitoring(true);
            env.appState->pauseFor(30);
            env.commands->setShowsInWindow(true);
            env.fakeGemini.replies.push_back(GeminiClientError::apiError(
                QStringLiteral("Gemini rejected the API key. Check the key and try again.")));
            QVERIFY(env.show(SettingsPresentationMode::Standard));
            QVERIFY(env.window->grabWindow().save(screenshotPath(QStringLiteral("settings-no-tray.png"))));
            env.click(env.item("testConnectionButton"));
            QTRY_VERIFY_WITH_TIMEOUT(env.item("apiTestResult")->isVisible(), 5000);
            QVERIFY(env.grabWholeContent().save(screenshotPath(QStringLiteral("settings-no-tray-full.png"))));
        }
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestSettingsView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings_view.moc"
