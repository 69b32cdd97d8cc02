// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// The application shell and its settings window under a real X server. The shell: the start-up decision,
// the tray menu and icon, the no-tray fallback, the second-launch hand-over over a per-user local socket.
// The window: both presentations and every text they show, the controls and what they store, the
// connection test against a loopback HTTP server, the permission cards, the diagnostics, and the menu's
// commands shown when there is no tray. Saves a PNG of each presentation.
#include "analysis/GeminiClient.h"
#include "analysis/LoopbackHttpServer.h"
#include "app/AppDelegate.h"
#include "app/CaptureRetention.h"
#include "app/HistoryWindowManager.h"
#include "app/LoginStartup.h"
#include "app/SettingsWindowManager.h"
#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "app/TrayFallback.h"
#include "app/TrayMenu.h"
#include "capture/ScreenshotDiskStore.h"
#include "capture/SentRequestLog.h"
#include "fakes/Fakes.h"
#include "nudge/NudgePanelController.h"

#include <cmath>

#include <QApplication>
#include <QDir>
#include <QLocalSocket>
#include <QQuickItem>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QtQuickTest/quicktest.h>

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Norvane_SettingsPlugin)

using namespace norvane;
using namespace norvane::testing;
using namespace Qt::StringLiterals;
using Mode = SettingsPresentationMode;
using Shows = QList<Mode>;

namespace {

const QString kKey = u"AIzaSyTEST-secret-0123456789"_s;

// Every item below `root`, depth first (items a Repeater makes are found this way, not by objectName).
QList<QQuickItem*> allItems(QQuickItem* root) {
    QList<QQuickItem*> found{root};
    for (QQuickItem* child : root->childItems())
        found += allItems(child);
    return found;
}

// `top` painted over the opaque `bottom`.
QColor over(const QColor& top, const QColor& bottom) {
    const double a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + bottom.redF() * (1 - a),
                            top.greenF() * a + bottom.greenF() * (1 - a),
                            top.blueF() * a + bottom.blueF() * (1 - a));
}

// The WCAG contrast ratio of `text` (painted over `background`) against `background`.
double contrast(const QColor& text, const QColor& background) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double lt = luminance(over(text, background)), lb = luminance(background);
    return (std::max(lt, lb) + 0.05) / (std::min(lt, lb) + 0.05);
}

// Records the limits of each prune and answers at once.
struct CountingHousekeeping : CaptureHousekeeping {
    QList<std::pair<qint64, quint64>> prunes;
    QCoro::Task<CaptureFolderSummary> pruneCaptures(QDateTime, qint64 maxAge, quint64 maxBytes) override {
        prunes.append({maxAge, maxBytes});
        co_return CaptureFolderSummary{};
    }
    QCoro::Task<CaptureFolderSummary> deleteAllCaptures(bool) override { co_return CaptureFolderSummary{}; }
    QCoro::Task<CaptureFolderSummary> summarizeCaptures() override { co_return CaptureFolderSummary{}; }
};

struct Env {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(u"settings.ini"_s), QSettings::IniFormat};
    ManualClock clock;
    std::unique_ptr<AppState> appState;
    FakeMonitoringControl monitoring;
    FakeGemini fakeGemini;
    FakePermissions permissions;
    FakeSettingsWindow fakeWindow; // counts what the shell asks to show
    int quitCalls = 0;
    std::unique_ptr<ShellCommands> commands; // outlives the window that shows its entries
    std::unique_ptr<SettingsWindowManager> manager;
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

    SettingsController* controller() const { return manager->controller(); }
    bool show(Mode mode, bool active = false) {
        manager->show(mode);
        window = manager->window();
        if (active)
            window->requestActivate();
        return QTest::qWaitForWindowExposed(window) && (!active || QTest::qWaitForWindowActive(window));
    }

    // "name" or "parent/name", then ".property" when it is not the text.
    QQuickItem* item(const QString& path) const {
        QQuickItem* found = window->rootObject();
        for (const QString& name : path.section(u'.', 0, 0).split(u'/')) {
            if (!found)
                return nullptr;
            QQuickItem* child = found->findChild<QQuickItem*>(name);
            if (!child) { // items a Repeater made are only in the visual tree
                const QList<QQuickItem*> within = allItems(found);
                const auto it = std::find_if(within.begin() + 1, within.end(),
                                             [&](QQuickItem* each) { return each->objectName() == name; });
                child = it != within.end() ? *it : nullptr;
            }
            found = child;
        }
        return found;
    }
    QString text(const QString& path) const {
        const QString property = path.contains(u'.') ? path.section(u'.', 1) : u"text"_s;
        return item(path) ? item(path)->property(qPrintable(property)).toString() : u"<none>"_s;
    }
    // One "path=text" a line.
    void expectTexts(const QString& table) const {
        for (const QString& row : table.split(u'\n', Qt::SkipEmptyParts)) {
            const QString path = row.section(u'=', 0, 0);
            QVERIFY2(text(path) == row.section(u'=', 1), qPrintable(row + u" / "_s + text(path)));
        }
    }
    // Scrolls the item into view and clicks it where a user would.
    void click(const QString& path) const {
        QVERIFY(QQuickTest::qWaitForPolish(window)); // rows a model change rebuilt are placed first
        QQuickItem* target = item(path);
        QQuickItem* flickable = item("scrollArea");
        const double top = target->mapToItem(flickable->property("contentItem").value<QQuickItem*>(), {}).y();
        const double maxY = flickable->property("contentHeight").toDouble() - flickable->height();
        flickable->setProperty("contentY", std::clamp(top - 60, 0.0, std::max(0.0, maxY)));
        QTest::mouseClick(window, Qt::LeftButton, {},
                          target->mapToScene({target->width() / 2, target->height() / 2}).toPoint());
    }
    // A picture of the window scrolled to the top, or to the item named.
    void save(const QString& name, const QString& at = {}) const {
        QDir().mkpath(QStringLiteral(NORVANE_SCREENSHOT_DIR));
        QQuickItem* flickable = item("scrollArea");
        flickable->setProperty(
            "contentY",
            at.isEmpty()
                ? 0.0
                : item(at)->mapToItem(flickable->property("contentItem").value<QQuickItem*>(), {}).y());
        QVERIFY(window->grabWindow().save(QStringLiteral(NORVANE_SCREENSHOT_DIR "/") + name));
    }
};

} // namespace

