// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// The way from activity to the model once on Wayland: Norvane runs as its own process on a headless Sway,
// the user types into a native window through a virtual keyboard, and the model service is a server on
// loopback. Activity comes from the compositor's idle notices, the window from its toplevel list and the
// pictures from screencopy.
#include "E2eRig.h"
#include "analysis/LoopbackHttpServer.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace norvane::testing;

class TestEndToEndWayland : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void typingReachesTheModel() {
        TestWindow pad({"--paint", "typing-pad", "--title", "Typing Pad", "--app-id", "org.example.Pad"});
        LoopbackHttpServer server;
        QVERIFY(pad.isReady() && server.start());
        // The model sees nothing worth a card.
        const QJsonObject verdict{{"parts", QJsonArray{QJsonObject{{"text", "{\"opportunity\": null}"}}}}};
        server.setResponse(LoopbackHttpServer::json(
            200, QJsonDocument(QJsonObject{{"candidates", QJsonArray{QJsonObject{{"content", verdict}}}}})
                     .toJson()));
        Norvane app(server.baseUrl());
        QVERIFY(waitUntil(
            [&] { return app.says("Desktop backend: Wayland, because XDG_SESSION_TYPE is wayland."); }));
        // With no tray, the settings window opens and floats over the pad; the user closes it. While one of
        // Norvane's windows covers the pad, no picture of the pad is taken.
        const QString ownWindow = QStringLiteral("\"pid\": %1,").arg(app.pid());
        QVERIFY(waitUntil(
            [&] {
                return toolOutput("swaymsg", {"-t", "get_tree"}).contains(ownWindow);
            },
            30000));
        QVERIFY(runTool("swaymsg", {QStringLiteral("[pid=%1] kill").arg(app.pid())}));
        QVERIFY(waitUntil([&] { return !toolOutput("swaymsg", {"-t", "get_tree"}).contains(ownWindow); }));
        QVERIFY(runTool("swaymsg", {R"([app_id="org.example.Pad"] focus)"}));

        // Typing, about two keys a second, until the third capture of the burst goes to the model.
        const QDeadlineTimer deadline(90000);
        for (int next = 0; server.requests().isEmpty(); ++next) {
            const int before = pad.keys();
            QVERIFY2(!deadline.hasExpired(), "no analysis reached the server");
            QVERIFY(runTool("wtype", {"-s", "100", QString(QChar('a' + next % 26))}));
            QVERIFY(waitUntil([&] { return pad.keys() > before; }, 5000));
            waitUntil([&] { return !server.requests().isEmpty(); }, 400);
        }
        QVERIFY(app.says("Activity transition idle -> wake | resumed after meaningful activity"));

        // Three different pictures of the pad, named by its application id and title.
        const QJsonArray parts =
            QJsonDocument::fromJson(server.requests().first().body)["contents"][0]["parts"].toArray();
        QCOMPARE(parts.size(), 7);
        QSet<QByteArray> pictures;
        for (int i = 1; i < 7; i += 2) {
            const QByteArray jpeg =
                QByteArray::fromBase64(parts[i]["inlineData"]["data"].toString().toLatin1());
            QVERIFY(!QImage::fromData(jpeg, "JPEG").isNull());
            pictures.insert(jpeg);
            const QString caption = parts[i + 1]["text"].toString();
            QVERIFY2(
                caption.startsWith(QString("Screenshot %1: org.example.Pad - Typing Pad at ").arg(i / 2 + 1)),
                qPrintable(caption));
        }
        QCOMPARE(pictures.size(), 3);
        QVERIFY2(app.terminate(), "Norvane did not end cleanly on SIGTERM");
    }
};

QTEST_GUILESS_MAIN(TestEndToEndWayland)
#include "tst_e2e_wayland.moc"
