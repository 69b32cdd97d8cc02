// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// Runs inside tests/run-with-sway.sh with NORVANE_SWAY_PORTAL=1: a real portal, its wlroots backend
// (chooser off, always the headless output) and PipeWire on a private session bus.

#include "platform/DesktopBackend.h"
#include "platform/wayland/PipeWireFrameGrab.h"
#include "platform/wayland/PortalScreenCast.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QRasterWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <spa/param/video/raw.h>

using namespace norvane;
using namespace Qt::StringLiterals;

namespace {

const QColor kWindowColour(30, 140, 210);

class SolidWindow : public QRasterWindow {
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), kWindowColour);
    }
};

// Where the full-screen window is, the picture must be its colour: checked on a grid over the image.
bool showsTheWindow(const std::optional<QImage>& image) {
    if (!image || image->size() != QSize(1280, 800))
        return false;
    for (int y = 5; y < image->height(); y += 79)
        for (int x = 5; x < image->width(); x += 127)
            if (image->pixelColor(x, y) != kWindowColour)
                return false;
    return true;
}

// PipeWire nodes that are processing frames right now.
int runningNodes() {
    QProcess dump;
    dump.start(QStringLiteral("pw-dump"), {});
    if (!dump.waitForFinished(5000))
        return -1;
    int running = 0;
    for (const auto& object : QJsonDocument::fromJson(dump.readAllStandardOutput()).array())
        running += object[QStringLiteral("type")] == QStringLiteral("PipeWire:Interface:Node") &&
                   object[QStringLiteral("info")][QStringLiteral("state")] == QStringLiteral("running");
    return running;
}

} // namespace

class TestWaylandPortal : public QObject {
    Q_OBJECT
    QString m_token;
    SolidWindow m_window;
    QTimer m_repaint;

    std::unique_ptr<PortalScreenCast> makeCast(QDBusConnection bus = QDBusConnection::sessionBus()) {
        return std::make_unique<PortalScreenCast>(
            bus, [this] { return m_token; }, [this](const QString& token) { m_token = token; });
    }

private Q_SLOTS:
    void initTestCase() {
        m_window.showFullScreen();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
        // The wlroots backend copies the screen only when it changes, as while someone works; a still
        // screen would starve every stream after the first.
        connect(&m_repaint, &QTimer::timeout, &m_window, [this] { m_window.update(); });
        m_repaint.start(50);
    }

    void convertsEachOfferedPixelLayout_data() {
        QTest::addColumn<quint32>("format");
        QTest::addColumn<QByteArray>("pixel");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("expected");
        const QByteArray bgr("\x30\x20\x10\x00", 4), rgb("\x10\x20\x30\x00", 4);
        QTest::newRow("BGRx") << quint32(SPA_VIDEO_FORMAT_BGRx) << bgr << 48 << true;
        QTest::newRow("BGRA transparent") << quint32(SPA_VIDEO_FORMAT_BGRA) << bgr << 48 << true;
        QTest::newRow("RGBx") << quint32(SPA_VIDEO_FORMAT_RGBx) << rgb << 48 << true;
        QTest::newRow("RGBA transparent") << quint32(SPA_VIDEO_FORMAT_RGBA) << rgb << 48 << true;
        QTest::newRow("not offered") << quint32(SPA_VIDEO_FORMAT_NV12) << bgr << 48 << false;
        QTest::newRow("buffer short of its last row") << quint32(SPA_VIDEO_FORMAT_BGRx) << bgr << 27 << false;
    }
    void convertsEachOfferedPixelLayout() {
        QFETCH(quint32, format);
        QFETCH(QByteArray, pixel);
        QFETCH(int, bytes);
        QFETCH(bool, expected);
        // 3 x 2 pixels, rows 16 bytes apart, so the padding shows if the stride is ignored.
        QByteArray buffer(48, '\xee');
        for (int row = 0; row < 2; ++row)
            for (int column = 0; column < 3; ++column)
                buffer.replace(row * 16 + column * 4, 4, pixel);
        const auto image = imageFromVideoBuffer(buffer.constData(), bytes, 3, 2, 16, format);
        QCOMPARE(image.has_value(), expected);
        if (!expected)
            return;
        QCOMPARE(image->format(), QImage::Format_RGB32);
        for (const QPoint at : {QPoint(0, 0), QPoint(2, 0), QPoint(0, 1), QPoint(2, 1)})
            QCOMPARE(image->pixel(at), qRgb(0x10, 0x20, 0x30));
    }

