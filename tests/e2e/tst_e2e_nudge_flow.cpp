// The whole program as a user meets it: Norvane runs as its own process under a real X server with a
// window manager, the user types into another program's window, and the model service is a server on
// loopback that this test plays. Everything between the keystrokes and the card on screen is the
// product's own code: input monitoring, the loop, capture, the disk store, the model client, the card.
#include "E2eSupport.h"
#include "ModelServer.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTest>

using namespace norvane::testing;

namespace {

const QString kApiKey = QStringLiteral("AIzaE2E-do-not-log-7f3c9b21");
const QString kPatternId = QStringLiteral("manual-cell-colouring");
const QString kObservation =
    QStringLiteral("You are filling the grid in Typing Pad one coloured cell at a time.");
const QString kQuestion = QStringLiteral("What are you building with these coloured cells?");
const QString kAnswer = QStringLiteral("a status board for the team");
const QString kHeadline = QStringLiteral("Let a script colour the board");
const QString kPrompt =
    QStringLiteral("Write a Python script that colours a 28 by 17 grid from a status list.");

// A burst needs about nine seconds of typing for its third capture (a wake capture, then one every four
// seconds); the bounds leave room for a slow machine.
constexpr int kBurstTimeoutMs = 60000;
// Input stops, the loop cools down and falls idle twenty seconds later.
constexpr int kIdleTimeoutMs = 60000;

ModelServer::Reply opportunityReply() {
    const QJsonObject opportunity{{QStringLiteral("patternId"), kPatternId},
                                  {QStringLiteral("confidence"), 0.86},
                                  {QStringLiteral("observation"), kObservation},
                                  {QStringLiteral("question"), kQuestion},
                                  {QStringLiteral("category"), QStringLiteral("manual-work")}};
    // Wrapped in prose and a fence, as models like to answer.
    return ModelServer::modelText(
        QStringLiteral("Here is my verdict:\n```json\n") +
        QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("opportunity"), opportunity}}).toJson()) +
        QStringLiteral("```"));
}

ModelServer::Reply recommendationReply() {
    const QJsonObject recommendation{
        {QStringLiteral("headline"), kHeadline},
        {QStringLiteral("detail"),
         QStringLiteral("Keep the statuses in a list and let the script paint them.")},
        {QStringLiteral("prompt"), kPrompt},
        {QStringLiteral("effort"), QStringLiteral("2 min")},
        {QStringLiteral("impact"), QStringLiteral("Saves an hour a week")}};
    return ModelServer::modelText(QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("recommendation"), recommendation}}).toJson()));
}

// Answers as a working model service would.
ModelServer::Responder goodModel() {
    return [](const ModelServer::Request& request) {
        if (request.isAnalysis())
            return opportunityReply();
        if (request.isRecommendation())
            return recommendationReply();
        return ModelServer::Reply{400, R"({"error":{"code":400,"message":"Unexpected request."}})"};
    };
}

QByteArray inlineJpeg(const QJsonValue& part) {
    const QJsonObject data = part.toObject().value(QStringLiteral("inlineData")).toObject();
    if (data.value(QStringLiteral("mimeType")).toString() != QLatin1String("image/jpeg"))
        return {};
    return QByteArray::fromBase64(data.value(QStringLiteral("data")).toString().toLatin1(),
                                  QByteArray::AbortOnBase64DecodingErrors);
}

bool isJpegOfSize(const QByteArray& bytes, const QSize& size) {
    if (!bytes.startsWith("\xFF\xD8\xFF"))
        return false;
    const QImage image = QImage::fromData(bytes, "JPEG");
    return !image.isNull() && image.size() == size;
}

// The pad marks itself with a red band along its bottom edge while it does not have the focus.
bool showsPadWithoutFocus(const QByteArray& jpeg) {
    const QImage image = QImage::fromData(jpeg, "JPEG");
    if (image.isNull())
        return false;
    int red = 0;
    for (int x = 20; x < image.width(); x += 40) {
        const QColor pixel = image.pixelColor(x, image.height() - 8);
        if (pixel.red() > 160 && pixel.green() < 80 && pixel.blue() < 80)
            ++red;
    }
    return red > (image.width() / 40) * 3 / 4;
}