class TestApp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // Times show in the user's locale and time zone (the test runs with TZ=UTC).
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // The decision and the delegate that acts on it agree, row for row; nothing else starts at launch. A
    // second launch handed over to the running copy opens the settings: setup while there is no key.
    void startupDecision() {
        const Shows setup{Mode::Setup}, standard{Mode::Standard}, none;
        for (const auto& [key, arguments, expected] :
             {std::tuple(u""_s, u"norvane"_s, setup),
              {u""_s, u"norvane --open-settings"_s, setup},
              {u" \n\t \r\n"_s, u"norvane"_s, setup},
              {u"k"_s, u"norvane"_s, none},
              {u" k \n"_s, u"norvane -v --open-settings x"_s, standard},
              {u"k"_s, u"norvane --open-settings=1"_s, none}}) {
            const QStringList args = arguments.split(u' ');
            Env env(key);
            AppDelegate(env.appState.get(), &env.monitoring, &env.fakeWindow)
                .applicationDidFinishLaunching(args);
            QCOMPARE(env.fakeWindow.shows, expected);
            QCOMPARE(env.monitoring.startCalls, 0);
            env.fakeWindow.shows.clear();
            AppDelegate(env.appState.get(), &env.monitoring, &env.fakeWindow).secondLaunch(args);
            QCOMPARE(env.fakeWindow.shows, Shows{expected.value(0, Mode::Standard)});
        }
    }

    // Titles, enabled states and the icon follow the state, and the entries do what they say: Pause is
    // for 30 minutes and ends by hand; "Monitoring" stops a paused session although it reads "Off";
    // Settings opens the standard window; Quit waits for the menu to close. No entry has a shortcut.
    void trayMenu() {
        Env env;
        TrayIcon tray(env.commands.get());
        TrayMenu* menu = tray.trayMenu();
        const auto expect = [&](const char* entries, const char* icon) {
            QStringList shown;
            for (QAction* action : menu->menu()->actions()) {
                QVERIFY(action->shortcut().isEmpty());
                if (action->isVisible())
                    shown << (action->isSeparator() ? u"-"_s
                                                    : action->text() + (action->isEnabled() ? "*" : ""));
            }
            QCOMPARE(
                shown.join(u" | "),
                entries +
                    u" | - | Exclude the current app | Settings\u2026* | History\u2026* | - | Quit Norvane*"_s);
            QCOMPARE(tray.currentIconName(), QLatin1String(icon));
        };
        expect("Monitoring: Off* | Pause for 30 min", "eye.slash");
        menu->monitoringAction()->trigger();
        expect("Monitoring: On* | Pause for 30 min*", "eye");
        menu->pauseAction()->trigger(); // 15:00 UTC plus 30 minutes
        expect("Monitoring: Off* | Resume Monitoring* | Resumes at 3:30 PM", "eye.slash");
        menu->pauseAction()->trigger();
        QVERIFY(!env.appState->isPaused());
        menu->pauseAction()->trigger();
        menu->monitoringAction()->trigger();
        QCOMPARE(env.monitoring.stopCalls, 1);
        env.appState->pauseFor(30);
        expect("Monitoring: Off* | Resume Monitoring | Resumes at 3:30 PM", "eye.slash");
        menu->settingsAction()->trigger();
        QTRY_COMPARE(env.manager->window()->title(), u"Norvane Settings"_s);
        // "Exclude the current app" adds the application in front when the menu opened, once.
        std::optional<FrontmostWindowInfo> inFront = FrontmostWindowInfo{7, u"Gimp"_s, u"Untitled"_s};
        env.commands->setExclusionCandidate([&] { return inFront; });
        const auto offered = [&] {
            Q_EMIT menu->menu()->aboutToShow();
            return menu->excludeAction()->isEnabled();
        };
        QVERIFY(offered());
        menu->excludeAction()->trigger();
        QCOMPARE(env.appState->excludedApplications().last(), u"Gimp"_s);
        QVERIFY(!offered());
        *inFront = FrontmostWindowInfo{8, u"Norvane"_s, u"Settings"_s, true};
        QVERIFY(!offered());
        menu->quitAction()->trigger();
        QCOMPARE(env.quitCalls, 0); // it waits for the menu to close
        QTRY_COMPARE_WITH_TIMEOUT(env.quitCalls, 1, 2000);
    }

    // Three seconds after start, with still no tray, the window opens with the commands, once. A tray
    // showing up meanwhile is enough; a setup window already open keeps its presentation and gains them.
    void noTrayFallback() {
        for (const auto& [trayAppears, setupOpen, engaged, shows] :
             {std::tuple(false, false, true, 1), {true, false, false, 0}, {false, true, true, 0}}) {
            Env env;
            bool tray = false;
            TrayFallback fallback(
                &env.clock, [&] { return tray; }, env.commands.get(), &env.fakeWindow,
                [&] { return setupOpen; });
            fallback.start();
            env.clock.advance(1);
            tray = trayAppears;
            env.clock.advance(TrayFallback::waitSeconds - 1.1);
            QVERIFY(env.fakeWindow.shows.isEmpty() && !env.commands->showsInWindow());
            env.clock.advance(0.1);
            QCOMPARE(env.commands->showsInWindow(), engaged);
            env.clock.advance(60);
            QCOMPARE(env.fakeWindow.shows, Shows(shows, Mode::Standard));
        }
    }

    // Only the owner may use the socket; a socket file left by an instance that died is replaced; a second
    // server cannot take over; unreadable or oversized messages are dropped; arguments arrive intact.
    void secondLaunchHandOver() {
        QTemporaryDir dir;
        const QString name = dir.filePath(u"norvane.socket"_s);
        QVERIFY(QFile(name).open(QIODevice::WriteOnly));
        QVERIFY(!SingleInstance::handOver(name, {u"norvane"_s}, 500));
        SingleInstance running(name);
        QVERIFY(running.listen());
        QSignalSpy received(&running, &SingleInstance::argumentsReceived);
        QCOMPARE(QFile::permissions(name) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(!SingleInstance(name).listen());
        for (const QByteArray& message : {QByteArray("{\"not\": \"a list\"}\n"),
                                          QByteArray(SingleInstance::maxMessageBytes + 4096, 'a')}) {
            QLocalSocket sender;
            sender.connectToServer(name);
            QVERIFY(sender.waitForConnected(2000));
            sender.write(message);
            QTRY_COMPARE_WITH_TIMEOUT(sender.state(), QLocalSocket::UnconnectedState, 5000);
        }
        const QStringList arguments{u"norvane"_s, u"--open-settings"_s, u"caf\u00e9 \"quoted\"\n"_s};
        QVERIFY(SingleInstance::handOver(name, arguments, 2000));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
        QCOMPARE(received.first().first().toStringList(), arguments);
    }

    // One window for both presentations: each show retitles it and shows its own texts.
    // Every fixed text is checked here once, with the values the window starts from.
    void presentations() {
        Env env(QString{});
        QVERIFY(env.show(Mode::Setup));
        QQuickView* window = env.window;
        QCOMPARE(window->title(), u"Set Up Norvane"_s);
        env.expectTexts(uR"(heroTitle=Set Up Norvane
heroSubtitle=Add your Gemini key, confirm permissions, and shape how aggressively Norvane watches for opportunities.
footerCaption=Setup only needs to happen once.
footerButton=Continue)"_s);
        env.save("settings-setup.png");

        env.appState->setApiKey(kKey);
        QVERIFY(env.show(Mode::Standard));
        QCOMPARE(env.window, window);
        QCOMPARE(window->title(), u"Norvane Settings"_s);
        env.expectTexts(uR"(heroTitle=Norvane Settings
heroSubtitle=Tune capture behavior, permissions, and debugging tools with a cleaner view of what the app is doing locally.
footerCaption=Changes save immediately.
footerButton=Done
monitoringStatusBadge=Monitoring Off
geminiSection/sectionTitle=Gemini
geminiSection/sectionSubtitle=Norvane talks directly to Gemini for opportunity detection and recommendations.
permissionsSection/sectionTitle=Permissions
permissionsSection/sectionSubtitle=What this session lets Norvane see and do, and what it cannot.
monitoringSection/sectionTitle=Monitoring
monitoringSection/sectionSubtitle=Adjust cadence, thresholds, and the amount of interruption tolerance.
nudgesPerHourLabel=3 cards
nudgeGapMinutesLabel=10 minutes
nudgeBudgetCaption=When the budget is spent, Norvane sends nothing to Gemini until a card could appear again. It never shows a card over a full-screen window.
exclusionsSection/sectionTitle=Exclusions
exclusionsSection/sectionSubtitle=Norvane never captures, keeps or sends a window of these applications, or a window whose title contains one of these words.
apiKeyCaption=API key
apiKeyField.placeholderText=Gemini API key
apiKeyPrivacyCaption=Stored locally on this computer. Norvane does not send screenshots anywhere except the Gemini request you explicitly enabled by turning monitoring on.
testConnectionButton=Test Connection
refreshPermissionsButton=Refresh
refreshPermissionsCaption=Refresh reads again what this session offers.
intervalTitle=Screenshot interval
intervalValueLabel=30 seconds
confidenceTitle=Confidence threshold
confidenceValueLabel=0.70
confidenceBadge=Confidence 0.70
confidenceCaption=Higher values mean fewer nudges, but more confidence that the interruption is worthwhile.
captureCountLabel=Screenshots captured in last hour
captureCountCaption=This is a rolling one-hour count of successful captures.
diagnosticsDetail=Turn monitoring on to start collecting screenshots for nudge analysis.)"_s);
        // Without a tray the window shows the menu's commands, with the menu's titles.
        env.commands->setShowsInWindow(true);
        env.expectTexts(QStringList{u"commandMonitoringButton="_s + env.commands->monitoringTitle(),
                                    u"commandPauseButton="_s + env.commands->pauseTitle(),
                                    u"commandQuitButton="_s + ShellCommands::quitTitle}
                            .join(u'\n'));
        env.click("commandQuitButton");
        QCOMPARE(env.quitCalls, 1);
        // Done closes it.
        env.click("footerButton");
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 5000);
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
            env.controller()->testAPIKey();
            QCOMPARE(env.fakeGemini.calls.size(), canTest ? 1 : 0);
        }
    }

    // Typed keys go straight into the key, hidden in the field; something far longer than a key is not
    // saved, and the window says why. A stored interval off the three choices sits in the middle with its
    // own label; one key step of confidence is 0.05.
    void controls() {
        Env env(QString{});
        env.appState->setScreenshotInterval(45);
        QVERIFY(env.show(Mode::Setup, true));
        env.item("apiKeyField")->forceActiveFocus();
        for (const char key : {'a', ' ', 'b'})
            QTest::keyClick(env.window, key);
        QCOMPARE(env.appState->apiKey(), u"a b"_s);
        QVERIFY(env.text("apiKeyField.displayText") != u"a b"_s);
        env.controller()->setApiKey(QString(513, u'k'));
        QCOMPARE(env.appState->apiKey(), u"a b"_s);
        QCOMPARE(env.text("apiKeyProblem"),
                 u"This is longer than an API key can be (512 characters), so it was "
                 u"not saved. Paste the key alone."_s);
        QCOMPARE(env.item("intervalSlider")->property("value").toDouble(), 1.0);
        QCOMPARE(env.text("intervalValueLabel"), u"45 seconds"_s);
        env.item("confidenceSlider")->forceActiveFocus();
        QTest::keyClick(env.window, Qt::Key_Right);
        QCOMPARE(env.text("confidenceBadge"), u"Confidence 0.75"_s);
        env.item("nudgeGapMinutesSlider")->forceActiveFocus();
        QTest::keyClick(env.window, Qt::Key_Left);
        QCOMPARE(env.appState->nudgeGapMinutes(), 5);
        QCOMPARE(env.text("nudgeGapMinutesLabel"), u"5 minutes"_s);
    }

    // An exclusion typed into the window is added with Return, and its remove button takes out that one.
    void exclusionLists() {
        Env env;
        QVERIFY(env.show(Mode::Standard, true));
        env.item("excludedTitlesField")->forceActiveFocus();
        for (const char key : std::string_view("Payroll\r"))
            QTest::keyClick(env.window, key);
        const QStringList titles = CaptureExclusions::defaults().titlePatterns;
        QCOMPARE(env.appState->excludedTitlePatterns(), titles + QStringList{u"Payroll"_s});
        env.click(u"remove_InPrivate"_s);
        QCOMPARE(env.appState->excludedTitlePatterns(),
                 (QStringList{u"Private Browsing"_s, u"Incognito"_s, u"Payroll"_s}));
        env.save(u"settings-exclusions.png"_s, u"exclusionsSection"_s);
    }

    // The model menu: Ollama fills in its local address and a model, needs no key and never gets Gemini's;
    // plain HTTP to another computer is refused with a sentence and tests nothing; the window says where
    // screenshots go. Gemini's model is a free name; its default is stored as none.
    void modelChoice() {
        Env env;
        QVERIFY(env.show(Mode::Standard, true));
        const auto type = [&env](const char* field, const QString& text) {
            QQuickItem* item = env.item(QLatin1String(field));
            item->forceActiveFocus();
            QMetaObject::invokeMethod(item, "selectAll");
            for (const char key : text.toLatin1())
                QTest::keyClick(env.window, key);
        };
        env.click("preset1");
        QCOMPARE(env.appState->modelConnection(),
                 (ModelConnection{
                     ModelProvider::OpenAICompatible, QUrl(ModelConnection::ollamaBaseURL), u"llava"_s, {}}));
        QVERIFY(!env.item("apiKeyField")->isVisible() && env.item("baseURLField")->isVisible());
        env.expectTexts(uR"(geminiSection/sectionTitle=Model
apiKeyPrivacyCaption=Screenshots go only to the model server on this computer; nothing leaves it. The key, if the server needs one, is stored locally.)"_s);
        env.click("testConnectionButton");
        QTRY_COMPARE(env.fakeGemini.calls.size(), 1);
        QCOMPARE(env.fakeGemini.calls[0].connection.apiKey, QString());

        env.click("preset2");
        type("baseURLField", u"http://192.168.1.5:8000/v1"_s);
        QCOMPARE(
            env.text("apiKeyProblem"),
            u"Plain http:// is only allowed for a server on this computer (127.0.0.1, ::1 or localhost); "
            "any other server needs https://."_s);
        QVERIFY(!env.item("testConnectionButton")->isEnabled());
        type("baseURLField", u"https://models.example.org/v1"_s);
        type("openAIKeyField", u"sk-own"_s);
        QCOMPARE(
            env.text("apiKeyPrivacyCaption"),
            u"Screenshots go to models.example.org while monitoring is on: choose a server you trust with "
            "your screen. The key is stored locally on this computer."_s);
        env.save(u"settings-model.png"_s, u"geminiSection"_s);
        env.controller()->testAPIKey();
        QTRY_COMPARE(env.fakeGemini.calls.size(), 2);
        QCOMPARE(env.fakeGemini.calls[1].connection.apiKey, u"sk-own"_s);

        env.click("preset0");
        QCOMPARE(env.appState->modelConnection().apiKey, kKey);
        type("geminiModelField", u"gemini-2.5-pro"_s);
        QCOMPARE(env.appState->modelConnection().effectiveModel(), u"gemini-2.5-pro"_s);
        type("geminiModelField", ModelConnection::defaultGeminiModel);
        QCOMPARE(env.settings.value(AppState::geminiModelKey).toString(), QString());
    }

    // The permission cards show what the session offers, as plain text, and Refresh reads it again. Every
    // badge and button label reads at 4.5:1 on what lies behind it, on a light and on a dark page; a
    // disabled button is an empty outline, never a filled one.
    void permissionCardsAndColours() {
        Env env;
        env.permissions.capabilities = {{u"X display"_s, true, u"Sees the windows."_s},
                                        {u"Native Wayland windows"_s, false, u"<b>Log in to X11.</b>"_s}};
        QVERIFY(env.show(Mode::Standard));
        const auto cards = [&env] { // "title: badge, description", marked when the description is markup
            QStringList shown;
            for (QQuickItem* card : allItems(env.window->rootObject())) {
                const auto part = [card](const char* name) { return card->findChild<QQuickItem*>(name); };
                if (card->objectName() == u"capabilityCard"_s)
                    shown << QStringLiteral("%1: %2, %3%4")
                                 .arg(part("permissionTitle")->property("text").toString(),
                                      part("permissionBadge")->property("text").toString(),
                                      part("permissionDescription")->property("text").toString(),
                                      part("permissionDescription")->property("textFormat").toInt() ==
                                              Qt::PlainText
                                          ? ""
                                          : "!");
            }
            shown.sort();
            return shown;
        };
        QCOMPARE(cards(), (QStringList{u"Native Wayland windows: Missing, <b>Log in to X11.</b>"_s,
                                       u"X display: Available, Sees the windows."_s}));
        env.permissions.capabilities[1].available = true;
        env.click("refreshPermissionsButton");
        QTRY_COMPARE(cards().first(), u"Native Wayland windows: Available, <b>Log in to X11.</b>"_s);

        // Where the desktop asks what to share, a button asks it again and the cards are read afterwards.
        QVERIFY(!env.item("askForCaptureConsentButton")->isVisible());
        env.permissions.consentAskable = true;
        env.click("refreshPermissionsButton");
        QTRY_VERIFY(env.item("askForCaptureConsentButton")->isVisible());
        env.permissions.capabilities[0].available = false;
        env.click("askForCaptureConsentButton");
        QCOMPARE(env.permissions.consentRequests, 1);
        QTRY_COMPARE(cards().last(), u"X display: Missing, Sees the windows."_s);

        for (const auto& [keyed, dark] :
             {std::pair(true, false), {true, true}, {false, false}, {false, true}}) {
            if (!keyed) { // disabled buttons too
                env.appState->setApiKey(QString());
                QVERIFY(env.show(Mode::Setup));
            }
            QObject* theme = env.item("footerButton")->property("theme").value<QObject*>();
            theme->setProperty("dark", dark);
            const QColor page = theme->property("pageColor").value<QColor>();
            int checked = 0;
            for (QQuickItem* item : allItems(env.window->rootObject())) {
                const QByteArray type = item->isVisible() ? item->metaObject()->className() : "";
                QColor text, behind = page;
                if (type.startsWith("StatusBadge")) {
                    for (QQuickItem* part : allItems(item))
                        text = part->inherits("QQuickText") ? part->property("color").value<QColor>() : text;
                } else if (type.startsWith("TintedButton")) {
                    behind =
                        item->property("background").value<QQuickItem*>()->property("color").value<QColor>();
                    text =
                        item->property("contentItem").value<QQuickItem*>()->property("color").value<QColor>();
                    if (item->property("prominent").toBool())
                        QCOMPARE(behind.alpha() == 0, !item->isEnabled());
                    behind = over(behind, page);
                } else {
                    continue;
                }
                ++checked;
                QVERIFY2(contrast(text, behind) >= 4.5,
                         qPrintable(item->objectName() + u": "_s + text.name(QColor::HexArgb) + u" on "_s +
                                    behind.name(QColor::HexArgb)));
            }
            QVERIFY(checked >= 6);
        }
    }

    // Over real HTTP: the trimmed key with the fixed prompt at temperature 0, the button waiting for the
    // answer; then the service's error.
    void connectionTest() {
        LoopbackHttpServer server;
        QVERIFY(server.start());
        server.setResponse(
            LoopbackHttpServer::json(200, R"({"candidates":[{"content":{"parts":[{"text":"  OK \n"}]}}]})"));
        GeminiClient client{server.baseUrl()};
        Env env(u"  "_s + kKey + u" \n"_s, &client);
        QVERIFY(env.show(Mode::Standard));
        env.click("testConnectionButton");
        QCOMPARE(env.text("testConnectionButton"), u"Testing..."_s);
        QVERIFY(!env.item("testConnectionButton")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(env.text("apiTestMessage"), u"Success: OK"_s, 10000);
        QCOMPARE(env.text("testConnectionButton"), u"Test Connection"_s);
        QCOMPARE(server.requests()[0].query, "key=" + kKey.toUtf8());
        QVERIFY(server.requests()[0].body.contains("Reply with exactly OK."));
        QVERIFY(server.requests()[0].body.contains(R"("generationConfig":{"temperature":0})"));
        env.save("settings-standard.png");

        server.setResponse(LoopbackHttpServer::json(400, R"({"error":{"message":"API key not valid."}})"));
        env.click("testConnectionButton");
        QTRY_VERIFY_WITH_TIMEOUT(env.text("apiTestMessage").contains(u"API key not valid."), 10000);
    }

    // A prune at start; while monitoring, one an hour after the last; none while it is off; one at once
    // when a limit changes. A stored limit off the choices reads as the default.
    void captureRetentionSchedule() {
        Env env;
        env.settings.setValue(CaptureRetention::retentionDaysKey, u"week"_s);
        env.settings.setValue(CaptureRetention::sizeLimitKey, 5120);
        CountingHousekeeping store;
        CaptureRetention retention(
            env.appState.get(), &store, [&] { return &env.monitoring; }, &env.clock);
        retention.start();
        const auto counts = [&](qsizetype count) { return store.prunes.size() == count; };
        QCOMPARE(store.prunes.value(0), std::pair(qint64(7 * 86400), quint64(5120) << 20));
        env.clock.advance(7200);
        QVERIFY(counts(1));
        env.appState->setIsMonitoring(true); // the last prune is more than an hour old
        env.clock.advance(0);
        QVERIFY(counts(2));
        env.clock.advance(3599.9);
        QVERIFY(counts(2));
        env.clock.advance(0.1);
        QVERIFY(counts(3));
        env.clock.advance(3600);
        QVERIFY(counts(4));
        retention.setAgeChoice(3);
        QVERIFY(counts(5) && store.prunes.last().first == 0);
        QCOMPARE(env.settings.value(CaptureRetention::retentionDaysKey).toInt(), 0);
        env.appState->setIsMonitoring(false);
        env.clock.advance(7200);
        QVERIFY(counts(5));
    }

    // The captures section tells what is stored and deletes it all after a confirmation; with monitoring
    // off the buffer goes too, while monitoring runs it stays.
    void storedCaptures() {
        Env env;
        ScreenshotDiskStore store(env.dir.filePath(u"data"_s));
        CaptureRetention retention(
            env.appState.get(), &store, [&] { return &env.monitoring; }, &env.clock);
        env.manager->setCaptureRetentionProvider([&] { return &retention; });
        const auto storeFrames = [&] {
            QCoro::waitFor(
                store.persistCapture(makeScreenshot(u"Mail"_s, u"Inbox"_s, 1, QByteArray(1000, 'a'))));
            QCoro::waitFor(
                store.persistCapture(makeScreenshot(u"Mail"_s, u"Inbox"_s, 1, QByteArray(2000, 'b'))));
            QCoro::waitFor(store.syncBuffer({makeScreenshot()}));
        };
        const auto bufferFiles = [&] {
            return QDir(store.bufferDirectoryURL()).entryList(QDir::Files).size();
        };
        storeFrames();
        QVERIFY(env.show(Mode::Standard));
        QTRY_COMPARE(env.text("storedCapturesSummary"), u"2 captures are stored, taking 2.9 kB."_s);
        env.expectTexts(u"retentionValueLabel=7 days\nsizeLimitValueLabel=1 GB"_s);
        env.click("deleteCapturesButton");
        QTRY_VERIFY(env.item("confirmDeleteButton")->x() > 0); // laid out after Cancel
        QCOMPARE(env.text("deleteConfirmation"),
                 u"Delete every stored capture and the recent screenshots? This cannot be undone."_s);
        env.click("confirmDeleteButton");
        QTRY_COMPARE(env.text("storedCapturesSummary"), u"No captures are stored."_s);
        QCOMPARE(bufferFiles(), 1); // the empty index
        QCOMPARE(env.monitoring.discardCalls, 1);

        env.appState->setIsMonitoring(true);
        storeFrames();
        retention.deleteAll();
        QCOMPARE(QCoro::waitFor(store.summarizeCaptures()).count, 0); // queued behind the deletion
        QCOMPARE(bufferFiles(), 2);
        QCOMPARE(env.monitoring.discardCalls, 1);
        env.manager.reset(); // the window goes before what it shows
    }

    // The login box shows whether the autostart entry is there when the window opens; a click removes it.
    void loginStartupBox() {
        Env env;
        qputenv("XDG_CONFIG_HOME", env.dir.filePath(u"config"_s).toUtf8());
        const auto restore = qScopeGuard([] { qunsetenv("XDG_CONFIG_HOME"); });
        LoginStartup writer;
        writer.setEnabled(true);
        QTRY_VERIFY(QFile::exists(writer.entryPath()));
        QVERIFY(env.show(Mode::Standard));
        QTRY_VERIFY(env.item("loginStartupBox")->property("checked").toBool());
        env.save(u"settings-startup.png"_s, u"startupSection"_s);
        env.click("loginStartupBox");
        QTRY_VERIFY(!QFile::exists(writer.entryPath()));
        QVERIFY(!env.item("loginStartupBox")->property("checked").toBool());
        env.manager.reset();
    }

    // What the window reports follows the state while it is open: the monitoring badge (a pause counts even
    // with monitoring off), the captures of the last hour read every five seconds, and the diagnostics with
    // each state's title and the time in the user's locale. Texts from the model service and
    // servers are shown as written, never read as markup.
    void liveStatus() {
        Env env;
        const QDateTime start = env.clock.now();
        env.monitoring.captureTimes = {start.addSecs(-7200), start.addSecs(-1800), start.addSecs(-600)};
        QVERIFY(env.show(Mode::Standard));
        env.appState->setIsMonitoring(true);
        QCOMPARE(env.text("monitoringStatusBadge"), u"Monitoring On"_s);
        env.appState->pauseFor(30);
        env.appState->setIsMonitoring(false);
        QCOMPARE(env.text("monitoringStatusBadge"), u"Paused"_s);

        QCOMPARE(env.text("captureCountValue"), u"2"_s);
        env.monitoring.captureTimes.append(start.addSecs(1));
        env.clock.advance(4.9);
        QCOMPARE(env.text("captureCountValue"), u"2"_s);
        env.clock.advance(0.1);
        QCOMPARE(env.text("captureCountValue"), u"3"_s);

        // One title a state, in the order the states are declared.
        const QStringList titles = uR"(Monitoring is off
Monitoring is paused
Waiting for activity
Collecting context
Analyzing recent activity
No opportunity found
Nudge is ready
Analysis failed)"_s.split(u'\n');
        for (int state = 0; state < titles.size(); ++state) {
            env.appState->setNudgeDiagnostics({NudgePipelineState(state), u"<b>Detail.</b>"_s,
                                               QDateTime({2026, 12, 4}, {23, 45, 7}, Qt::UTC)});
            QCOMPARE(env.text("diagnosticsTitle"), titles[state]);
        }
        env.expectTexts(u"diagnosticsTime=11:45:07 PM\ndiagnosticsDetail=<b>Detail.</b>"_s);
        for (const char* name : {"diagnosticsDetail", "diagnosticsTitle", "apiTestMessage"})
            QCOMPARE(env.item(name)->property("textFormat").toInt(), int(Qt::PlainText));
    }

    // The history window lists the record newest first, reading a page at a time as asked; a frame whose
    // capture is gone shows the placeholder. Saves a PNG.
    void historyWindow() {
        struct : PasteboardProviding {
            QStringList copied;
            void copyString(const QString& text) override { copied << text; }
        } pasteboard;
        QTemporaryDir dir;
        SentRequestLog log(dir.filePath(u"sent.jsonl"_s), nullptr, dir.path());
        for (int i = 0; i < 120; ++i) {
            const bool odd = i % 2;
            const SentRequest entry{
                QDateTime(QDate(2026, 12, 4), QTime(9, 0)).addSecs(60 * i),
                odd ? SentRequestKind::recommendation : SentRequestKind::analysis,
                {{u"Sheets"_s, u"Budget"_s, u"%1.jpg"_s.arg(i)}, {u"Mail"_s, u"Inbox"_s, u"gone.jpg"_s}},
                u"Outcome %1."_s.arg(i),
                odd ? std::optional(u"Prompt %1."_s.arg(i)) : std::nullopt};
            QVERIFY(QCoro::waitFor(log.append(entry)));
        }
        QImage frame(320, 200, QImage::Format_RGB32);
        frame.fill(Qt::darkCyan);
        QVERIFY(frame.save(dir.filePath(u"119.jpg"_s)));
        HistoryModel model(&log, dir.path(), &pasteboard);
        model.reload();
        for (const int rows : {50, 100, 120}) {
            QTRY_COMPARE(model.rowCount(), rows);
            model.fetchMore({});
        }
        QVERIFY(!model.canFetchMore({}));
        const auto at = [&](int row, int role) { return model.data(model.index(row), role); };
        QCOMPARE(at(0, HistoryModel::OutcomeRole).toString() + at(119, HistoryModel::OutcomeRole).toString(),
                 u"Outcome 119.Outcome 0."_s);
        QCOMPARE(at(0, HistoryModel::KindRole), SentRequestKind::recommendation);
        QCOMPARE(at(0, HistoryModel::FramesRole).toList().value(0).toMap().value(u"thumbnail"_s).toUrl(),
                 QUrl::fromLocalFile(dir.filePath(u"119.jpg"_s)));
        for (const int row : {1, 2})
            model.copyPrompt(row);
        QCOMPARE(pasteboard.copied, QStringList{u"Prompt 117."_s});

        HistoryWindowManager manager(&log, dir.path(), &pasteboard);
        manager.show();
        QVERIFY(QTest::qWaitForWindowExposed(manager.window()));
        QCOMPARE(manager.window()->errors(), QList<QQmlError>());
        // Thumbnails load off the main thread: one loaded, one placeholder.
        const auto thumbnails = [&](int status) {
            const auto items = allItems(manager.window()->rootObject());
            return std::count_if(items.begin(), items.end(), [status](QQuickItem* item) {
                return item->objectName() == u"thumbnail"_s && item->property("status").toInt() == status;
            });
        };
        QTRY_VERIFY(thumbnails(1) == 1 && thumbnails(0) > 0); // Image.Ready, Image.Null
        QDir().mkpath(QStringLiteral(NORVANE_SCREENSHOT_DIR));
        QVERIFY(manager.window()->grabWindow().save(QStringLiteral(NORVANE_SCREENSHOT_DIR "/history.png")));
    }

    // Under a German locale the start-up loader installs the German texts: the window, its diagnostics
    // (logged in English, shown translated) and the card show them, and every text fits its box and
    // window (a lone symbol such as × may overhang its padding). Saves PNGs. English installs none.
    void germanTranslation() {
        QVERIFY(!installTranslations(qApp, QLocale(QLocale::English, QLocale::UnitedStates)));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(installTranslations(qApp, QLocale()));
        const auto fits = [](QQuickWindow* window) {
            for (QQuickItem* item : allItems(window->contentItem())) {
                const QString text = item->property("text").toString();
                QVERIFY2(!item->inherits("QQuickText") || !item->isVisible() || text.size() < 2 ||
                             (!item->property("truncated").toBool() &&
                              item->property("contentWidth").toDouble() <= item->width() + 0.5 &&
                              item->mapRectToScene(item->boundingRect()).right() <= window->width() + 0.5),
                         qPrintable(text));
            }
        };
        Env env;
        env.appState->pauseFor(30);
        QVERIFY(env.show(Mode::Standard));
        QCOMPARE(env.window->title(), u"Norvane-Einstellungen"_s);
        env.expectTexts(uR"(footerButton=Fertig
diagnosticsTitle=Überwachung ist pausiert
diagnosticsDetail=Die Überwachung ist bis 15:30 pausiert.)"_s);
        QCOMPARE(env.appState->nudgeDiagnostics().detail, u"Monitoring is paused until 15:30."_s);
        fits(env.window);
        env.save(u"settings-de.png"_s);

        NudgePanelController card(env.appState.get(), nullptr, &env.clock, nullptr);
        env.appState->setNudgePresenter(&card);
        env.appState->presentOpportunity({u"retyping"_s, 0.9, u"You retype totals."_s, u"Why?"_s});
        QVERIFY(QTest::qWaitForWindowExposed(card.panel()));
        const auto cardText = [&](const char* name) {
            return card.panel()->rootObject()->findChild<QQuickItem*>(name)->property("text").toString();
        };
        QCOMPARE(cardText("tellMeButton"), u"Vorschlag anzeigen"_s);
        fits(card.panel());
        QVERIFY(card.panel()->grabWindow().save(QStringLiteral(NORVANE_SCREENSHOT_DIR "/nudge-de.png")));
        env.appState->setNudgePresenter(nullptr);
        for (QTranslator* translator : qApp->findChildren<QTranslator*>())
            QCoreApplication::removeTranslator(translator);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app.moc"
