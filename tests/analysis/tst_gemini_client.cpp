// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "AnalysisTesting.h"
#include "LoopbackHttpServer.h"
#include "analysis/GeminiClient.h"
#include "analysis/ModelClients.h"
#include "analysis/OpportunityAnalyzer.h"
#include "analysis/RecommendationEngine.h"
#include "capture/SentRequestLog.h"
#include "fakes/Fakes.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace norvane;
using namespace norvane::testing;

using Result = Expected<QString, GeminiClientError>;
using Kind = GeminiClientError::Kind;
using Response = LoopbackHttpServer::Response;

Q_DECLARE_METATYPE(std::optional<GeminiClientError::Kind>)
Q_DECLARE_METATYPE(LoopbackHttpServer::Response)
Q_DECLARE_METATYPE(GeminiClientLimits)

namespace {

// Characters the query syntax would misread if they were sent as typed.
const QString oddKey = QStringLiteral("AIza odd+key&x=1/ä#");

// JSON written with single quotes (moc misreads raw string literals).
QByteArray q(const char* json) {
    return QByteArray(json).replace('\'', '"');
}

QByteArray textReply(const QString& text) {
    const QJsonObject content{{"parts", QJsonArray{QJsonObject{{"text", text}}}}};
    return QJsonDocument(QJsonObject{{"candidates", QJsonArray{QJsonObject{{"content", content}}}}})
        .toJson(QJsonDocument::Compact);
}

QByteArray envelope(const QByteArray& message) {
    return q("{'error':{'code':400,'message':'") + message + q("','status':'INVALID_ARGUMENT'}}");
}

// Whether the text shows the key in any form the masking knows (checked on its own below).
bool carriesKey(const QString& text) {
    return GeminiClient::maskApiKey(text, oddKey) != text;
}

} // namespace

class TestGeminiClient : public QObject {
    Q_OBJECT

    std::unique_ptr<LoopbackHttpServer> m_server;

    auto send(GeminiClient& client, CancellationToken cancel = {}) {
        return startTask(client.generate({GeminiRequestPart::fromText("Reply with exactly OK.")},
                                         ModelConnection::gemini(oddKey), 0, {}, cancel));
    }

    ModelConnection openAI(QString apiKey = oddKey, const QString& path = "/v1/") {
        return {ModelProvider::OpenAICompatible, m_server->baseUrl().resolved(path), "llava:7b", apiKey};
    }

    // The reply, or the error's description after "error: ".
    QString ask(GeminiGenerating& client, ModelConnection connection) {
        auto task = startTask(
            client.generate({GeminiRequestPart::fromText("look"), GeminiRequestPart::fromJpeg("/9j/AA")},
                            connection, 0.2, "application/json"));
        (void)QTest::qWaitFor([&] { return task->has_value(); }, 10000);
        const Result result = task->value_or(GeminiClientError::transport("the test gave up waiting"));
        return result ? result.value() : "error: " + result.error().description();
    }

    Result sendAndWait(GeminiClient& client) {
        auto result = send(client);
        (void)QTest::qWaitFor([&] { return result->has_value(); }, 10000);
        return result->value_or(GeminiClientError::transport("the test gave up waiting"));
    }

private Q_SLOTS:
    void init() {
        m_server = std::make_unique<LoopbackHttpServer>();
        QVERIFY(m_server->start());
    }
    void cleanup() { m_server.reset(); }

    // The request byte for byte, the key only in the query; a cookie the service sets is not sent back.
    void sendsExactlyTheWireRequest() {
        ManualClock clock;
        auto response = LoopbackHttpServer::json(200, textReply("OK"));
        response.extraHeaders.append(LoopbackHttpServer::Header{"Set-Cookie", "session=abc123; Path=/"});
        m_server->setResponse(response);
        GeminiClient client(m_server->baseUrl(), GeminiClientLimits{.clock = &clock});
        auto first = startTask(
            client.generate({GeminiRequestPart::fromText("prompt"), GeminiRequestPart::fromJpeg("/9j/AAEC")},
                            ModelConnection::gemini(oddKey), 0.2, "application/json"));
        QTRY_VERIFY_WITH_TIMEOUT(first->has_value(), 10000);
        QCOMPARE(sendAndWait(client).value(), QStringLiteral("OK"));
        QCOMPARE(clock.pendingTimers(), 0);

        const auto& request = m_server->requests().at(0);
        QCOMPARE(request.method + ' ' + request.path + '?' + request.query,
                 "POST /v1beta/models/gemini-3-flash-preview:generateContent?key=" +
                     QUrl::toPercentEncoding(oddKey));
        QCOMPARE(request.body,
                 q("{'contents':[{'parts':[{'text':'prompt'},{'inlineData':{'data':'/9j/AAEC',"
                   "'mimeType':'image/jpeg'}}]}],'generationConfig':{'responseMimeType':'application/json',"
                   "'temperature':0.2}}"));
        QCOMPARE(request.header("Content-Type"), std::optional<QByteArray>("application/json"));
        QCOMPARE(request.header("User-Agent"), std::optional<QByteArray>("Norvane/" NORVANE_VERSION));
        QVERIFY(!carriesKey(QString::fromUtf8(QByteArray(request.raw).replace(request.query, ""))));
        QCOMPARE(m_server->requests().at(1).header("Cookie"), std::nullopt);
    }

