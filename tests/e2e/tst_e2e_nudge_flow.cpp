// The whole program as a user meets it: Norvane runs as its own process under a real X server with a
// window manager, the user types into another program's window, and the model service is a server on
// loopback that this test plays. Everything between the keystrokes and the card on screen is the
// product's own code: input monitoring, the loop, capture, the disk store, the model client, the card.
#include "E2eRig.h"
#include "analysis/LoopbackHttpServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace norvane::testing;
using Request = LoopbackHttpServer::Request;
using Response = LoopbackHttpServer::Response;

namespace {

const QString kObservation =
    QStringLiteral("You are filling the grid in Typing Pad one coloured cell at a time.");
const QString kQuestion = QStringLiteral("What are you building with these coloured cells?");
const QString kAnswer = QStringLiteral("a status board for the team");
const QString kHeadline = QStringLiteral("Let a script colour the board");
const QString kPrompt =
    QStringLiteral("Write a Python script that colours a 28 by 17 grid from a status list.");
// Input stops, the loop cools down and falls idle twenty seconds later; the bound leaves room for a slow
// machine.
constexpr int kIdleMs = 60000;

// The model service: which prompt a request carries, and replies in the shape the service gives them.
QJsonArray parts(const Request& request) {
    return QJsonDocument::fromJson(request.body)["contents"][0]["parts"].toArray();
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
    const QJsonObject content{{"parts", QJsonArray{QJsonObject{{"text", text.replace('\'', '"')}}}}};
    return LoopbackHttpServer::json(
        200,
        QJsonDocument(QJsonObject{{"candidates", QJsonArray{QJsonObject{{"content", content}}}}}).toJson());
}

// A JPEG image part of the pad's size; `unfocused` tells whether the pad's red band (drawn while it does
// not have the focus) runs along its bottom edge.
bool isPadJpeg(const QJsonValue& part, bool unfocused) {
    const QImage image =
        QImage::fromData(QByteArray::fromBase64(part["inlineData"]["data"].toString().toLatin1()), "JPEG");
    if (part["inlineData"]["mimeType"].toString() != "image/jpeg" || image.size() != QSize(800, 500))
        return false;
    int red = 0;
    for (int x = 20; x < image.width(); x += 40) {
        const QColor pixel = image.pixelColor(x, image.height() - 8);
        red += pixel.red() > 160 && pixel.green() < 80 && pixel.blue() < 80;
    }
    return (red > (image.width() / 40) * 3 / 4) == unfocused;
}

} // namespace

