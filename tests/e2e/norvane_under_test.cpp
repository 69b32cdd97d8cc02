#include "app/ApplicationMain.h"
#include "app/SharedInstances.h"
#include "model/ServiceInterfaces.h"

#include <QUrl>

// Norvane exactly as the product runs it, but talking to a model server on loopback: the end-to-end
// tests and the resource benchmark start it. NORVANE_TEST_GEMINI_ENDPOINT is the server's base URL
// (for example http://127.0.0.1:40123); with NORVANE_TEST_START_MONITORING=1 monitoring is turned on
// after launch, as the tray menu would.
int main(int argc, char* argv[]) {
    norvane::SharedInstancesOptions options;
    const QUrl endpoint(qEnvironmentVariable("NORVANE_TEST_GEMINI_ENDPOINT"));
    if (endpoint.isValid() && (endpoint.host() == QLatin1String("127.0.0.1") ||
                               endpoint.host() == QLatin1String("localhost")))
        options.geminiEndpointBase = endpoint;
    if (qEnvironmentVariableIntValue("NORVANE_TEST_START_MONITORING") == 1)
        options.afterLaunch = [] { norvane::sharedMonitoring()->startFromUserRequest(); };
    return norvane::runApplication(argc, argv, std::move(options));
}