    // A named model changes the path and nothing else.
    void namedModelInPath() {
        GeminiClient client(m_server->baseUrl());
        ask(client, ModelConnection::gemini(oddKey));
        ask(client, ModelConnection::gemini(oddKey, "gemini-2.5-pro"));
        QCOMPARE(m_server->requests().at(1).path, "/v1beta/models/gemini-2.5-pro:generateContent");
        QCOMPARE(m_server->requests().at(1).body, m_server->requests().at(0).body);
    }

    void interpretsReplies_data() {
        QTest::addColumn<Response>("response");
        QTest::addColumn<GeminiClientLimits>("limits");
        QTest::addColumn<std::optional<Kind>>("kind"); // nothing: success
        QTest::addColumn<QString>("text");             // the reply or the error's description; "" = any
        const QString tooLarge = "Gemini sent a reply larger than %1, so Norvane stopped reading it.";
        const std::optional<Kind> ok, api = Kind::ApiError;
        const auto row = [](const char* name, const Response& response, std::optional<Kind> kind,
                            const QString& text, GeminiClientLimits limits = {}) {
            QTest::newRow(name) << response << limits << kind << text;
        };
        row("parts joined and trimmed, one without text",
            {.body = q("{'candidates':[{'content':{'parts':[{'text':' 1'},{'inlineData':{}},"
                       "{'text':'2 \\n'}]}}]}")},
            ok, "1\n2");
        row("blank text", {.body = textReply(" \n\t ")}, Kind::EmptyResponse,
            "Gemini returned an empty response.");
        row("not JSON: the decoder's error", {.body = "<html>OK</html>"}, Kind::Decoding, {});
        row("model not found, any case",
            {.status = 404, .body = envelope("models/x is NOT FOUND for API Version 1.")}, api,
            "The configured Gemini model (gemini-3-flash-preview) is unavailable for this API key or API "
            "version. Check the current Gemini model docs and update the app default model if needed.");
        row("blank envelope message", {.status = 429, .body = envelope(" ")}, api,
            "Gemini returned HTTP 429.");
        row("blank body", {.status = 503, .body = " \r\n"}, api, "Gemini returned HTTP 503.");
        // A server that repeats the URL back: the key never reaches the description.
        const QByteArray echo = "POST /v1beta/models/gemini-3-flash-preview:generateContent?key=" +
                                QUrl::toPercentEncoding(oddKey) + " failed; key " + oddKey.toUtf8();
        const QString masked = QString("POST /v1beta/models/gemini-3-flash-preview:generateContent?key=%1 "
                                       "failed; key %1")
                                   .arg(GeminiClient::apiKeyMask);
        row("URL echoed in the body", {.status = 500, .body = echo}, api, masked);
        row("URL echoed in the envelope", {.status = 400, .body = envelope(echo)}, api, masked);
        row("redirect not followed",
            {.status = 301, .body = "moved", .extraHeaders = {{"Location", "/elsewhere"}}}, api, "moved");

        // The caps, with the connection left open: only the cap can end these replies. By default it is 20
        // MiB.
        row("declared length over the default cap",
            {.body = "x", .declaredLength = (20 << 20) + 1, .stallAfterBodyBytes = 0}, api,
            tooLarge.arg("20 MiB"));
        row("undeclared body over the cap",
            {.body = QByteArray(1 << 20, 'y'), .declaredLength = -1, .stallAfterBodyBytes = 1 << 20}, api,
            tooLarge.arg("65536 bytes"), {.maxReplyBytes = 64 * 1024});
        row("no progress", {.body = textReply("late"), .stallAfterBodyBytes = 3}, Kind::Transport,
            "The request timed out.", {.progressTimeoutSeconds = 0.2});
    }

    void interpretsReplies() {
        QFETCH(Response, response);
        QFETCH(GeminiClientLimits, limits);
        QFETCH(std::optional<Kind>, kind);
        QFETCH(QString, text);
        m_server->setResponse(response);
        GeminiClient client(m_server->baseUrl(), limits);
        const Result result = sendAndWait(client);
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(result ? std::nullopt : std::optional(result.error().kind()), kind);
        const QString got = result ? result.value() : result.error().description();
        QVERIFY(!got.isEmpty());
        if (!text.isEmpty())
            QCOMPARE(got, text);
    }

