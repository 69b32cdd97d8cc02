#include "SharedInstances.h"

#include "PermissionService.h"
#include "SettingsWindowManager.h"
#include "ShellCommands.h"
#include "model/AppState.h"
#include "model/Logging.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSettings>

namespace norvane {

namespace {
SharedInstances* g_root = nullptr;

template <typename T, typename Make> T* sharedInstance(QPointer<T>& slot, Make make) {
    if (!slot) {
        Q_ASSERT_X(g_root, "shared()", "shared instances are only available while main() runs");
        slot = make(g_root);
    }
    return slot.data();
}

// Stands in for the monitoring service until it is part of the build.
class UnavailableMonitoring final : public QObject, public MonitoringControlling {
public:
    using QObject::QObject;
    void startFromUserRequest() override {
        qCCritical(lcApp) << "Monitoring is not available in this build.";
    }
    void stop() override {}
    int recentCaptureCount(const QDateTime&) override { return 0; }
    QList<Screenshot> screenshotBuffer() const override { return {}; }
};
} // namespace

SharedInstances::SharedInstances() {
    g_root = this;
}

SharedInstances::~SharedInstances() {
    // Children go first, while the root is still reachable for their destructors.
    qDeleteAll(children());
    g_root = nullptr;
}

SharedInstances* SharedInstances::instance() {
    return g_root;
}

AppState* AppState::shared() {
    static QPointer<AppState> slot;
    return sharedInstance(slot, [](QObject* root) {
        auto* settings = new QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Norvane"),
                                       QStringLiteral("Norvane"), root);
        return new AppState(settings, nullptr, Clock::system(), root);
    });
}

MonitoringControlling* sharedMonitoring() {
    static QPointer<UnavailableMonitoring> slot;
    return sharedInstance(slot, [](QObject* root) { return new UnavailableMonitoring(root); });
}

PermissionService* PermissionService::shared() {
    static QPointer<PermissionService> slot;
    return sharedInstance(slot, [](QObject* root) { return new PermissionService(nullptr, root); });
}

SettingsWindowManager* SettingsWindowManager::shared() {
    static QPointer<SettingsWindowManager> slot;
    if (slot)
        return slot.data();
    sharedInstance(slot, [](QObject* root) {
        return new SettingsWindowManager(AppState::shared(), nullptr, PermissionService::shared(),
                                         Clock::system(), root);
    });
    // These two refer back to the window, so they are attached once it is reachable.
    slot->setMonitoring(sharedMonitoring());
    slot->setShellCommands(ShellCommands::shared());
    return slot.data();
}

ShellCommands* ShellCommands::shared() {
    static QPointer<ShellCommands> slot;
    return sharedInstance(slot, [](QObject* root) {
        return new ShellCommands(
            AppState::shared(), sharedMonitoring(), SettingsWindowManager::shared(),
            [] { QCoreApplication::quit(); }, root);
    });
}

} // namespace norvane
