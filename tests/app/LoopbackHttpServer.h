#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>

namespace norvane::testing {

// A one-answer HTTP server on 127.0.0.1 for the connection test: it records each request and answers
// every one with the configured status and body.
class LoopbackHttpServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray target; // path and query
        QByteArray body;
    };

    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    // When set, the answer's body is this text followed by the request target, as some proxies do.
    bool echoTargetInBody = false;
    QList<Request> requests;

    LoopbackHttpServer();
    quint16 port() const { return m_server.serverPort(); }
    QString baseUrl() const;

private:
    void serve(QTcpSocket* socket);
    QTcpServer m_server;
};

} // namespace norvane::testing
