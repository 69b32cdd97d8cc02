// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

// The whole program as a user meets it: Norvane runs as its own process under a real X server with a
// window manager, the user types into another program's window, and the model service is a server on
// loopback that this test plays. Everything between the keystrokes and the card on screen is the
// product's own code: input monitoring, the loop, capture, the disk store, the model client, the card.
#include "E2eRig.h"
#include "analysis/LoopbackHttpServer.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace norvane::testing;
using Request = LoopbackHttpServer::Request;
using Response = LoopbackHttpServer::Response;

namespace {

const QString kObservation("You are filling the grid in Typing Pad one coloured cell at a time.");
const QString kQuestion = QStringLiteral("What are you building with these coloured cells?");
const QString kAnswer = QStringLiteral("a status board for the team");
const QString kHeadline = QStringLiteral("Let a script colour the board");
const QString kPrompt("Write a Python script that colours a 28 by 17 grid from a status list.");
// Input stops, the loop cools down and falls idle twenty seconds later; the bound leaves room for a slow
// machine.
constexpr int kIdleMs = 60000;

// The model service: which prompt a request carries, and replies in the shape the service gives them.
bool isChat(const Request& request) {
    return request.path.endsWith("/chat/completions");
}
// The parts in Gemini's shape ({text} or {inlineData}), whichever service the request went to.
QJsonArray parts(const Request& request) {
    const QJsonDocument body = QJsonDocument::fromJson(request.body);
    if (!isChat(request))
        return body["contents"][0]["parts"].toArray();
    QJsonArray parts;
    for (const QJsonValue part : body["messages"][0]["content"].toArray()) {
        const QString url = part["image_url"]["url"].toString(); // data:image/jpeg;base64,...
        parts.append(part["type"] == "text"
                         ? QJsonObject{{"text", part["text"]}}
                         : QJsonObject{{"inlineData", QJsonObject{{"mimeType", url.section(';', 0, 0).mid(5)},
                                                                  {"data", url.section(',', 1)}}}});
    }
    return parts;
}
QString partText(const Request& request, int index) {
    return parts(request).at(index)["text"].toString();
}
bool isAnalysis(const Request& request) {
    return partText(request, 0).startsWith("You are an AI efficiency coach");
}
bool isRecommendation(const Request& request) {
    return partText(request, 0).contains("WHAT THE USER SAID THEY'RE DOING: ");
}
int count(const LoopbackHttpServer& server, bool (*kind)(const Request&)) {
    return int(std::count_if(server.requests().begin(), server.requests().end(), kind));
}

// The model service as it should answer (single quotes stand for double ones); the verdict comes wrapped
// in prose and a fence, as models like to answer.
Response goodModel(const Request& request) {
    QString text =
        isAnalysis(request)
            ? QString("Here is my verdict:\n```json\n{'opportunity': {'patternId': 'manual-cell-colouring', "
                      "'confidence': 0.86, 'observation': '%1', 'question': '%2', "
                      "'category': 'manual-work'}}\n```")
                  .arg(kObservation, kQuestion)
            : QString("{'recommendation': {'headline': '%1', 'detail': 'Keep the statuses in a list.', "
                      "'prompt': '%2', 'effort': '2 min', 'impact': 'Saves an hour a week'}}")
                  .arg(kHeadline, kPrompt);
    text.replace('\'', '"');
    if (isChat(request))
        return LoopbackHttpServer::json(
            200,
            QJsonDocument(QJsonObject{{"choices",
                                       QJsonArray{QJsonObject{{"message", QJsonObject{{"content", text}}}}}}})
                .toJson());
    const QJsonObject content{{"parts", QJsonArray{QJsonObject{{"text", text}}}}};
    return LoopbackHttpServer::json(
        200,
        QJsonDocument(QJsonObject{{"candidates", QJsonArray{QJsonObject{{"content", content}}}}}).toJson());
}

// The picture in a JPEG image part, of the pad's size, as base64.
QString padJpeg(const QJsonValue& part) {
    const QString data = part["inlineData"]["data"].toString();
    const QImage image = QImage::fromData(QByteArray::fromBase64(data.toLatin1()), "JPEG");
    return part["inlineData"]["mimeType"] == "image/jpeg" && image.size() == QSize(800, 500) ? data
                                                                                             : QString();
}

} // namespace