    // Every way a request ends early closes its connection and leaves no timer behind; the overall time-out
    // runs on the injected clock.
    void abandonedRequests() {
        for (const QString how : {"overall time-out", "cancelled", "client destroyed"}) {
            ManualClock clock;
            m_server->setResponse({.body = textReply("late"), .stallAfterBodyBytes = 5});
            auto client =
                std::make_unique<GeminiClient>(m_server->baseUrl(), GeminiClientLimits{.clock = &clock});
            CancellationSource source;
            auto result = send(*client, source.token());
            QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 10000);
            if (how == "overall time-out") {
                clock.advance(59.9);
                QVERIFY(!result->has_value());
                clock.advance(0.2);
            }
            if (how == "cancelled")
                source.cancel();
            if (how == "client destroyed")
                client.reset();
            QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 10000);
            QCOMPARE(result->value().error(), how == "overall time-out"
                                                  ? GeminiClientError::transport("The request timed out.")
                                                  : GeminiClientError::cancelled());
            QCOMPARE(clock.pendingTimers(), 0);
            QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 10000);
        }
    }

    // Failures before any reply: an unusable address, and nobody listening.
    void unreachable() {
        GeminiClient noHost(QUrl("http://"));
        QCOMPARE(sendAndWait(noHost).error().kind(), Kind::InvalidURL);
        GeminiClient client(m_server->baseUrl());
        m_server->close();
        const QString refused = sendAndWait(client).error().description();
        QVERIFY2(!refused.isEmpty() && !carriesKey(refused), qPrintable(refused));
    }

    // "#" stands for the mask. A pasted text far longer than a key is masked like any other, and nothing
    // is printed on the way (Qt's own warnings would print the pattern).
    void masksEveryFormOfTheKey() {
        const QString huge = QString(8000, u'k') + "+/";
        const std::tuple<QString, QString, QString> rows[] = {
            {"K3y", "a K3yK3y k3y K3Y", "a ## k3y K3Y"}, // letter case matters
            {"a+b c", "?key=a%2Bb%20c&key=a%2bb%20c", "?key=#&key=#"},
            {"a b", "key=a+b", "key=#"},
            {"kä", "kä k%C3%A4 k%c3%a4", "# # #"},
            {"a.b*", "aXbb a.b*", "aXbb #"},
            {"", "text", "text"},
            {huge, "url?key=" + QUrl::toPercentEncoding(huge) + " and " + huge, "url?key=# and #"}};
        LogCapture log;
        for (auto [key, text, masked] : rows)
            QCOMPARE(GeminiClient::maskApiKey(text, key), masked.replace('#', GeminiClient::apiKeyMask));
        QCOMPARE(log.messages("default"), QStringList());
    }

    // Each request that carries frames leaves one entry: what it was, the frames by name and what came
    // back; never the key.
    void sentRequestsAreRecorded() {
        QTemporaryDir dir;
        SentRequestLog log(dir.filePath("sent.jsonl"));
        GeminiClient client(m_server->baseUrl());
        const QList<Screenshot> frames{makeScreenshot("Sheets", "Budget"), makeScreenshot("Sheets", "Q3"),
                                       makeScreenshot("Mail", "Inbox")};
        m_server->setResponse(LoopbackHttpServer::json(
            200, textReply("{\"opportunity\":{\"patternId\":\"p\",\"confidence\":0.9,\"category\":"
                           "\"manual-work\",\"observation\":\"Cells are styled by hand.\",\"question\":"
                           "\"What are the cells for?\"}}")));
        OpportunityAnalyzer analyzer(&client, nullptr, &log);
        auto verdict = startTask(analyzer.analyzeOutcome(frames, ModelConnection::gemini(oddKey), 0.5));
        QTRY_VERIFY_WITH_TIMEOUT(verdict->has_value(), 10000);
        m_server->setResponse(LoopbackHttpServer::json(
            200,
            textReply("{\"recommendation\":{\"headline\":\"Use a style.\",\"detail\":\"One click.\","
                      "\"prompt\":\"Make a style.\",\"effort\":\"1 minute\",\"impact\":\"5 minutes\"}}")));
        RecommendationEngine engine(&client, nullptr, &log);
        auto recommendation = startTask(
            engine.generateRecommendation({}, "Budget", frames[2], ModelConnection::gemini(oddKey)));
        QTRY_VERIFY_WITH_TIMEOUT(recommendation->has_value(), 10000);

        const SentRequestPage page = QCoro::waitFor(log.readSentRequests(0, 5));
        QCOMPARE(page.total, 2);
        QCOMPARE(page.entries[1].kind, SentRequestKind::analysis);
        QCOMPARE(page.entries[1].outcome, "Cells are styled by hand.\nWhat are the cells for?");
        QCOMPARE(page.entries[1].frames.size(), 3);
        QCOMPARE(page.entries[1].frames[1].windowTitle, "Q3");
        QCOMPARE(page.entries[0].kind, SentRequestKind::recommendation);
        QCOMPARE(page.entries[0].outcome + page.entries[0].prompt.value_or(""),
                 "Use a style.\nOne click.Make a style.");
        QCOMPARE(page.entries[0].frames.value(0).appName, "Mail");
        QFile file(log.filePath());
        QVERIFY(file.open(QIODevice::ReadOnly) && !carriesKey(QString::fromUtf8(file.readAll())));
    }

    // MARK: OpenAI-compatible servers

    // The parts in order as one user message, the key only as a bearer token and only when there is one. A
    // server without a JSON mode refuses it once; after that it is asked without.
    void sendsTheChatRequest() {
        m_server->setResponder([](const LoopbackHttpServer::Request& request) {
            return request.body.contains("response_format")
                       ? Response{.status = 400}
                       : LoopbackHttpServer::json(200, q("{'choices':[{'message':{'content':'OK'}}]}"));
        });
        OpenAICompatibleClient client;
        QCOMPARE(ask(client, openAI({}, "/v1")), "OK");
        QCOMPARE(ask(client, openAI(oddKey, "/v1/")), "OK");
        const auto& requests = m_server->requests();
        QCOMPARE(requests.size(), 3);
        QCOMPARE(requests[0].method + ' ' + requests[0].path + ' ' + requests[2].path,
                 "POST /v1/chat/completions /v1/chat/completions");
        QCOMPARE(
            requests[0].body,
            q("{'max_tokens':2048,'messages':[{'content':[{'text':'look','type':'text'},{'image_url':{'url':"
              "'data:image/jpeg;base64,/9j/AA'},'type':'image_url'}],'role':'user'}],'model':'llava:7b',"
              "'response_format':{'type':'json_object'},'temperature':0.2}"));
        QCOMPARE(requests[0].header("Authorization"), std::nullopt);
        QCOMPARE(requests[2].header("Authorization"), "Bearer " + oddKey.toUtf8());
    }

    void interpretsChatReplies_data() {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char* name, const Response& response, const QString& outcome) {
            QTest::newRow(name) << response << outcome;
        };
        row("content as a string", {.body = q("{'choices':[{'message':{'content':' {} \\n'}}]}")}, "{}");
        row("content as parts",
            {.body = q("{'choices':[{'message':{'content':[{'type':'text','text':'a'},{'type':'image_url'},"
                       "{'text':'b '}]}}]}")},
            "a\nb");
        row("no choices", {.body = q("{'choices':[]}")}, "error: Gemini returned an empty response.");
        row("envelope with the key",
            {.status = 401, .body = envelope("Bad key " + QUrl::toPercentEncoding(oddKey))},
            "error: Bad key " + GeminiClient::apiKeyMask);
        row("string error", {.status = 404, .body = q("{'error':'model not found'}")},
            "error: model not found");
        row("plain body", {.status = 502, .body = "Bad gateway"}, "error: Bad gateway");
        row("not UTF-8", {.status = 500, .body = "\xff"}, "error: The model server returned HTTP 500.");
        row("redirect not followed", {.status = 302, .body = "moved", .extraHeaders = {{"Location", "/v2"}}},
            "error: moved");
    }

    void interpretsChatReplies() {
        QFETCH(Response, response);
        m_server->setResponse(response);
        OpenAICompatibleClient client;
        QTEST(ask(client, openAI()), "outcome");
        QCOMPARE(m_server->requests().size(), 1);
    }

    // Each request goes to its provider's client; an unusable connection goes nowhere.
    void routesByProvider() {
        ModelClients clients(m_server->baseUrl());
        const ModelConnection remote{ModelProvider::OpenAICompatible, QUrl("http://192.168.1.5/v1"), "m", {}};
        QCOMPARE(ask(clients, remote), "error: " + remote.problem());
        ask(clients, ModelConnection::gemini(oddKey, "gemini-2.5-pro"));
        ask(clients, openAI());
        QCOMPARE(m_server->requests().size(), 2);
        QCOMPARE(m_server->requests()[0].path + ' ' + m_server->requests()[1].path,
                 "/v1beta/models/gemini-2.5-pro:generateContent /v1/chat/completions");
    }
};

QTEST_GUILESS_MAIN(TestGeminiClient)
#include "tst_gemini_client.moc"
