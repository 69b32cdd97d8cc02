#include "AnalysisTesting.h"
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
using Mode = LoopbackHttpServer::Response::Mode;

Q_DECLARE_METATYPE(std::optional<GeminiClientError::Kind>)
Q_DECLARE_METATYPE(LoopbackHttpServer::Response)
Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(QList<GeminiRequestPart>)

namespace {

const QString testKey = QStringLiteral("AIzaTestKey-0123456789_abcdefghijklmno");
// Characters the query syntax would misread if they were sent as typed.
const QString oddKey = QStringLiteral("AIza odd+key&x=1/ä#");
const QString timedOut = QStringLiteral("The request timed out.");

QJsonObject textPart(const QString& text) {
    return {{QStringLiteral("text"), text}};
}

QJsonObject jpegPart(const QString& data) {
    return {
        {QStringLiteral("inlineData"), QJsonObject{{QStringLiteral("mimeType"), QStringLiteral("image/jpeg")},
                                                   {QStringLiteral("data"), data}}}};
}

QByteArray replyWithParts(const QJsonArray& parts) {
    const QJsonObject content{{QStringLiteral("parts"), parts}};
    return QJsonDocument(QJsonObject{{QStringLiteral("candidates"),
                                      QJsonArray{QJsonObject{{QStringLiteral("content"), content}}}}})
        .toJson(QJsonDocument::Compact);
}

QByteArray textReply(const QString& text) {
    return replyWithParts(QJsonArray{textPart(text)});
}

QByteArray errorEnvelope(const QString& message) {
    const QJsonObject error{{QStringLiteral("code"), 400},
                            {QStringLiteral("message"), message},
                            {QStringLiteral("status"), QStringLiteral("INVALID_ARGUMENT")}};
    return QJsonDocument(QJsonObject{{QStringLiteral("error"), error}}).toJson(QJsonDocument::Compact);
}

// True if the key shows up as typed or percent-encoded with either hex case.
bool carriesKey(const QString& text, const QString& key) {
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(key));
    QString lowerHex = encoded;
    for (qsizetype i = lowerHex.indexOf(QLatin1Char('%')); i >= 0;
         i = lowerHex.indexOf(QLatin1Char('%'), i + 1))
        lowerHex.replace(i + 1, 2, lowerHex.mid(i + 1, 2).toLower());
    return text.contains(key) || text.contains(encoded) || text.contains(lowerHex);
}

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

    // A reply that sends its headers and then goes quiet.
    static LoopbackHttpServer::Response stalled(int status, const QByteArray& body, qint64 partialBytes = 0) {
        auto response = LoopbackHttpServer::json(status, body);
        response.mode = Mode::StallAfterHeaders;
        response.partialBodyBytes = partialBytes;
        return response;
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
        const auto body = [](const QJsonArray& parts, const QJsonObject& config) {
            return QJsonObject{
                {QStringLiteral("contents"), QJsonArray{QJsonObject{{QStringLiteral("parts"), parts}}}},
                {QStringLiteral("generationConfig"), config}};
        };
        QTest::newRow("analysis: images in order, JSON asked for")
            << analysis << 0.2 << std::optional<QString>(QStringLiteral("application/json")) << testKey
            << body({textPart(QStringLiteral("prompt text")), jpegPart(QStringLiteral("/9j/AAEC")),
                     textPart(QStringLiteral("Screenshot 1: caption")), jpegPart(QStringLiteral("/9j/AwQF"))},
                    {{QStringLiteral("temperature"), 0.2},
                     {QStringLiteral("responseMimeType"), QStringLiteral("application/json")}});

        const QList<GeminiRequestPart> ok{
            GeminiRequestPart::fromText(QStringLiteral("Reply with exactly OK."))};
        QTest::newRow("no response type; key with query delimiters")
            << ok << 0.0 << std::optional<QString>() << oddKey
            << body({textPart(QStringLiteral("Reply with exactly OK."))},
                    {{QStringLiteral("temperature"), 0}});
    }

    void sendsExactlyTheWireRequest() {
        QFETCH(QList<GeminiRequestPart>, parts);
        QFETCH(double, temperature);
        QFETCH(std::optional<QString>, mimeType);
        QFETCH(QString, key);
        QFETCH(QJsonObject, expectedBody);

        ManualClock clock;
        GeminiClientLimits limits;
        limits.clock = &clock;
        m_server->setResponse(LoopbackHttpServer::json(200, textReply(QStringLiteral("OK"))));
        GeminiClient client(m_server->baseUrl(), limits);
        auto result = startTask(client.generate(parts, key, temperature, mimeType));
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 10000);
        QVERIFY2(result->value().hasValue(), qPrintable(failureText(result->value())));
        QCOMPARE(result->value().value(), QStringLiteral("OK"));
        QCOMPARE(clock.pendingTimers(), 0);

        QCOMPARE(m_server->requests().size(), 1);
        const auto& request = m_server->requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/v1beta/models/gemini-3-flash-preview:generateContent"));

        const QUrlQuery query(QString::fromLatin1(request.query));
        QCOMPARE(query.queryItems(QUrl::FullyDecoded).size(), 1);
        QCOMPARE(query.queryItems(QUrl::FullyDecoded).first().first, QStringLiteral("key"));
        QCOMPARE(QUrl::fromPercentEncoding(request.query.mid(4)), key);

        // Only the content type is ours; the rest is what HTTP needs or Qt always adds.
        QCOMPARE(request.header("Content-Type"), std::optional<QByteArray>("application/json"));
        const QSet<QByteArray> allowed{"host",       "content-type",    "content-length",
                                       "connection", "accept-encoding", "accept-language",
                                       "user-agent"};
        for (const auto& [name, value] : request.headers)
            QVERIFY2(allowed.contains(name.toLower()), name.constData());
        QByteArray rest = request.raw;
        rest.replace(request.query, "");
        QVERIFY(!carriesKey(QString::fromUtf8(rest), key));

        QVERIFY(!request.body.contains('\n'));
        QVERIFY(!request.body.contains("null"));
        QCOMPARE(QJsonDocument::fromJson(request.body).object(), expectedBody);
    }

    void keepsNoCookies() {
        auto response = LoopbackHttpServer::json(200, textReply(QStringLiteral("OK")));
        response.extraHeaders.append(LoopbackHttpServer::Header{"Set-Cookie", "session=abc123; Path=/"});
        m_server->setResponse(response);
        GeminiClient client(m_server->baseUrl());
        QVERIFY(sendAndWait(client).hasValue());
        QVERIFY(sendAndWait(client).hasValue());
        QCOMPARE(m_server->requests().at(1).header("Cookie"), std::nullopt);
    }

    void interpretsReplies_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<std::optional<Kind>>("kind"); // nothing: success
        QTest::addColumn<QString>("text");             // the reply or the error's description; "" = any

        const QString empty = QStringLiteral("Gemini returned an empty response.");
        const QString unavailable = QStringLiteral(
            "The configured Gemini model (gemini-3-flash-preview) is unavailable for this API key or API "
            "version. Check the current Gemini model docs and update the app default model if needed.");
        const auto ok = std::optional<Kind>();
        const auto row = [](const char* name, int status, const QByteArray& body, std::optional<Kind> kind,
                            const QString& text) { QTest::newRow(name) << status << body << kind << text; };

        row("parts joined, one without text", 200,
            replyWithParts({textPart(QStringLiteral("  first line")),
                            QJsonObject{{QStringLiteral("inlineData"), QJsonObject{}}},
                            textPart(QStringLiteral("third line \n"))}),
            ok, QStringLiteral("first line\nthird line"));
        row("blank text", 200, textReply(QStringLiteral("  \n\t \n ")), Kind::EmptyResponse, empty);
        row("no candidates", 200, "{\"candidates\":[]}", Kind::EmptyResponse, empty);
        row("second candidate never read", 200,
            "{\"candidates\":[{\"content\":{\"role\":\"model\"}},{\"content\":{\"parts\":[{\"text\":\"2\"}]}}"
            "]}",
            Kind::EmptyResponse, empty);
        row("not JSON: the decoder's error", 200, "<html>OK</html>", Kind::Decoding, QString());
        row("parts of the wrong type", 200, "{\"candidates\":[{\"content\":{\"parts\":7}}]}", Kind::Decoding,
            QString());
        row("404 not found for api version, any case", 404,
            errorEnvelope(
                QStringLiteral("models/gemini-3-flash-preview is NOT FOUND for API Version v1beta, or "
                               "is not supported for generateContent.")),
            Kind::ApiError, unavailable);
        row("model no longer available", 404,
            errorEnvelope(QStringLiteral("This model is No Longer Available.")), Kind::ApiError, unavailable);
        row("400 envelope kept as sent", 400,
            errorEnvelope(QStringLiteral("API key not valid. Please pass a valid API KEY.")), Kind::ApiError,
            QStringLiteral("API key not valid. Please pass a valid API KEY."));
        row("502 HTML body", 502, "<html><body>Bad Gateway</body></html>\n", Kind::ApiError,
            QStringLiteral("<html><body>Bad Gateway</body></html>\n"));
        row("500 body not UTF-8", 500, "\xff\xfe\x80 broken", Kind::ApiError,
            QStringLiteral("Gemini returned HTTP 500."));
        row("envelope without message: body text", 500, "{\"error\":{\"code\":500}}", Kind::ApiError,
            QStringLiteral("{\"error\":{\"code\":500}}"));
        row("blank envelope message: a sentence", 429, errorEnvelope(QStringLiteral(" ")), Kind::ApiError,
            QStringLiteral("Gemini returned HTTP 429."));
        row("301 is not followed", 301, "moved", Kind::ApiError, QStringLiteral("moved"));
    }

    void interpretsReplies() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(std::optional<Kind>, kind);
        QFETCH(QString, text);

        auto response = LoopbackHttpServer::json(status, body);
        if (status == 301)
            response.extraHeaders.append(
                LoopbackHttpServer::Header{"Location", m_server->baseUrl().toEncoded() + "/elsewhere"});
        m_server->setResponse(response);
        GeminiClient client(m_server->baseUrl());
        const Result result = sendAndWait(client);
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(result.hasValue(), !kind);
        if (!kind) {
            QCOMPARE(result.value(), text);
            return;
        }
        QCOMPARE(result.error().kind(), *kind);
        if (!text.isEmpty())
            QCOMPARE(result.error().description(), text);
        QVERIFY(!result.error().description().isEmpty());
        QCOMPARE(GeminiClient::interpretResponse(status, body).error(), result.error());
    }

    void overallTimeoutRunsOnTheInjectedClock() {
        ManualClock clock;
        GeminiClientLimits limits;
        limits.clock = &clock;
        m_server->setResponse(stalled(200, textReply(QStringLiteral("late")), 5));
        GeminiClient client(m_server->baseUrl(), limits);
        auto result = send(client);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 10000);

        clock.advance(59.9);
        QVERIFY(!result->has_value());
        clock.advance(0.2);
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 10000);
        QCOMPARE(result->value().error(), GeminiClientError::transport(timedOut));
        QCOMPARE(clock.pendingTimers(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 10000);
    }

    void progressTimeout() {
        ManualClock clock; // never advanced: only the transfer's own time-out can end the request
        GeminiClientLimits limits;
        limits.clock = &clock;
        limits.progressTimeoutSeconds = 0.2;
        m_server->setResponse(stalled(200, textReply(QStringLiteral("late")), 3));
        GeminiClient client(m_server->baseUrl(), limits);
        auto result = send(client);
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 10000);
        QCOMPARE(result->value().error(), GeminiClientError::transport(timedOut));
    }

    void boundsReplySize_data() {
        QTest::addColumn<qint64>("cap");
        QTest::addColumn<LoopbackHttpServer::Response>("response");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QString>("description"); // the reply text, or the error's

        constexpr qint64 cap = 64 * 1024;
        const QString tooLarge =
            QStringLiteral("Gemini sent a reply larger than 65536 bytes, so Norvane stopped reading it.");

        auto declared = stalled(200, QByteArray(100, 'x'));
        declared.declaredLength = 30LL * 1024 * 1024;
        QTest::newRow("declared length over the cap") << cap << declared << false << tooLarge;

        // The connection stays open: only counting bytes as they arrive notices the excess.
        auto streamed = stalled(500, QByteArray(1024 * 1024, 'y'), 1024 * 1024);
        streamed.sendContentLength = false;
        QTest::newRow("undeclared body over the cap") << cap << streamed << false << tooLarge;

        const QByteArray head = "{\"candidates\":[{\"content\":{\"parts\":[{\"text\":\"";
        const QByteArray tail = "\"}]}}]}";
        const qsizetype fill = cap - head.size() - tail.size();
        auto atCap = LoopbackHttpServer::json(200, head + QByteArray(fill, 'z') + tail);
        atCap.sendContentLength = false;
        QTest::newRow("exactly at the cap") << cap << atCap << true << QString(fill, QLatin1Char('z'));

        auto overDefault = stalled(200, QByteArray(10, 'x'));
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

    // Transport failures and servers that repeat the URL back: the description never carries the key.
    void failuresNeverCarryTheKey_data() {
        QTest::addColumn<QString>("scheme"); // "refused": nothing listens on the port
        QTest::addColumn<LoopbackHttpServer::Response>("response");
        QTest::addColumn<bool>("echoed"); // the server repeats the URL back in an error reply

        const auto mode = [](Mode mode, const QByteArray& raw = {}) {
            LoopbackHttpServer::Response response;
            response.mode = mode;
            response.raw = raw;
            return response;
        };
        const QString http = QStringLiteral("http");
        QTest::newRow("connection refused") << QStringLiteral("refused") << mode(Mode::Close) << false;
        QTest::newRow("TLS to a plain-text server")
            << QStringLiteral("https")
            << mode(Mode::Raw, "HTTP/1.1 400 Bad Request\r\nContent-Length: 5\r\n\r\nplain") << false;
        QTest::newRow("closed without a reply") << http << mode(Mode::Close) << false;
        QTest::newRow("not HTTP") << http << mode(Mode::Raw, "SPEAKING NO HTTP\r\n\r\n") << false;
        for (int status : {200, 500}) {
            auto cut = stalled(status, QByteArray(200, 'x'), 20);
            cut.mode = Mode::CutAfterHeaders;
            QTest::addRow("body cut short after %d", status) << http << cut << false;
        }
        QTest::newRow("URL echoed in the body") << http << LoopbackHttpServer::json(500, {}) << true;
        QTest::newRow("URL echoed in the envelope") << http << LoopbackHttpServer::json(400, {}) << true;
    }

    void failuresNeverCarryTheKey() {
        QFETCH(QString, scheme);
        QFETCH(LoopbackHttpServer::Response, response);
        QFETCH(bool, echoed);

        QUrl base = m_server->baseUrl(scheme == QLatin1String("https") ? scheme : QStringLiteral("http"));
        if (scheme == QLatin1String("refused"))
            base.setPort(closedPort());
        if (echoed) {
            const QByteArray echo = "POST /v1beta/models/gemini-3-flash-preview:generateContent?key=" +
                                    QUrl::toPercentEncoding(oddKey) + " failed; key " + oddKey.toUtf8() +
                                    " refused";
            response.body = response.status == 400 ? errorEnvelope(QString::fromUtf8(echo)) : echo;
        }
        m_server->setResponse(response);
        GeminiClient client(base);
        const Result result = sendAndWait(client, oddKey);
        QVERIFY(!result.hasValue());
        QCOMPARE(result.error().kind(), echoed ? Kind::ApiError : Kind::Transport);
        const QString description = result.error().description();
        QVERIFY(!description.isEmpty());
        QVERIFY2(!carriesKey(description, oddKey), qPrintable(description));
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
        QTest::newRow("percent-encoded, either hex case")
            << QStringLiteral("a+b c") << QStringLiteral("?key=a%2Bb%20c&key=a%2bb%20c")
            << "?key=" + m + "&key=" + m;
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
        response.mode = Mode::Stall;
        m_server->setResponse(response);
        auto client = std::make_unique<GeminiClient>(m_server->baseUrl());
        CancellationSource source;
        auto result = send(*client, testKey, source.token());
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 10000);
        QCOMPARE(m_server->openConnections(), 1);
        source.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 10000);
        QCOMPARE(result->value().error().kind(), Kind::Cancelled);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openConnections(), 0, 10000);

        // Cancelled before it starts: nothing is sent.
        auto early = send(*client, testKey, source.token());
        QTRY_VERIFY_WITH_TIMEOUT(early->has_value(), 10000);
        QCOMPARE(early->value().error().kind(), Kind::Cancelled);
        QCOMPARE(m_server->connectionCount(), 1);

        // Destroying the client ends what it still has in flight.
        auto orphan = send(*client);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 2, 10000);
        client.reset();
        QTRY_VERIFY_WITH_TIMEOUT(orphan->has_value(), 10000);
        QCOMPARE(orphan->value().error().kind(), Kind::Cancelled);
    }

    void endpoint() {
        QCOMPARE(GeminiClient::defaultEndpointBase(),
                 QUrl(QStringLiteral("https://generativelanguage.googleapis.com")));
        for (const QUrl& base : {QUrl(QStringLiteral("http://")), QUrl(QStringLiteral("example.com"))}) {
            GeminiClient client(base);
            const Result result = sendAndWait(client);
            QVERIFY(!result.hasValue());
            QCOMPARE(result.error(), GeminiClientError::invalidURL());
            QCOMPARE(result.error().description(), QStringLiteral("The Gemini endpoint URL is invalid."));
        }
    }
};

QTEST_GUILESS_MAIN(TestGeminiClient)
#include "tst_gemini_client.moc"