class TestEndToEndNudgeFlow : public QObject {
    Q_OBJECT

private slots:
    // Typing wakes the loop; three captures go to the model, its opportunity becomes a card that does
    // not take the focus; the user answers in the card, gets a recommendation, copies its prompt and
    // rejects it; the same pattern raises nothing on the next burst.
    void typingLeadsToARecommendationAndARejectionSticks() {
        TypingPad pad;
        QVERIFY2(pad.id(), "the typing pad did not open");
        LoopbackHttpServer server;
        QVERIFY(server.start());
        server.setResponder(goodModel);
        Norvane app("norvane", server.baseUrl());
        QVERIFY2(putPadInFront(pad, {&app}), "the typing pad could not be brought to the front");

        // A burst of typing: a wake capture and active captures until the third one triggers analysis.
        QVERIFY2(pad.typeUntil([&] { return count(server, isAnalysis) >= 1; }),
                 "no analysis reached the server");
        const Request analysis = server.requests().first();
        QCOMPARE(analysis.query, "key=" + kApiKey.toUtf8());
        // The prompt, then three different pictures of the pad as it had the focus, each with its caption.
        QCOMPARE(parts(analysis).size(), 7);
        QSet<QString> images;
        for (int i = 1; i < 7; i += 2) {
            QVERIFY2(isPadJpeg(parts(analysis).at(i), false), qPrintable(QString("image part %1").arg(i)));
            images.insert(parts(analysis).at(i)["inlineData"]["data"].toString());
            QVERIFY2(partText(analysis, i + 1)
                         .startsWith(QString("Screenshot %1: TypingPad - Typing Pad at ").arg(i / 2 + 1)),
                     qPrintable(partText(analysis, i + 1)));
        }
        QCOMPARE(images.size(), 3);

        // The card appears and the pad keeps the focus.
        QList<quint32> cards;
        QVERIFY(waitUntil([&] { return (cards = visibleWindows(app.pid(), "^Norvane$")).size() == 1; }));
        QVERIFY(app.says("diagnostics: nudge-visible | Nudge is ready"));
        const auto answerField = app.settledCentre("answerField");
        QVERIFY2(answerField, "the answer field never came to rest on screen");
        QCOMPARE(activeWindow(), pad.id());
        QCOMPARE(app.text("observationText"), kObservation);
        QCOMPARE(app.text("questionText"), kQuestion);

        // Clicking into the answer field gives the card the keyboard; the answer goes with Return.
        QVERIFY(clickAt(*answerField));
        QVERIFY2(waitUntil([&] { return activeWindow() == cards.first(); }),
                 "the card did not take the focus");
        QVERIFY(runTool("xdotool", {"type", "--delay", "20", kAnswer}));
        QVERIFY(waitUntil([&] { return app.text("answerField") == kAnswer; }));
        QVERIFY(xdotool("key Return"));

        // The follow-up carries the answer and a fresh picture of the pad: taken after the card took the
        // keyboard (the card never counts as the application in front), so the pad shows its red band.
        QVERIFY2(waitUntil([&] { return count(server, isRecommendation) == 1; }),
                 "no recommendation request");
        const Request followUp = server.requests().last();
        QVERIFY(partText(followUp, 0).contains("WHAT WE OBSERVED: " + kObservation));
        QVERIFY(partText(followUp, 0).contains("WHAT THE USER SAID THEY'RE DOING: " + kAnswer + '\n'));
        QCOMPARE(parts(followUp).size(), 3);
        QVERIFY2(isPadJpeg(parts(followUp).at(1), true), "the screenshot is not fresh");
        QCOMPARE(partText(followUp, 2), QStringLiteral("Current screenshot: TypingPad - Typing Pad"));

        // The card turns to the recommendation, which is also kept on disk.
        const auto copyButton = app.settledCentre("copyButton");
        QVERIFY2(copyButton, qPrintable(app.text("errorText")));
        QCOMPARE(app.text("headlineText"), kHeadline);
        QCOMPARE(app.text("promptText"), kPrompt);
        QVERIFY(
            waitUntil([&] { return QDir(app.data("recommendations")).entryList({"*.json"}).size() == 1; }));

        // "Copy" puts the prompt where any other program can paste it.
        QVERIFY(clickAt(*copyButton));
        QVERIFY(waitUntil([&] { return toolOutput("xclip", {"-o", "-selection", "clipboard"}) == kPrompt; }));

        // "Not useful" closes the card: its window is unmapped a moment after the program says so.
        const auto notUseful = app.settledCentre("notUsefulButton");
        QVERIFY(notUseful);
        QVERIFY(clickAt(*notUseful));
        QVERIFY(waitUntil([&] { return visibleWindows(app.pid(), "^Norvane$").isEmpty(); }));
        QVERIFY(app.says("diagnostics: waiting-for-activity | Waiting for activity | "));
        QVERIFY(pad.activate());

        // After a quiet spell the same work raises nothing: the pattern was rejected. Once the burst
        // counts as analysed, the verdict has been handled (a card would say so at once).
        qsizetype mark = app.mark();
        QVERIFY2(waitUntil([&] { return app.says("Activity transition cool-down -> idle", mark); }, kIdleMs),
                 "the loop did not fall idle");
        mark = app.mark();
        QVERIFY2(pad.typeUntil([&] { return count(server, isAnalysis) >= 2; }),
                 "the second burst was not analysed");
        QVERIFY(pad.typeUntil([&] {
            return app.says("because this burst was already analyzed", mark) ||
                   app.says("Showing the nudge card", mark);
        }));
        QVERIFY(!app.says("Showing the nudge card", mark));
        QVERIFY(visibleWindows(app.pid(), "^Norvane$").isEmpty());
        QCOMPARE(count(server, isRecommendation), 1);
        QCOMPARE(activeWindow(), pad.id());

        QVERIFY2(app.terminate(), "Norvane did not end cleanly on SIGTERM");
        QVERIFY(app.says("Monitoring stopped"));
        QVERIFY2(!app.leaksKey(), "the API key appeared in Norvane's output");
    }