QSet<QByteArray> filesIn(const QString& folder, const QString& pattern) {
    QSet<QByteArray> contents;
    for (const QFileInfo& info : QDir(folder).entryInfoList({pattern}, QDir::Files)) {
        QFile file(info.absoluteFilePath());
        if (file.open(QIODevice::ReadOnly))
            contents.insert(file.readAll());
    }
    return contents;
}

} // namespace

class TestEndToEndNudgeFlow : public QObject {
    Q_OBJECT

    // Keeps typing into the pad, about two keys a second, until `condition` holds. Each key is confirmed
    // drawn by the pad, so it went to the pad and changed its picture.
    bool typeUntil(TypingPad& pad, const std::function<bool()>& condition, int timeoutMs) {
        static const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
        QDeadlineTimer deadline(timeoutMs);
        int next = 0;
        while (!condition()) {
            if (deadline.hasExpired() || !pad.typeOne(letters.at(next++ % letters.size())))
                return false;
            waitUntil(condition, 400);
        }
        return true;
    }

    // With no tray on this desktop each copy opens its settings window a few seconds after launch, and
    // it takes the focus: wait for that, then put the pad in front, as the user would.
    bool putPadInFront(TypingPad& pad, const QList<NorvaneInstance*>& instances) {
        QList<quint32> settingsWindows;
        for (NorvaneInstance* instance : instances) {
            const bool decided = waitUntil(
                [&] {
                    return instance->contains(QStringLiteral("No system tray is available")) ||
                           instance->contains(QStringLiteral("A system tray is available"));
                },
                30000);
            if (!decided)
                return false;
            if (!instance->contains(QStringLiteral("No system tray is available")))
                continue;
            QList<quint32> found;
            if (!waitUntil(
                    [&] {
                        found = visibleWindows(instance->pid(), QStringLiteral("^Norvane Settings$"));
                        return !found.isEmpty();
                    },
                    20000))
                return false;
            settingsWindows += found;
        }
        if (!settingsWindows.isEmpty())
            waitUntil([&] { return settingsWindows.contains(activeWindow()); }, 10000);
        return pad.activate();
    }

