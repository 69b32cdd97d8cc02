// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <type_traits>
#include <vector>

namespace norvane {

class Clock;
class MonitoringControlling;

// What differs between the product and the test build. The product uses the defaults; only the
// end-to-end tests, which link this code into their own executable, point the model client elsewhere.
struct SharedInstancesOptions {
    QUrl geminiEndpointBase; // empty: the real service
    Clock* clock = nullptr;  // null: the wall clock
    // Runs once the start-up decisions are made (the test build turns monitoring on here).
    std::function<void()> afterLaunch;
};

// The composition root. main() creates one after QApplication and destroys it before; every
// process-wide service instance (X::shared()) is created on first use and owned here, so no QObject
// outlives the application. Instances go in the reverse order of their creation, so nothing is
// destroyed while a service made after it (and holding it) still exists.
class SharedInstances : public QObject {
    Q_OBJECT
public:
    using Options = SharedInstancesOptions;

    explicit SharedInstances(Options options = {});
    ~SharedInstances() override;

    // The live root; null outside main()'s lifetime.
    static SharedInstances* instance();

    Clock* clock() const;
    QUrl geminiEndpointBase() const;

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
    Options m_options;
    std::vector<std::function<void()>> m_destroyers;
};

// What the shell drives to turn monitoring on and off: the shared monitoring service.
MonitoringControlling* sharedMonitoring();

} // namespace norvane
