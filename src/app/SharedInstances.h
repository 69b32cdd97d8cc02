#pragma once

#include <QObject>

namespace norvane {

class MonitoringControlling;

// The composition root. main() creates one after QApplication and destroys it before; every
// process-wide service instance (X::shared()) is created on first use as its child, so no QObject
// outlives the application.
class SharedInstances : public QObject {
    Q_OBJECT
public:
    SharedInstances();
    ~SharedInstances() override;

    // The live root; null outside main()'s lifetime.
    static SharedInstances* instance();
};

// What the shell drives to turn monitoring on and off.
MonitoringControlling* sharedMonitoring();

} // namespace norvane
