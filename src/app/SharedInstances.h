// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QUrl>

#include <functional>
#include <memory>

namespace norvane {

class Clock;
class MonitoringControlling;
struct SharedServices;

// What differs between the product and the test build. The product uses the defaults; only the
// end-to-end tests, which link this code into their own executable, point the model client elsewhere.
struct SharedInstancesOptions {
    QUrl geminiEndpointBase; // empty: the real service
    Clock* clock = nullptr;  // null: the wall clock
    // Runs once the start-up decisions are made (the test build turns monitoring on here).
    std::function<void()> afterLaunch;
};

// The composition root. main() creates one after QApplication and destroys it before, so no service
// outlives the application. It holds every process-wide service instance (X::shared()) as a member of
// SharedServices, made when the root is made and destroyed in the reverse order.
class SharedInstances {
public:
    using Options = SharedInstancesOptions;

    explicit SharedInstances(Options options = {});
    ~SharedInstances();
    SharedInstances(const SharedInstances&) = delete;
    SharedInstances& operator=(const SharedInstances&) = delete;

    // The live root; null outside main()'s lifetime.
    static SharedInstances* instance();

    Clock* clock() const;
    QUrl geminiEndpointBase() const;

private:
    Options m_options;
    std::unique_ptr<SharedServices> m_services;
};

// What the shell drives to turn monitoring on and off: the shared monitoring service.
MonitoringControlling* sharedMonitoring();

} // namespace norvane
