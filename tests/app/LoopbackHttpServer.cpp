#include "LoopbackHttpServer.h"

#include <QTcpSocket>

#include <memory>

namespace norvane::testing {

LoopbackHttpServer::LoopbackHttpServer() {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

QString LoopbackHttpServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void LoopbackHttpServer::serve(QTcpSocket* socket) {
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
        Request request{requestLine.value(0), requestLine.value(1), buffer->mid(headerEnd + 4, length)};
        requests.append(request);
        buffer->clear();

        const QByteArray answer = echoTargetInBody ? body + request.target : body;
        QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
        response += "Content-Type: " + contentType + "\r\n";
        response += "Content-Length: " + QByteArray::number(answer.size()) + "\r\n";
        response += "Connection: close\r\n\r\n";
        response += answer;
        socket->write(response);
        socket->disconnectFromHost();
    });
}

} // namespace norvane::testing