    bool leavesNoKey(NorvaneInstance& instance) {
        const QByteArray output = instance.output();
        return !output.contains(kApiKey.toUtf8()) && !output.contains("do-not-log-7f3c9b21");
    }

private slots:
    // Typing wakes the loop; three captures go to the model, its opportunity becomes a card that does
    // not take the focus; the user answers in the card, gets a recommendation, copies its prompt and
    // rejects it; the same pattern raises nothing on the next burst.
    void typingLeadsToARecommendationAndARejectionSticks() {
        ModelServer server;
        QVERIFY(server.listen());
        server.setResponder(goodModel());
        TypingPad pad;
        QVERIFY2(pad.isReady(), "the typing pad did not open");

        NorvaneInstance app(QStringLiteral("norvane"), server.baseUrl(), kApiKey);
        QVERIFY(app.start());
        QVERIFY2(putPadInFront(pad, {&app}), "the typing pad could not be brought to the front");

        // A burst of typing: a wake capture and active captures until the third one triggers analysis.
        QVERIFY2(typeUntil(
                     pad, [&] { return server.analysisCount() >= 1; }, kBurstTimeoutMs),
                 "no analysis request reached the model server");
        const ModelServer::Request analysis = *server.lastAnalysis();
        QCOMPARE(analysis.method, QByteArray("POST"));
        QCOMPARE(analysis.path, QByteArray("/v1beta/models/gemini-3-flash-preview:generateContent"));
        QCOMPARE(analysis.query, "key=" + kApiKey.toUtf8());
        const QJsonObject config = analysis.json.value(QStringLiteral("generationConfig")).toObject();
        QCOMPARE(config.value(QStringLiteral("responseMimeType")).toString(),
                 QStringLiteral("application/json"));
        QCOMPARE(config.value(QStringLiteral("temperature")).toDouble(), 0.2);

        // Seven parts: the prompt, then three images of the pad, each followed by its caption.
        const QJsonArray parts = analysis.parts();
        QCOMPARE(parts.size(), 7);
        QSet<QByteArray> sentImages;
        for (int i = 1; i < 7; i += 2) {
            const QByteArray jpeg = inlineJpeg(parts.at(i));
            QVERIFY2(isJpegOfSize(jpeg, QSize(800, 500)), qPrintable(QStringLiteral("image part %1").arg(i)));
            QVERIFY2(!showsPadWithoutFocus(jpeg), "the pad lost the focus during the burst");
            sentImages.insert(jpeg);
            const QString caption = parts.at(i + 1).toObject().value(QStringLiteral("text")).toString();
            QVERIFY2(caption.startsWith(
                         QStringLiteral("Screenshot %1: TypingPad - Typing Pad at ").arg(i / 2 + 1)),
                     qPrintable(caption));
        }
        QCOMPARE(sentImages.size(), 3);

        // The same frames are on disk: every capture, and the buffer mirror with its index.
        const QString captures = app.dataDirectory() + QStringLiteral("/captures");
        const QSet<QByteArray> captured = filesIn(captures, QStringLiteral("*.jpg"));
        QVERIFY2(captured.size() >= 3,
                 qPrintable(QStringLiteral("%1 captures on disk").arg(captured.size())));
        for (const QByteArray& image : sentImages)
            QVERIFY2(captured.contains(image),
                     "an image sent to the model is not among the captures on disk");
        QFile metadataFile(app.dataDirectory() + QStringLiteral("/buffer/metadata.json"));
        QVERIFY(metadataFile.open(QIODevice::ReadOnly));
        const QJsonArray metadata = QJsonDocument::fromJson(metadataFile.readAll()).array();
        QVERIFY(metadata.size() >= 3);
        QCOMPARE(metadata.first().toObject().value(QStringLiteral("appName")).toString(),
                 QStringLiteral("TypingPad"));
        QCOMPARE(metadata.first().toObject().value(QStringLiteral("captureReason")).toString(),
                 QStringLiteral("resumed-after-idle"));
        const QSet<QByteArray> buffered =
            filesIn(app.dataDirectory() + QStringLiteral("/buffer"), QStringLiteral("*.jpg"));
        QCOMPARE(buffered.size(), qsizetype(metadata.size()));

        // The card appears and the pad keeps the focus.
        QVERIFY(waitUntil(
            [&] { return app.contains(QStringLiteral("Showing the nudge card in phase question")); }, 20000));
        QList<quint32> cards;
        QVERIFY(waitUntil(
            [&] {
                cards = visibleWindows(app.pid(), QStringLiteral("^Norvane$"));
                return cards.size() == 1;
            },
            20000));
        const quint32 card = cards.first();
        QVERIFY(app.contains(QStringLiteral("diagnostics: nudge-visible | Nudge is ready")));
        const auto answerField = app.settledCentre(QStringLiteral("answerField"), 20000);
        QVERIFY2(answerField, "the answer field never came to rest on screen");
        QCOMPARE(activeWindow(), pad.id());
        QCOMPARE(app.locate(QStringLiteral("observationText")).value(QStringLiteral("text")).toString(),
                 kObservation);
        QCOMPARE(app.locate(QStringLiteral("questionText")).value(QStringLiteral("text")).toString(),
                 kQuestion);
        QCOMPARE(
            qint64(
                app.locate(QStringLiteral("answerField")).value(QStringLiteral("panelWindow")).toInteger()),
            qint64(card));

        // Clicking into the answer field gives the card the keyboard; the answer goes with Return.
        QVERIFY(clickAt(answerField->x(), answerField->y()));
        QVERIFY2(waitUntil([&] { return activeWindow() == card; }, 10000), "the card did not take the focus");
        QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), kAnswer}));
        QVERIFY(waitUntil(
            [&] {
                return app.locate(QStringLiteral("answerField")).value(QStringLiteral("text")).toString() ==
                       kAnswer;
            },
            10000));
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));

        // The follow-up carries the answer and a screenshot of the pad.
        QVERIFY2(waitUntil([&] { return server.recommendationCount() == 1; }, 20000),
                 "no recommendation request reached the model server");
        const ModelServer::Request followUp = *server.lastRecommendation();
        QCOMPARE(followUp.query, "key=" + kApiKey.toUtf8());
        QVERIFY(followUp.promptText().contains(QStringLiteral("WHAT THE USER SAID THEY'RE DOING: ") +
                                               kAnswer + '\n'));
        QVERIFY(followUp.promptText().contains(QStringLiteral("WHAT WE OBSERVED: ") + kObservation));
        QCOMPARE(followUp.parts().size(), 3);
        QVERIFY(isJpegOfSize(inlineJpeg(followUp.parts().at(1)), QSize(800, 500)));
        // Taken after the answer was given, so after the pad lost the focus to the card: the card that
        // holds the keyboard never counts as the application in front.
        QVERIFY2(showsPadWithoutFocus(inlineJpeg(followUp.parts().at(1))), "the screenshot is not fresh");
        QCOMPARE(followUp.parts().at(2).toObject().value(QStringLiteral("text")).toString(),
                 QStringLiteral("Current screenshot: TypingPad - Typing Pad"));

        // The card turns to the recommendation.
        QVERIFY2(
            waitUntil(
                [&] {
                    return app.contains(QStringLiteral("Showing the nudge card in phase recommendation"));
                },
                20000),
            qPrintable(app.locate(QStringLiteral("errorText")).value(QStringLiteral("text")).toString()));
        const auto copyButton = app.settledCentre(QStringLiteral("copyButton"), 20000);
        QVERIFY2(copyButton, "the copy button never came to rest on screen");
        const QJsonObject headline = app.locate(QStringLiteral("headlineText"));
        QVERIFY(headline.value(QStringLiteral("visible")).toBool());
        QCOMPARE(headline.value(QStringLiteral("text")).toString(), kHeadline);
        QCOMPARE(app.locate(QStringLiteral("promptText")).value(QStringLiteral("text")).toString(), kPrompt);
        QVERIFY(!app.locate(QStringLiteral("answerField")).value(QStringLiteral("visible")).toBool());

        // The recommendation is on disk with what the user said.
        const QString recommendations = app.dataDirectory() + QStringLiteral("/recommendations");
        QVERIFY(
            waitUntil([&] { return filesIn(recommendations, QStringLiteral("*.json")).size() == 1; }, 10000));
        const QJsonObject record =
            QJsonDocument::fromJson(*filesIn(recommendations, QStringLiteral("*.json")).begin()).object();
        QCOMPARE(record.value(QStringLiteral("userAnswer")).toString(), kAnswer);
        QCOMPARE(record.value(QStringLiteral("prompt")).toString(), kPrompt);
        QCOMPARE(record.value(QStringLiteral("patternId")).toString(), kPatternId);
        QCOMPARE(record.value(QStringLiteral("headline")).toString(), kHeadline);

        // "Copy" puts the prompt where any other program can paste it.
        QVERIFY(clickAt(copyButton->x(), copyButton->y()));
        QVERIFY2(waitUntil([&] { return clipboardText() == kPrompt; }, 10000), qPrintable(clipboardText()));

        // "Not useful" closes the card.
        const auto notUseful = app.settledCentre(QStringLiteral("notUsefulButton"), 20000);
        QVERIFY(notUseful);
        qsizetype mark = app.mark();
        QVERIFY(clickAt(notUseful->x(), notUseful->y()));
        QVERIFY(
            waitUntil([&] { return app.contains(QStringLiteral("The nudge card is hidden"), mark); }, 10000));
        // The window is unmapped on the X server a moment after the program says so.
        QVERIFY(waitUntil([&] { return visibleWindows(app.pid(), QStringLiteral("^Norvane$")).isEmpty(); },
                          10000));
        QVERIFY(app.contains(QStringLiteral("diagnostics: waiting-for-activity | Waiting for activity | "),
                             mark));
        QVERIFY(pad.activate());

        // After a quiet spell the same work raises nothing: the pattern was rejected.
        mark = app.mark();
        QVERIFY2(
            waitUntil(
                [&] { return app.contains(QStringLiteral("Activity transition cool-down -> idle"), mark); },
                kIdleTimeoutMs),
            "the loop did not fall idle");
        mark = app.mark();
        QVERIFY2(typeUntil(
                     pad, [&] { return server.analysisCount() >= 2; }, kBurstTimeoutMs),
                 "the second burst was not analysed");
        // Once the burst counts as analysed, the verdict has been handled (a card would say so at once).
        QVERIFY(typeUntil(
            pad,
            [&] {
                return app.contains(QStringLiteral("because this burst was already analyzed"), mark) ||
                       app.contains(QStringLiteral("Showing the nudge card"), mark);
            },
            kBurstTimeoutMs));
        QVERIFY(!app.contains(QStringLiteral("Showing the nudge card"), mark));
        QVERIFY(visibleWindows(app.pid(), QStringLiteral("^Norvane$")).isEmpty());
        QCOMPARE(server.recommendationCount(), 1);
        QCOMPARE(activeWindow(), pad.id());

        QVERIFY2(app.terminate(), "Norvane did not end cleanly on SIGTERM");
        QVERIFY(app.contains(QStringLiteral("Monitoring stopped")));
        QVERIFY2(leavesNoKey(app), "the API key appeared in Norvane's output");
    }

    // The model service failing in three ways: each failure is reported with its reason, the loop goes
    // on capturing, and once the service answers properly the next burst raises a nudge. Three copies
    // of Norvane watch the same typing, each with its own service.
    void failedAnalysesAreReportedAndTheLoopGoesOn() {
        ModelServer failing;
        QVERIFY(failing.listen());
        failing.setResponder([](const ModelServer::Request&) {
            return ModelServer::Reply{
                500,
                R"({"error":{"code":500,"message":"The model is overloaded. Try again later.","status":"INTERNAL"}})"};
        });
        ModelServer garbage;
        QVERIFY(garbage.listen());
        garbage.setResponder([](const ModelServer::Request&) {
            return ModelServer::Reply{200, QByteArray("<html><body>Service Temporarily Unavailable")};
        });
        ModelServer offline;
        QVERIFY(offline.listen());
        const quint16 offlinePort = offline.port();
        offline.close();

        TypingPad pad;
        QVERIFY2(pad.isReady(), "the typing pad did not open");
        NorvaneInstance answering500(QStringLiteral("http-500"), failing.baseUrl(), kApiKey);
        NorvaneInstance answeringGarbage(QStringLiteral("garbage"), garbage.baseUrl(), kApiKey);
        NorvaneInstance unreachable(QStringLiteral("not-listening"), offline.baseUrl(), kApiKey);
        const QList<NorvaneInstance*> all{&answering500, &answeringGarbage, &unreachable};
        for (NorvaneInstance* instance : all) {
            QVERIFY(instance->start());
        }
        QVERIFY2(putPadInFront(pad, all), "the typing pad could not be brought to the front");

        struct Expectation {
            NorvaneInstance* instance;
            QRegularExpression line;
        };
        const QList<Expectation> failures{
            {&answering500,
             QRegularExpression(
                 QStringLiteral(
                     R"(^diagnostics: failed \| Analysis failed \| The model is overloaded\. Try again later\.$)"),
                 QRegularExpression::MultilineOption)},
            {&answeringGarbage,
             QRegularExpression(
                 QStringLiteral(R"(^diagnostics: failed \| Analysis failed \| The data couldn't be )"
                                R"(read because it isn't valid JSON \(.+\)\.$)"),
                 QRegularExpression::MultilineOption)},
            {&unreachable,
             QRegularExpression(
                 QStringLiteral(R"(^diagnostics: failed \| Analysis failed \| Connection refused$)"),
                 QRegularExpression::MultilineOption)},
        };
        const bool allFailed = typeUntil(
            pad,
            [&] {
                for (const Expectation& expected : failures) {
                    if (!expected.instance->find(expected.line))
                        return false;
                }
                return true;
            },
            kBurstTimeoutMs);
        QVERIFY2(allFailed, "not every copy reported its failed analysis");
        QCOMPARE(failing.analysisCount(), 1);
        QCOMPARE(garbage.analysisCount(), 1);
        for (const Expectation& expected : failures)
            QVERIFY(expected.instance->contains(QStringLiteral("Opportunity analysis failed: ")));

        // The loop goes on: each copy captures again after its failure.
        const bool capturing = typeUntil(
            pad,
            [&] {
                for (const Expectation& expected : failures) {
                    const auto failure = expected.instance->find(expected.line);
                    if (!failure ||
                        !expected.instance->contains(QStringLiteral("Captured TypingPad - Typing Pad | "),
                                                     failure->capturedEnd()))
                        return false;
                }
                return true;
            },
            kBurstTimeoutMs);
        QVERIFY2(capturing, "a copy stopped capturing after its failed analysis");

        // The service recovers; after a quiet spell the next burst raises a nudge in every copy.
        failing.setResponder(goodModel());
        garbage.setResponder(goodModel());
        offline.setResponder(goodModel());
        QVERIFY(offline.listen(offlinePort));
        QList<qsizetype> marks;
        for (NorvaneInstance* instance : all)
            marks.push_back(instance->mark());
        QVERIFY2(waitUntil(
                     [&] {
                         for (qsizetype i = 0; i < all.size(); ++i) {
                             if (!all[i]->contains(QStringLiteral("Activity transition cool-down -> idle"),
                                                   marks[i]))
                                 return false;
                         }
                         return true;
                     },
                     kIdleTimeoutMs),
                 "the copies did not fall idle");
        for (qsizetype i = 0; i < all.size(); ++i)
            marks[i] = all[i]->mark();
        const bool nudged = typeUntil(
            pad,
            [&] {
                for (qsizetype i = 0; i < all.size(); ++i) {
                    if (!all[i]->contains(QStringLiteral("Showing the nudge card in phase question"),
                                          marks[i]))
                        return false;
                }
                return true;
            },
            kBurstTimeoutMs);
        QVERIFY2(nudged, "a recovered service did not lead to a nudge in every copy");
        QCOMPARE(failing.analysisCount(), 2);
        QCOMPARE(garbage.analysisCount(), 2);
        QCOMPARE(offline.analysisCount(), 1);
        for (qsizetype i = 0; i < all.size(); ++i) {
            QVERIFY(
                all[i]->contains(QStringLiteral("diagnostics: nudge-visible | Nudge is ready"), marks[i]));
            QVERIFY(!visibleWindows(all[i]->pid(), QStringLiteral("^Norvane$")).isEmpty());
        }
        QCOMPARE(activeWindow(), pad.id());

        for (NorvaneInstance* instance : all) {
            QVERIFY2(instance->terminate(),
                     qPrintable(instance->name() + QStringLiteral(" did not end cleanly")));
            QVERIFY2(leavesNoKey(*instance),
                     qPrintable(instance->name() + QStringLiteral(" logged the API key")));
        }
    }
};

QTEST_GUILESS_MAIN(TestEndToEndNudgeFlow)
#include "tst_e2e_nudge_flow.moc"