class TestEndToEndNudgeFlow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Once with Gemini, once with a model on this computer that speaks the OpenAI chat API and needs no key.
    void typingLeadsToARecommendation_data() {
        QTest::addColumn<bool>("local");
        QTest::newRow("gemini") << false;
        QTest::newRow("local OpenAI-compatible") << true;
    }

    // Typing wakes the loop; three captures go to the model, its opportunity becomes a card that does
    // not take the focus; the user answers in the card, gets a recommendation, kept on disk, and rejects it.
    void typingLeadsToARecommendation() {
        QFETCH(bool, local);
        TestWindow pad(kTypingPad);
        // A password manager by its class name, excluded by default.
        TestWindow vault(
            {"--paint", "typing-pad", "--title", "Vault", "--class", "KeePassXC", "--pos", "900,60"});
        LoopbackHttpServer server;
        QVERIFY(pad.isReady() && vault.isReady() && server.start());
        server.setResponder(goodModel);
        QVariantMap settings;
        if (local)
            settings = {{"model_provider", "openai"},
                        {"openai_base_url", server.baseUrl().toString() + "/v1"},
                        {"openai_model", "llava"}};
        Norvane app(server.baseUrl(), settings);
        QVERIFY2(putPadInFront(vault, app), "the vault could not be brought to the front");

        // Typing into an excluded window wakes the loop, but nothing of that window is captured or kept.
        QVERIFY(typeUntil(
            vault, [&] { return app.says("Skipped the capture of an excluded window of KeePassXC"); }));
        QVERIFY(QDir(app.data("captures")).isEmpty() && !app.log().contains("Vault"));
        QVERIFY(activateWindow(pad.id()));

        // A burst of typing: a wake capture and active captures until the third one triggers analysis.
        QVERIFY2(typeUntil(pad, [&] { return count(server, isAnalysis) >= 1; }),
                 "no analysis reached the server");
        const Request analysis = server.requests().first();
        if (local) {
            QCOMPARE(analysis.path, "/v1/chat/completions");
            QVERIFY(!analysis.header("Authorization")); // Gemini's key stays with Gemini
            QVERIFY(app.says("the last burst was sent to a model on this computer"));
        } else {
            QCOMPARE(analysis.query, "key=" + kApiKey.toUtf8());
        }
        // The prompt, then three different pictures of the pad, each with its caption.
        QCOMPARE(parts(analysis).size(), 7);
        QSet<QString> images;
        for (int i = 1; i < 7; i += 2) {
            images.insert(padJpeg(parts(analysis).at(i)));
            QVERIFY2(partText(analysis, i + 1)
                         .startsWith(QString("Screenshot %1: TypingPad - Typing Pad at ").arg(i / 2 + 1)),
                     qPrintable(partText(analysis, i + 1)));
        }
        images.remove(QString());
        QCOMPARE(images.size(), 3);

        // The card appears with the model's words and the pad keeps the focus: it still takes the keys.
        QStringList cards;
        QVERIFY(waitUntil([&] { return (cards = visibleWindows(app.pid(), "^Norvane$")).size() == 1; }));
        QVERIFY(app.says("diagnostics: nudge-visible | Nudge is ready"));
        QCOMPARE(app.text("observationText"), kObservation);
        QCOMPARE(app.text("questionText"), kQuestion);
        QCOMPARE(activeWindow(), pad.id());
        const int keys = pad.keys();
        QVERIFY(xdotool("type xyz") && waitUntil([&] { return pad.keys() == keys + 3; }));

        // Clicking into the answer field gives the card the keyboard; the answer goes with Return.
        QVERIFY2(app.click("answerField"), "the answer field never came to rest on screen");
        QVERIFY2(waitUntil([&] { return activeWindow() == cards.first().toUInt(); }),
                 "the card did not take the focus");
        QVERIFY(runTool("xdotool", {"type", "--delay", "20", kAnswer}));
        QVERIFY(waitUntil([&] { return app.text("answerField") == kAnswer; }));
        QVERIFY(xdotool("key Return"));

        // The follow-up carries the answer and a fresh picture of the pad, with the keys typed since (the
        // card never counts as the application in front).
        QVERIFY2(waitUntil([&] { return count(server, isRecommendation) == 1; }),
                 "no recommendation request");
        const Request followUp = server.requests().last();
        QVERIFY(partText(followUp, 0).contains("WHAT WE OBSERVED: " + kObservation));
        QVERIFY(partText(followUp, 0).contains("WHAT THE USER SAID THEY'RE DOING: " + kAnswer + '\n'));
        QCOMPARE(parts(followUp).size(), 3);
        const QString fresh = padJpeg(parts(followUp).at(1));
        QVERIFY2(!fresh.isEmpty() && !images.contains(fresh), "the screenshot is not fresh");
        QCOMPARE(partText(followUp, 2), QStringLiteral("Current screenshot: TypingPad - Typing Pad"));

        // The card turns to the recommendation, which is also kept on disk.
        QVERIFY(waitUntil([&] { return app.text("headlineText") == kHeadline; }));
        QCOMPARE(app.text("promptText"), kPrompt);
        QVERIFY(
            waitUntil([&] { return QDir(app.data("recommendations")).entryList({"*.json"}).size() == 1; }));

        // "Not useful" closes the card: its window is unmapped a moment after the program says so.
        QVERIFY(app.click("notUsefulButton"));
        QVERIFY(waitUntil([&] { return visibleWindows(app.pid(), "^Norvane$").isEmpty(); }));
        QVERIFY(app.says("diagnostics: waiting-for-activity | Waiting for activity | "));
        QVERIFY2(app.terminate(), "Norvane did not end cleanly on SIGTERM");
        QVERIFY2(!app.says("do-not-log-7f3c9b21"), "the API key appeared in Norvane's output");
    }

    // The model service failing: the failure is reported with its reason, the loop goes on capturing, and
    // once the service answers properly the next burst raises a nudge.
    void failedAnalysisIsReportedAndTheLoopGoesOn_data() {
        QTest::addColumn<int>("status"); // 0: nothing listens
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reported"); // the diagnostics line from its detail on
        QTest::newRow("http-500") << 500 << QByteArray(R"({"error":{"code":500,"message":"Overloaded."}})")
                                  << "Overloaded.\n";
        QTest::newRow("garbage") << 200 << QByteArray("<html><body>Service Temporarily Unavailable")
                                 << "The data couldn't be read because it isn't valid JSON (";
        QTest::newRow("not-listening") << 0 << QByteArray() << "Connection refused\n";
    }
    void failedAnalysisIsReportedAndTheLoopGoesOn() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, reported);
        TestWindow pad(kTypingPad);
        LoopbackHttpServer server;
        QVERIFY(pad.isReady() && server.start());
        const quint16 port = server.port();
        server.setResponse(LoopbackHttpServer::json(status, body));
        if (!status)
            server.close();
        Norvane app(server.baseUrl());
        QVERIFY2(putPadInFront(pad, app), "the typing pad could not be brought to the front");

        const QString failure = "diagnostics: failed | Analysis failed | " + reported;
        QVERIFY2(
            typeUntil(pad, [&] { return app.says("Captured TypingPad - Typing Pad | ", app.find(failure)); }),
            "no failure reported, or no capture after it");
        QCOMPARE(count(server, isAnalysis), status ? 1 : 0);

        // The service recovers; after a quiet spell the next burst raises a nudge, and the pad keeps the
        // focus.
        QVERIFY(status || server.start(port));
        server.setResponder(goodModel);
        const qsizetype mark = app.log().size();
        QVERIFY2(waitUntil([&] { return app.says("Activity transition cool-down -> idle", mark); }, kIdleMs),
                 "the loop did not fall idle");
        QVERIFY2(
            typeUntil(pad, [&] { return app.says("diagnostics: nudge-visible | Nudge is ready", mark); }),
            "the recovered service did not lead to a nudge");
        QCOMPARE(count(server, isAnalysis), status ? 2 : 1);
        QVERIFY(waitUntil([&] { return !visibleWindows(app.pid(), "^Norvane$").isEmpty(); }));
        QCOMPARE(activeWindow(), pad.id());
        QVERIFY2(app.terminate(), "Norvane did not end cleanly");
        QVERIFY2(!app.says("do-not-log-7f3c9b21"), "the API key appeared in Norvane's output");
    }
};

QTEST_GUILESS_MAIN(TestEndToEndNudgeFlow)
#include "tst_e2e_nudge_flow.moc"
