#pragma once

#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

namespace norvane::testing {

// An HTTP server on 127.0.0.1 that records each request and answers every one with the configured
// status and body.
class LoopbackHttpServer : public QObject {
public:
    struct Request {
        QByteArray method;
        QByteArray target; // path and query
        QByteArray body;
    };

    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    bool echoTargetInBody = false; // the body is followed by the request target, as some proxies do
    QList<Request> requests;

    LoopbackHttpServer() {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

private:
    void serve(QTcpSocket* socket) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;
            const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
            qsizetype length = 0;
            for (const QByteArray& line : lines) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
            if (buffer->size() < headerEnd + 4 + length)
                return;
            const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
            const Request request{requestLine.value(0), requestLine.value(1),
                                  buffer->mid(headerEnd + 4, length)};
            requests.append(request);
            buffer->clear();
            const QByteArray answer = echoTargetInBody ? body + request.target : body;
            socket->write("HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Type: " +
                          contentType + "\r\nContent-Length: " + QByteArray::number(answer.size()) +
                          "\r\nConnection: close\r\n\r\n" + answer);
            socket->disconnectFromHost();
        });
    }
    QTcpServer m_server;
};

} // namespace norvane::testing