    // One consent, then frames from the open session; a new instance reopens the choice from the token.
    void consentOnceThenFramesOnDemand() {
        auto cast = makeCast();
        QVERIFY(cast->isAvailable());
        QVERIFY(!cast->hasChosenSource() && !cast->isReady());
        QVERIFY(!QCoro::waitFor(cast->captureFrame()));
        QVERIFY(QCoro::waitFor(cast->requestConsent()));
        QVERIFY(cast->hasChosenSource() && cast->isReady());
        const QString firstToken = m_token;

        // The shared monitor's place lets a window be cut out of its frame.
        const auto frame = QCoro::waitFor(cast->captureFrame());
        QVERIFY(showsTheWindow(frame));
        QCOMPARE(cast->sharedArea(), std::optional<QRect>(QRect(0, 0, 1280, 800)));
        const auto window = cutOutWindow(*frame, *cast->sharedArea(), QRect(1200, 700, 200, 200));
        QVERIFY(window);
        QCOMPARE(window->size(), QSize(80, 100));
        QVERIFY(showsTheWindow(QCoro::waitFor(cast->captureFrame())));
        QCOMPARE(m_token, firstToken);
        // Between frames nothing keeps capturing.
        QTRY_COMPARE_WITH_TIMEOUT(runningNodes(), 0, 3000);

        cast = makeCast();
        QVERIFY(showsTheWindow(QCoro::waitFor(cast->captureFrame())));
        QVERIFY(!m_token.isEmpty());
        cast = makeCast();
        QVERIFY(showsTheWindow(QCoro::waitFor(cast->captureFrame())));
    }

    // Where the compositor copies the screen without asking, nobody is asked, though a portal runs too.
    void screencopyNeedsNoSharingDialog() {
        QTemporaryDir dir;
        QSettings store(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        const auto backend = makeWaylandDesktopBackend(&store);
        ScreenRecordingPermissionChecking* check = backend->permissionChecker();
        QVERIFY(check->hasScreenRecordingPermission() && !check->canAskForConsent());
        QVERIFY(!QCoro::waitFor(check->askForConsent()));
        QStringList cards;
        for (const SessionCapability& card : backend->sessionCapabilities())
            cards << card.name + (card.available ? u""_s : u" (missing)"_s);
        QCOMPARE(cards, (QStringList{u"Wayland compositor"_s, u"Keyboard and mouse activity"_s,
                                     u"Active window"_s, u"Window capture"_s}));
        QVERIFY(store.allKeys().isEmpty());
    }

    void withoutThePortalThereIsNothing() {
        QTemporaryDir dir;
        QFile config(dir.filePath(QStringLiteral("bus.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        // A bus that can start no services, so no portal either.
        config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                    "<policy context=\"default\"><allow send_destination=\"*\"/>"
                                    "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>")
                         .arg(dir.path())
                         .toUtf8());
        config.close();
        QProcess daemon;
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                      QStringLiteral("--config-file=") + config.fileName()});
        QVERIFY(daemon.waitForReadyRead(5000));
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        {
            auto bus = QDBusConnection::connectToBus(address, QStringLiteral("portal-less"));
            QVERIFY(bus.isConnected());
            m_token = QStringLiteral("a token from another desktop");
            auto cast = makeCast(bus);
            QVERIFY(!cast->isAvailable());
            QVERIFY(!QCoro::waitFor(cast->captureFrame()));
            QVERIFY(!QCoro::waitFor(cast->requestConsent()));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("portal-less"));
        daemon.terminate();
        daemon.waitForFinished(5000);
    }
};

QTEST_MAIN(TestWaylandPortal)
#include "tst_wayland_portal.moc"
