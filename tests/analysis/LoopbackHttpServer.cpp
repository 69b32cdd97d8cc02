#include "LoopbackHttpServer.h"

#include <QTcpSocket>

namespace norvane::testing {

using Mode = LoopbackHttpServer::Response::Mode;

std::optional<QByteArray> LoopbackHttpServer::Request::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

LoopbackHttpServer::LoopbackHttpServer() {
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            ++m_connectionCount;
            ++m_openConnections;
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { consume(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                --m_openConnections;
                socket->deleteLater();
            });
        }
    });
}

bool LoopbackHttpServer::start(quint16 port) {
    if (!m_server.listen(QHostAddress::LocalHost, port))
        return false;
    m_port = m_server.serverPort();
    return true;
}

QUrl LoopbackHttpServer::baseUrl(const QString& scheme) const {
    return QUrl(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(m_port));
}

LoopbackHttpServer::Response LoopbackHttpServer::json(int status, const QByteArray& body) {
    return Response{.status = status, .body = body, .extraHeaders = {{"Content-Type", "application/json"}}};
}

void LoopbackHttpServer::consume(QTcpSocket* socket) {
    const QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    if (socket->property("answered").toBool())
        return;
    if (!m_responder && m_response.mode == Mode::Raw) {
        socket->setProperty("answered", true);
        socket->write(m_response.body);
        socket->disconnectFromHost();
        return;
    }
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;

    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    request.method = requestLine.value(0);
    const QList<QByteArray> target = requestLine.value(1).split('?');
    request.path = target.first();
    request.query = target.mid(1).join('?');
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    const qint64 length = request.header("Content-Length").value_or("0").toLongLong();
    if (buffer.size() - headerEnd - 4 < length)
        return;
    request.body = buffer.mid(headerEnd + 4, length);
    request.raw = buffer.left(headerEnd + 4 + length);
    m_requests.append(request);
    socket->setProperty("answered", true);
    answer(socket, m_responder ? m_responder(request) : m_response);
}

void LoopbackHttpServer::answer(QTcpSocket* socket, const Response& response) {
    if (response.mode == Mode::Stall)
        return;
    if (response.mode == Mode::Close)
        return socket->disconnectFromHost();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    for (const auto& [name, value] : response.extraHeaders)
        head += name + ": " + value + "\r\n";
    const qint64 length = response.declaredLength.value_or(response.body.size());
    if (length >= 0)
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    socket->write(head + "Connection: close\r\n\r\n");
    const bool partial = response.mode == Mode::StallAfterHeaders || response.mode == Mode::CutAfterHeaders;
    socket->write(partial ? response.body.left(response.partialBodyBytes) : response.body);
    if (response.mode != Mode::StallAfterHeaders)
        socket->disconnectFromHost();
}

} // namespace norvane::testing