    // The model service failing in three ways: each failure is reported with its reason, the loop goes
    // on capturing, and once the service answers properly the next burst raises a nudge. Three copies
    // of Norvane watch the same typing, each with its own service.
    void failedAnalysesAreReportedAndTheLoopGoesOn() {
        TypingPad pad;
        QVERIFY2(pad.id(), "the typing pad did not open");
        struct Service {
            const char* name;
            Response failure;
            const char* reported; // the diagnostics line's detail, a regular expression
            LoopbackHttpServer server;
            std::unique_ptr<Norvane> app;
            qsizetype mark = 0;
        } services[] = {
            {"http-500",
             LoopbackHttpServer::json(500, "{\"error\":{\"code\":500,\"message\":\"Overloaded.\"}}"),
             "Overloaded\\."},
            {"garbage", LoopbackHttpServer::json(200, "<html><body>Service Temporarily Unavailable"),
             "The data couldn't be read because it isn't valid JSON \\(.+\\)\\."},
            {"not-listening", {}, "Connection refused"},
        };
        QList<Norvane*> copies;
        for (Service& service : services) {
            QVERIFY(service.server.start());
            service.server.setResponse(service.failure);
            service.app = std::make_unique<Norvane>(service.name, service.server.baseUrl());
            copies.append(service.app.get());
        }
        services[2].server.close();
        QVERIFY2(putPadInFront(pad, copies), "the typing pad could not be brought to the front");

        // Each copy reports its failure, then goes on capturing.
        const auto failedAt = [](Service& service) {
            return service.app->saysLine(QString("diagnostics: failed \\| Analysis failed \\| ") +
                                         service.reported);
        };
        const bool capturing = pad.typeUntil([&] {
            return std::all_of(std::begin(services), std::end(services), [&](Service& service) {
                const qsizetype failure = failedAt(service);
                return failure >= 0 && service.app->says("Captured TypingPad - Typing Pad | ", failure);
            });
        });
        for (Service& service : services) {
            QVERIFY2(failedAt(service) >= 0, qPrintable(service.app->name() + " reported no failure"));
            QVERIFY(service.app->says("Opportunity analysis failed: "));
        }
        QVERIFY2(capturing, "a copy stopped capturing after its failed analysis");
        QCOMPARE(count(services[0].server, isAnalysis), 1);
        QCOMPARE(count(services[1].server, isAnalysis), 1);

        // The service recovers; after a quiet spell the next burst raises a nudge in every copy.
        QVERIFY(services[2].server.start(services[2].server.port()));
        for (Service& service : services) {
            service.server.setResponder(goodModel);
            service.mark = service.app->mark();
        }
        const auto allSay = [&](const QString& text) {
            return std::all_of(std::begin(services), std::end(services),
                               [&](Service& service) { return service.app->says(text, service.mark); });
        };
        QVERIFY2(waitUntil([&] { return allSay("Activity transition cool-down -> idle"); }, kIdleMs),
                 "the copies did not fall idle");
        for (Service& service : services)
            service.mark = service.app->mark();
        QVERIFY2(pad.typeUntil([&] { return allSay("diagnostics: nudge-visible | Nudge is ready"); }),
                 "a recovered service did not lead to a nudge in every copy");
        QCOMPARE(count(services[0].server, isAnalysis), 2);
        QCOMPARE(count(services[2].server, isAnalysis), 1);
        QCOMPARE(activeWindow(), pad.id());
        for (Service& service : services) {
            QVERIFY(waitUntil([&] { return !visibleWindows(service.app->pid(), "^Norvane$").isEmpty(); }));
            QVERIFY2(service.app->terminate(), qPrintable(service.app->name() + " did not end cleanly"));
            QVERIFY2(!service.app->leaksKey(), qPrintable(service.app->name() + " logged the API key"));
        }
    }
};

QTEST_GUILESS_MAIN(TestEndToEndNudgeFlow)
#include "tst_e2e_nudge_flow.moc"
