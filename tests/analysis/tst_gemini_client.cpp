#include "AwaitTask.h"
#include "LoopbackHttpServer.h"
#include "analysis/GeminiClient.h"
#include "fakes/ManualClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>
#include <QUrlQuery>

using namespace norvane;
using namespace norvane::testing;

using Result = Expected<QString, GeminiClientError>;
using Kind = GeminiClientError::Kind;

Q_DECLARE_METATYPE(GeminiClientError::Kind)
Q_DECLARE_METATYPE(LoopbackHttpServer::Response)
Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(QList<GeminiRequestPart>)

namespace {

const QString testKey = QStringLiteral("AIzaTestKey-0123456789_abcdefghijklmno");
// A key with characters the query syntax would misread if they were sent as typed.
const QString oddKey = QStringLiteral("AIza odd+key&x=1/ä#");

QByteArray replyWithParts(const QJsonArray& parts) {
    const QJsonObject reply{{QStringLiteral("candidates"),
                             QJsonArray{QJsonObject{{QStringLiteral("content"),
                                                     QJsonObject{{QStringLiteral("parts"), parts}}}}}}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

QByteArray textReply(const QString& text) {
    return replyWithParts(QJsonArray{QJsonObject{{QStringLiteral("text"), text}}});
}

QByteArray errorEnvelope(const QString& message) {
    return QJsonDocument(
               QJsonObject{{QStringLiteral("error"),
                            QJsonObject{{QStringLiteral("code"), 400},
                                        {QStringLiteral("message"), message},
                                        {QStringLiteral("status"), QStringLiteral("INVALID_ARGUMENT")}}}})
        .toJson(QJsonDocument::Compact);
}

const QString unavailableSentence = QStringLiteral(
    "The configured Gemini model (gemini-3-flash-preview) is unavailable for this API key or API "
    "version. Check the current Gemini model docs and update the app default model if needed.");

// Every way the key could show up in a text: as typed and percent-encoded with either hex case.
QStringList keyForms(const QString& key) {
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(key));
    QString lowerHex = encoded;
    for (qsizetype i = lowerHex.indexOf(QLatin1Char('%')); i >= 0;
         i = lowerHex.indexOf(QLatin1Char('%'), i + 1))
        lowerHex.replace(i + 1, 2, lowerHex.mid(i + 1, 2).toLower());
    return {key, encoded, lowerHex};
}

bool carriesKey(const QString& text, const QString& key) {
    for (const QString& form : keyForms(key)) {
        if (text.contains(form))
            return true;
    }
    return false;
}

// A port on which nothing listens: a server is started and stopped again.
quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TestGeminiClient : public QObject {
    Q_OBJECT

    std::unique_ptr<LoopbackHttpServer> m_server;

    std::shared_ptr<std::optional<Result>> send(GeminiClient& client, const QString& key = testKey,
                                                CancellationToken cancel = {}) {
        return startTask(
            client.generate({GeminiRequestPart::fromText(QStringLiteral("Reply with exactly OK."))}, key, 0,
                            std::nullopt, cancel));
    }

    Result sendAndWait(GeminiClient& client, const QString& key = testKey) {
        auto result = send(client, key);
        if (!QTest::qWaitFor([&] { return result->has_value(); }, 10000))
            return GeminiClientError::transport(QStringLiteral("the test gave up waiting"));
        return **result;
    }

private slots:
    void init() {
        m_server = std::make_unique<LoopbackHttpServer>();
        QVERIFY(m_server->start());
    }
    void cleanup() { m_server.reset(); }

    void sendsExactlyTheWireRequest_data() {
        QTest::addColumn<QList<GeminiRequestPart>>("parts");
        QTest::addColumn<double>("temperature");
        QTest::addColumn<std::optional<QString>>("mimeType");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonObject>("expectedBody");

        const QList<GeminiRequestPart> analysis{
            GeminiRequestPart::fromText(QStringLiteral("prompt text")),
            GeminiRequestPart::fromJpeg(QStringLiteral("/9j/AAEC")),
            GeminiRequestPart::fromText(QStringLiteral("Screenshot 1: caption")),
            GeminiRequestPart::fromJpeg(QStringLiteral("/9j/AwQF")),
        };
        const QJsonObject analysisBody{
            {QStringLiteral("contents"),
             QJsonArray{QJsonObject{
                 {QStringLiteral("parts"),
                  QJsonArray{
                      QJsonObject{{QStringLiteral("text"), QStringLiteral("prompt text")}},
                      QJsonObject{{QStringLiteral("inlineData"),
                                   QJsonObject{{QStringLiteral("mimeType"), QStringLiteral("image/jpeg")},
                                               {QStringLiteral("data"), QStringLiteral("/9j/AAEC")}}}},
                      QJsonObject{{QStringLiteral("text"), QStringLiteral("Screenshot 1: caption")}},
                      QJsonObject{{QStringLiteral("inlineData"),
                                   QJsonObject{{QStringLiteral("mimeType"), QStringLiteral("image/jpeg")},
                                               {QStringLiteral("data"), QStringLiteral("/9j/AwQF")}}}},
                  }}}}},
            {QStringLiteral("generationConfig"),
             QJsonObject{{QStringLiteral("temperature"), 0.2},
                         {QStringLiteral("responseMimeType"), QStringLiteral("application/json")}}},
        };
        QTest::newRow("analysis: images in order, JSON asked for")
            << analysis << 0.2 << std::optional<QString>(QStringLiteral("application/json")) << testKey
            << analysisBody;

        const QJsonObject connectionTestBody{
            {QStringLiteral("contents"),
             QJsonArray{QJsonObject{{QStringLiteral("parts"),
                                     QJsonArray{QJsonObject{{QStringLiteral("text"),
                                                             QStringLiteral("Reply with exactly OK.")}}}}}}},
            {QStringLiteral("generationConfig"), QJsonObject{{QStringLiteral("temperature"), 0}}},
        };
        const QList<GeminiRequestPart> connectionTest{
            GeminiRequestPart::fromText(QStringLiteral("Reply with exactly OK."))};
        QTest::newRow("connection test: no response type")
            << connectionTest << 0.0 << std::optional<QString>() << testKey << connectionTestBody;
        QTest::newRow("key with query delimiters")
            << connectionTest << 0.0 << std::optional<QString>() << oddKey << connectionTestBody;
    }

    void sendsExactlyTheWireRequest() {
        QFETCH(QList<GeminiRequestPart>, parts);
        QFETCH(double, temperature);
        QFETCH(std::optional<QString>, mimeType);
        QFETCH(QString, key);
        QFETCH(QJsonObject, expectedBody);

        m_server->setResponse(LoopbackHttpServer::json(200, textReply(QStringLiteral("OK"))));
        GeminiClient client(m_server->baseUrl());
        auto result = startTask(client.generate(parts, key, temperature, mimeType));
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 10000);
        QVERIFY2(result->value().hasValue(), qPrintable(failureText(result->value())));
        QCOMPARE(result->value().value(), QStringLiteral("OK"));

        QCOMPARE(m_server->requests().size(), 1);
        const auto& request = m_server->requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/v1beta/models/gemini-3-flash-preview:generateContent"));

        // One query item, `key`, which decodes to exactly the key.
        const QUrlQuery query(QString::fromLatin1(request.query));
        QCOMPARE(query.queryItems(QUrl::FullyDecoded).size(), 1);
        QCOMPARE(query.queryItems(QUrl::FullyDecoded).first().first, QStringLiteral("key"));
        QCOMPARE(QUrl::fromPercentEncoding(request.query.mid(4)), key);

        // Only the content type is ours; the rest is what HTTP itself needs or Qt always adds.
        QCOMPARE(request.header("Content-Type"), std::optional<QByteArray>("application/json"));
        const QSet<QByteArray> allowed{"host",       "content-type",    "content-length",
                                       "connection", "accept-encoding", "accept-language",
                                       "user-agent"};
        for (const auto& [name, value] : request.headers) {
            QVERIFY2(allowed.contains(name.toLower()), name.constData());
            QVERIFY2(!carriesKey(QString::fromUtf8(value), key), name.constData());
        }

        // The key travels in the query alone.
        QByteArray rest = request.raw;
        rest.replace(request.query, "");
        QVERIFY(!carriesKey(QString::fromUtf8(rest), key));

        QVERIFY(!request.body.contains('\n'));
        QVERIFY(!request.body.contains("null"));
        QJsonParseError error;
        const QJsonDocument body = QJsonDocument::fromJson(request.body, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(body.object(), expectedBody);
        QCOMPARE(body.object()
                     .value(QStringLiteral("generationConfig"))
                     .toObject()
                     .contains(QStringLiteral("responseMimeType")),
                 mimeType.has_value());
    }

    void keepsNoCookies() {
        auto response = LoopbackHttpServer::json(200, textReply(QStringLiteral("OK")));
        response.extraHeaders.append(LoopbackHttpServer::Header{"Set-Cookie", "session=abc123; Path=/"});
        m_server->setResponse(response);
        GeminiClient client(m_server->baseUrl());
        QVERIFY(sendAndWait(client).hasValue());
        QVERIFY(sendAndWait(client).hasValue());
        QCOMPARE(m_server->requests().size(), 2);
        QCOMPARE(m_server->requests().at(1).header("Cookie"), std::nullopt);
    }

    void interpretsReplies_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("text"); // the reply, or the error's description ("" = any)

        const auto text = [](const QString& value) { return QJsonObject{{QStringLiteral("text"), value}}; };
        QTest::newRow("parts joined, one without text")
            << 200
            << replyWithParts(QJsonArray{text(QStringLiteral("  first line")),
                                         QJsonObject{{QStringLiteral("inlineData"), QJsonObject{}}},
                                         text(QStringLiteral("third line \n"))})
            << true << Kind::ApiError << QStringLiteral("first line\nthird line");
        QTest::newRow("text null skipped")
            << 200
            << replyWithParts(QJsonArray{QJsonObject{{QStringLiteral("text"), QJsonValue::Null}},
                                         text(QStringLiteral("only"))})
            << true << Kind::ApiError << QStringLiteral("only");
        QTest::newRow("unknown keys ignored")
            << 200
            << QByteArray("{\"candidates\":[{\"content\":{\"parts\":[{\"text\":\"hi\",\"thought\":false}],"
                          "\"role\":\"model\"},"
                          "\"finishReason\":\"STOP\"}],\"usageMetadata\":{\"totalTokenCount\":3}}")
            << true << Kind::ApiError << QStringLiteral("hi");
        QTest::newRow("blank text") << 200 << textReply(QStringLiteral("  \n\t \n ")) << false
                                    << Kind::EmptyResponse
                                    << QStringLiteral("Gemini returned an empty response.");
        QTest::newRow("no candidates")
            << 200 << QByteArray("{\"candidates\":[]}") << false << Kind::EmptyResponse
            << QStringLiteral("Gemini returned an empty response.");
        QTest::newRow("candidates missing")
            << 200 << QByteArray("{\"promptFeedback\":{\"blockReason\":\"SAFETY\"}}") << false
            << Kind::EmptyResponse << QStringLiteral("Gemini returned an empty response.");
        QTest::newRow("candidates null")
            << 200 << QByteArray("{\"candidates\":null}") << false << Kind::EmptyResponse
            << QStringLiteral("Gemini returned an empty response.");
        QTest::newRow("content missing")
            << 200 << QByteArray("{\"candidates\":[{\"finishReason\":\"SAFETY\"}]}") << false
            << Kind::EmptyResponse << QStringLiteral("Gemini returned an empty response.");
        QTest::newRow("second candidate never read")
            << 200
            << QByteArray("{\"candidates\":[{\"content\":{\"role\":\"model\"}},"
                          "{\"content\":{\"parts\":[{\"text\":\"second\"}]}}]}")
            << false << Kind::EmptyResponse << QStringLiteral("Gemini returned an empty response.");
        QTest::newRow("not JSON: the decoder's error")
            << 200 << QByteArray("<html>OK</html>") << false << Kind::Decoding << QString();
        QTest::newRow("JSON but not an object")
            << 200 << QByteArray("[1,2]") << false << Kind::Decoding << QString();
        QTest::newRow("parts of the wrong type")
            << 200 << QByteArray("{\"candidates\":[{\"content\":{\"parts\":7}}]}") << false << Kind::Decoding
            << QString();

        QTest::newRow("404 not found for api version, any case")
            << 404
            << errorEnvelope(QStringLiteral(
                   "models/gemini-3-flash-preview is NOT FOUND for API Version v1beta, or is not "
                   "supported for generateContent."))
            << false << Kind::ApiError << unavailableSentence;
        QTest::newRow("model no longer available")
            << 404 << errorEnvelope(QStringLiteral("This model is No Longer Available.")) << false
            << Kind::ApiError << unavailableSentence;
        QTest::newRow("400 envelope kept as sent")
            << 400 << errorEnvelope(QStringLiteral("API key not valid. Please pass a valid API KEY."))
            << false << Kind::ApiError << QStringLiteral("API key not valid. Please pass a valid API KEY.");
        QTest::newRow("502 HTML body")
            << 502 << QByteArray("<html><body>Bad Gateway</body></html>\n") << false << Kind::ApiError
            << QStringLiteral("<html><body>Bad Gateway</body></html>\n");
        QTest::newRow("500 body not UTF-8") << 500 << QByteArray("\xff\xfe\x80 broken") << false
                                            << Kind::ApiError << QStringLiteral("Gemini returned HTTP 500.");
        QTest::newRow("envelope without message: body text")
            << 500 << QByteArray("{\"error\":{\"code\":500}}") << false << Kind::ApiError
            << QStringLiteral("{\"error\":{\"code\":500}}");
        QTest::newRow("blank envelope message: a sentence, not nothing")
            << 429 << errorEnvelope(QStringLiteral(" ")) << false << Kind::ApiError
            << QStringLiteral("Gemini returned HTTP 429.");
        QTest::newRow("503 empty body: a sentence, not nothing")
            << 503 << QByteArray() << false << Kind::ApiError << QStringLiteral("Gemini returned HTTP 503.");
        QTest::newRow("301 is not followed")
            << 301 << QByteArray("moved") << false << Kind::ApiError << QStringLiteral("moved");
    }

    void interpretsReplies() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, succeeds);
        QFETCH(Kind, kind);
        QFETCH(QString, text);

