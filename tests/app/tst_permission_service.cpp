// Permissions on X11: both are granted while the X display is reachable, and there is no settings pane
// to open, so the requests answer with the current state and open nothing.
#include "app/PermissionService.h"
#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"

#include <QGuiApplication>
#include <QTest>

using namespace norvane;
using namespace norvane::testing;

class TestPermissionService : public QObject {
    Q_OBJECT

private slots:
    void grantedWithAReachableDisplay() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        PermissionService service;
        QVERIFY(service.hasScreenRecordingPermission());
        QVERIFY(service.requestScreenRecordingPermission());
        QVERIFY(service.hasAccessibilityPermission());

        LogCapture log; // already granted: the answer comes at once and nothing is opened

        QVERIFY(service.ensureAccessibilityAccessIfNeeded());
        QVERIFY(service.requestAccessibilityAccess());
        QVERIFY(log.messages(QStringLiteral("Norvane.App")).isEmpty());
    }

    void missingWithoutADisplay() {
        FakePermissionChecker display;
        display.granted = false;
        PermissionService service(&display);
        QVERIFY(!service.hasScreenRecordingPermission());
        QVERIFY(!service.requestScreenRecordingPermission());
        QVERIFY(!service.hasAccessibilityPermission());

        LogCapture log;
        QVERIFY(!service.ensureAccessibilityAccessIfNeeded());
        service.openScreenRecordingSettings();
        QVERIFY(!service.screenRecordingSettingsURL());
        QVERIFY(!service.accessibilitySettingsURL());
        QCOMPARE(log.messages(QStringLiteral("Norvane.App"), QtDebugMsg).size(), 2);

        display.granted = true; // the display comes back: so do both permissions
        QVERIFY(service.hasScreenRecordingPermission());
        QVERIFY(service.requestAccessibilityAccess());
    }
};

QTEST_MAIN(TestPermissionService)
#include "tst_permission_service.moc"
