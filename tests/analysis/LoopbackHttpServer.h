// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <optional>
#include <utility>

class QTcpSocket;

namespace norvane::testing {

// The model service on 127.0.0.1: an HTTP/1.1 server that records every request exactly as it arrived
// and answers as scripted. It can stop listening and listen again on the same port, so "the service is
// down" and "it is back" are one address.
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
        int status = 200;
        QByteArray body;
        QList<Header> extraHeaders;
        // Sent as Content-Length instead of the body's size; a negative one is left out, so the body ends
        // when the connection closes.
        std::optional<qint64> declaredLength;
        // Set: only that many bytes of the body go out, and the connection stays open without a word more.
        std::optional<qint64> stallAfterBodyBytes;
    };
    using Responder = std::function<Response(const Request&)>;

    LoopbackHttpServer();
    // Port 0 picks a free one; after close() the same port can be taken again.
    bool start(quint16 port = 0);
    void close() { m_server.close(); }
    quint16 port() const { return m_port; }
    QUrl baseUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)); }

    // The same answer to every following request, or one chosen per request.
    void setResponse(Response response) {
        m_response = std::move(response);
        m_responder = nullptr;
    }
    void setResponder(Responder responder) { m_responder = std::move(responder); }
    static Response json(int status, const QByteArray& body) {
        return {status, body, {{"Content-Type", "application/json"}}};
    }

    const QList<Request>& requests() const { return m_requests; }
    int openConnections() const { return m_openConnections; }

private:
    void consume(QTcpSocket* socket);

    QTcpServer m_server;
    quint16 m_port = 0;
    Response m_response;
    Responder m_responder;
    QList<Request> m_requests;
    int m_openConnections = 0;
};

} // namespace norvane::testing
