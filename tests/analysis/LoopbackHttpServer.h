#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <optional>
#include <utility>

class QTcpSocket;

namespace norvane::testing {

// An HTTP/1.1 server on 127.0.0.1 that records every request exactly as it arrived and answers as scripted.
class LoopbackHttpServer : public QObject {
    Q_OBJECT
public:
    using Header = std::pair<QByteArray, QByteArray>;

    struct Request {
        QByteArray method, path, query, body, raw;
        QList<Header> headers; // in order, names as sent
        // The first header of that name, compared without regard to letter case.
        std::optional<QByteArray> header(const QByteArray& name) const;
    };

    struct Response {
        enum class Mode {
            Respond,           // status line, headers, body, then close
            Stall,             // read the request and never answer
            StallAfterHeaders, // send the headers and the first `partialBodyBytes` of the body, then wait
            CutAfterHeaders,   // the same, then close the connection
            Raw,               // write `raw` as soon as anything arrives, then close (no HTTP parsing)
            Close,             // read the request and close the connection without a word
        };
        Mode mode = Mode::Respond;
        int status = 200;
        QByteArray body;
        QList<Header> extraHeaders;
        bool sendContentLength = true; // false: the body ends when the connection closes
        std::optional<qint64> declaredLength;
        qint64 partialBodyBytes = 0;
        QByteArray raw;
    };

    LoopbackHttpServer();

    bool start() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QUrl baseUrl(const QString& scheme = QStringLiteral("http")) const;
    void setResponse(Response response) { m_response = std::move(response); } // for every following request
    static Response json(int status, const QByteArray& body);

    const QList<Request>& requests() const { return m_requests; }
    int openConnections() const { return m_openConnections; }
    int connectionCount() const { return m_connectionCount; }

private:
    void consume(QTcpSocket* socket);
    void answer(QTcpSocket* socket);

    QTcpServer m_server;
    Response m_response;
    QList<Request> m_requests;
    int m_openConnections = 0;
    int m_connectionCount = 0;
};

} // namespace norvane::testing
