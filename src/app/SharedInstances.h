#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <type_traits>
#include <vector>

namespace norvane {

class MonitoringControlling;

// The composition root. main() creates one after QApplication and destroys it before; every
// process-wide service instance (X::shared()) is created on first use and owned here, so no QObject
// outlives the application. Instances go in the reverse order of their creation, so nothing is
// destroyed while a service made after it (and holding it) still exists.
class SharedInstances : public QObject {
    Q_OBJECT
public:
    SharedInstances();
    ~SharedInstances() override;

    // The live root; null outside main()'s lifetime.
    static SharedInstances* instance();

    // Takes ownership of `object`, which the root destroys in reverse creation order.
    template <typename T> T* own(T* object) {
        if constexpr (std::is_base_of_v<QObject, T>) {
            object->setParent(this);
            m_destroyers.push_back([guarded = QPointer<QObject>(object)] { delete guarded.data(); });
        } else {
            m_destroyers.push_back([object] { delete object; });
        }
        return object;
    }

private:
    std::vector<std::function<void()>> m_destroyers;
};

// What the shell drives to turn monitoring on and off: the shared monitoring service.
MonitoringControlling* sharedMonitoring();

} // namespace norvane