        auto response = LoopbackHttpServer::json(status, body);
        if (status == 301)
            response.extraHeaders.append(
                LoopbackHttpServer::Header{"Location", m_server->baseUrl().toEncoded() + "/elsewhere"});
        m_server->setResponse(response);
        GeminiClient client(m_server->baseUrl());
        const Result result = sendAndWait(client);
        QCOMPARE(result.hasValue(), succeeds);
        QCOMPARE(m_server->requests().size(), 1);
        if (succeeds) {
            QCOMPARE(result.value(), text);
            return;
        }
        QCOMPARE(result.error().kind(), kind);
        if (!text.isEmpty())
            QCOMPARE(result.error().description(), text);
        else
            QVERIFY(!result.error().description().isEmpty());
        // The same interpretation without the network.
        const auto direct = GeminiClient::interpretResponse(status, body);
        QVERIFY(!direct.hasValue());
        QCOMPARE(direct.error(), result.error());
    }

    void overallTimeoutRunsOnTheInjectedClock() {
        ManualClock clock;
        GeminiClientLimits limits;
        limits.clock = &clock;
        auto response = LoopbackHttpServer::json(200, textReply(QStringLiteral("late")));
        response.mode = LoopbackHttpServer::Response::Mode::StallAfterHeaders;
        response.partialBodyBytes = 5;
        m_server->setResponse(response);
        GeminiClient client(m_server->baseUrl(), limits);
        auto result = send(client);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 10000);

        clock.advance(59.9);
        QVERIFY(!result->has_value());
        clock.advance(0.2);
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 10000);
        QCOMPARE(result->value().error(),
                 GeminiClientError::transport(QStringLiteral("The request timed out.")));
        QCOMPARE(clock.pendingTimers(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 10000);
    }

    void finishedRequestLeavesNoTimer() {
        ManualClock clock;
        GeminiClientLimits limits;
        limits.clock = &clock;
        m_server->setResponse(LoopbackHttpServer::json(200, textReply(QStringLiteral("OK"))));
        GeminiClient client(m_server->baseUrl(), limits);
        QVERIFY(sendAndWait(client).hasValue());
        QCOMPARE(clock.pendingTimers(), 0);
    }

    void progressTimeout_data() {
        QTest::addColumn<bool>("headersSent");
        QTest::newRow("no answer at all") << false;
        QTest::newRow("headers, then silence") << true;
    }

    void progressTimeout() {
        QFETCH(bool, headersSent);
        ManualClock clock; // never advanced: only the transfer's own time-out can end the request
        GeminiClientLimits limits;
        limits.clock = &clock;
        limits.progressTimeoutSeconds = 0.2;
        auto response = LoopbackHttpServer::json(200, textReply(QStringLiteral("late")));
        response.mode = headersSent ? LoopbackHttpServer::Response::Mode::StallAfterHeaders
                                    : LoopbackHttpServer::Response::Mode::Stall;
        response.partialBodyBytes = 3;
        m_server->setResponse(response);
        GeminiClient client(m_server->baseUrl(), limits);
        auto result = send(client);
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 10000);
        QCOMPARE(result->value().error(),
                 GeminiClientError::transport(QStringLiteral("The request timed out.")));
        QVERIFY(!carriesKey(result->value().error().description(), testKey));
    }

    void boundsReplySize_data() {
        QTest::addColumn<qint64>("cap");
        QTest::addColumn<LoopbackHttpServer::Response>("response");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QString>("description"); // the reply text, or the error's

        constexpr qint64 cap = 64 * 1024;
        const QString tooLarge =
            QStringLiteral("Gemini sent a reply larger than 65536 bytes, so Norvane stopped reading it.");

        auto declared = LoopbackHttpServer::json(200, QByteArray(100, 'x'));
        declared.mode = LoopbackHttpServer::Response::Mode::StallAfterHeaders;
        declared.declaredLength = 30LL * 1024 * 1024;
        QTest::newRow("declared length over the cap") << cap << declared << false << tooLarge;

        // The server then goes quiet without closing: only reading as the bytes arrive notices the excess.
        auto streamed = LoopbackHttpServer::json(500, QByteArray(1024 * 1024, 'y'));
        streamed.sendContentLength = false;
        streamed.mode = LoopbackHttpServer::Response::Mode::StallAfterHeaders;
        streamed.partialBodyBytes = streamed.body.size();
        QTest::newRow("undeclared body over the cap") << cap << streamed << false << tooLarge;

        const QByteArray head = "{\"candidates\":[{\"content\":{\"parts\":[{\"text\":\"";
        const QByteArray tail = "\"}]}}]}";
        const QByteArray exact = head + QByteArray(cap - head.size() - tail.size(), 'z') + tail;
        auto atCap = LoopbackHttpServer::json(200, exact);
        atCap.sendContentLength = false;
        QTest::newRow("exactly at the cap")
            << cap << atCap << true << QString(cap - head.size() - tail.size(), QLatin1Char('z'));

        auto overDefault = LoopbackHttpServer::json(200, QByteArray(10, 'x'));
        overDefault.mode = LoopbackHttpServer::Response::Mode::StallAfterHeaders;
        overDefault.declaredLength = 20LL * 1024 * 1024 + 1;
        QTest::newRow("default cap is 20 MiB")
            << qint64(-1) << overDefault << false
            << QStringLiteral("Gemini sent a reply larger than 20 MiB, so Norvane stopped reading it.");
    }

    void boundsReplySize() {
        QFETCH(qint64, cap);
        QFETCH(LoopbackHttpServer::Response, response);
        QFETCH(bool, succeeds);
        QFETCH(QString, description);
        GeminiClientLimits limits;
        if (cap > 0)
            limits.maxReplyBytes = cap;
        m_server->setResponse(response);
        GeminiClient client(m_server->baseUrl(), limits);
        const Result result = sendAndWait(client);
        QCOMPARE(result.hasValue(), succeeds);
        if (succeeds)
            QCOMPARE(result.value(), description);
        else
            QCOMPARE(result.error(), GeminiClientError::apiError(description));
    }

    void failuresNeverCarryTheKey_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<LoopbackHttpServer::Response>("response");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("echoed"); // the server repeats the URL back

        LoopbackHttpServer::Response none;
        for (const QString& key : {testKey, oddKey}) {
            const QByteArray tag = key == testKey ? "plain key: " : "odd key: ";
            QTest::newRow(tag + "connection refused")
                << key << QStringLiteral("http") << true << none << Kind::Transport << false;

            LoopbackHttpServer::Response plainText;
            plainText.mode = LoopbackHttpServer::Response::Mode::Raw;
            plainText.raw = "HTTP/1.1 400 Bad Request\r\nContent-Length: 5\r\n\r\nplain";
            QTest::newRow(tag + "TLS to a plain-text server")
                << key << QStringLiteral("https") << false << plainText << Kind::Transport << false;

            LoopbackHttpServer::Response hangUp;
            hangUp.mode = LoopbackHttpServer::Response::Mode::Close;
            QTest::newRow(tag + "connection closed without a reply")
                << key << QStringLiteral("http") << false << hangUp << Kind::Transport << false;

            LoopbackHttpServer::Response garbage;
            garbage.mode = LoopbackHttpServer::Response::Mode::Raw;
            garbage.raw = "SPEAKING NO HTTP\r\n\r\n";
            QTest::newRow(tag + "not HTTP")
                << key << QStringLiteral("http") << false << garbage << Kind::Transport << false;

            for (int status : {200, 404, 500}) {
                auto cut = LoopbackHttpServer::json(status, QByteArray(200, 'x'));
                cut.mode = LoopbackHttpServer::Response::Mode::CutAfterHeaders;
                cut.partialBodyBytes = 20;
                QTest::newRow(tag + "body cut short after status " + QByteArray::number(status))
                    << key << QStringLiteral("http") << false << cut << Kind::Transport << false;
            }

            QTest::newRow(tag + "URL echoed in the body")
                << key << QStringLiteral("http") << false << LoopbackHttpServer::json(500, {})
                << Kind::ApiError << true;
            QTest::newRow(tag + "URL echoed in the envelope")
                << key << QStringLiteral("http") << false << LoopbackHttpServer::json(400, {})
                << Kind::ApiError << true;
        }
    }

    void failuresNeverCarryTheKey() {
        QFETCH(QString, key);
        QFETCH(QString, scheme);
        QFETCH(bool, refused);
        QFETCH(LoopbackHttpServer::Response, response);
        QFETCH(Kind, kind);
        QFETCH(bool, echoed);

        QUrl base = m_server->baseUrl(scheme);
        if (refused)
            base.setPort(closedPort());
        if (echoed) {
            // Echo the URL exactly as sent, and decoded, as a careless proxy or a verbose server might.
            const QByteArray sentQuery = "key=" + QUrl::toPercentEncoding(key);
            const QByteArray echo = "POST /v1beta/models/gemini-3-flash-preview:generateContent?" +
                                    sentQuery + " failed; key " + key.toUtf8() + " refused";
            response.body = response.status == 400 ? errorEnvelope(QString::fromUtf8(echo)) : echo;
        }
        m_server->setResponse(response);
        GeminiClient client(base);
        const Result result = sendAndWait(client, key);
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error().kind(), kind);
        const QString description = result.error().description();
        QVERIFY(!description.isEmpty());
        QVERIFY2(!carriesKey(description, key), qPrintable(description));
        if (echoed)
            QCOMPARE(description.count(GeminiClient::apiKeyMask), 2);
    }

    void masksEveryFormOfTheKey_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("masked");
        const QString m = GeminiClient::apiKeyMask;
        QTest::newRow("as typed") << QStringLiteral("K3y") << QStringLiteral("a K3y b") << "a " + m + " b";
        QTest::newRow("letter case of the key matters")
            << QStringLiteral("K3y") << QStringLiteral("k3y K3Y") << QStringLiteral("k3y K3Y");
        QTest::newRow("percent-encoded, upper hex")
            << QStringLiteral("a+b c") << QStringLiteral("?key=a%2Bb%20c&") << "?key=" + m + "&";
        QTest::newRow("percent-encoded, lower hex")
            << QStringLiteral("a+b c") << QStringLiteral("key=a%2bb%20c") << "key=" + m;
        QTest::newRow("space as plus") << QStringLiteral("a b") << QStringLiteral("key=a+b") << "key=" + m;
        QTest::newRow("non-ASCII encoded")
            << QStringLiteral("kä") << QStringLiteral("kä k%C3%A4 k%c3%a4") << m + " " + m + " " + m;
        QTest::newRow("several times") << QStringLiteral("xy") << QStringLiteral("xyxy") << m + m;
        QTest::newRow("regex characters are literal")
            << QStringLiteral("a.b*") << QStringLiteral("aXbb a.b*") << "aXbb " + m;
        QTest::newRow("empty key changes nothing")
            << QString() << QStringLiteral("text") << QStringLiteral("text");
    }

    void masksEveryFormOfTheKey() {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, masked);
        QCOMPARE(GeminiClient::maskApiKey(text, key), masked);
    }

    void cancellationAbortsTheRequest() {
        auto response = LoopbackHttpServer::json(200, textReply(QStringLiteral("OK")));
        response.mode = LoopbackHttpServer::Response::Mode::Stall;
        m_server->setResponse(response);
        GeminiClient client(m_server->baseUrl());
        CancellationSource source;
        auto result = send(client, testKey, source.token());
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 10000);
        QCOMPARE(m_server->openConnections(), 1);
        source.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 10000);
        QCOMPARE(result->value().error().kind(), Kind::Cancelled);
        // The connection is dropped, not left hanging.
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 10000);
    }

    void cancelledBeforehandSendsNothing() {
        GeminiClient client(m_server->baseUrl());
        CancellationSource source;
        source.cancel();
        auto result = send(client, testKey, source.token());
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 10000);
        QCOMPARE(result->value().error().kind(), Kind::Cancelled);
        QCOMPARE(m_server->connectionCount(), 0);
    }

    void destroyingTheClientEndsItsRequests() {
        auto response = LoopbackHttpServer::json(200, textReply(QStringLiteral("OK")));
        response.mode = LoopbackHttpServer::Response::Mode::Stall;
        m_server->setResponse(response);
        auto client = std::make_unique<GeminiClient>(m_server->baseUrl());
        auto result = send(*client);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 10000);
        client.reset();
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 10000);
        QCOMPARE(result->value().error().kind(), Kind::Cancelled);
    }

    void invalidEndpointSendsNothing_data() {
        QTest::addColumn<QUrl>("base");
        QTest::newRow("no host") << QUrl(QStringLiteral("http://"));
        QTest::newRow("no scheme") << QUrl(QStringLiteral("generativelanguage.googleapis.com"));
        QTest::newRow("empty") << QUrl();
    }

    void invalidEndpointSendsNothing() {
        QFETCH(QUrl, base);
        GeminiClient client(base);
        const Result result = sendAndWait(client);
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error(), GeminiClientError::invalidURL());
        QCOMPARE(result.error().description(), QStringLiteral("The Gemini endpoint URL is invalid."));
    }

    void defaultEndpointIsTheService() {
        QCOMPARE(GeminiClient::defaultEndpointBase(),
                 QUrl(QStringLiteral("https://generativelanguage.googleapis.com")));
    }
};

QTEST_GUILESS_MAIN(TestGeminiClient)
#include "tst_gemini_client.moc"
