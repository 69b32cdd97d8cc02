#include "SharedInstances.h"

#include "model/AppState.h"

#include <QPointer>
#include <QSettings>

namespace norvane {

namespace {
SharedInstances* g_root = nullptr;

template <typename T, typename Make>
T* sharedInstance(QPointer<T>& slot, Make make) {
    if (!slot) {
        Q_ASSERT_X(g_root, "shared()", "shared instances are only available while main() runs");
        slot = make(g_root);
    }
    return slot.data();
}
} // namespace

SharedInstances::SharedInstances() { g_root = this; }

SharedInstances::~SharedInstances() {
    // Children go first, while the root is still reachable for their destructors.
    qDeleteAll(children());
    g_root = nullptr;
}

SharedInstances* SharedInstances::instance() { return g_root; }

AppState* AppState::shared() {
    static QPointer<AppState> slot;
    return sharedInstance(slot, [](QObject* root) {
        auto* settings = new QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Norvane"),
                                       QStringLiteral("Norvane"), root);
        return new AppState(settings, nullptr, Clock::system(), root);
    });
}

} // namespace norvane
