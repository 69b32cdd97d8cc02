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

QUrl LoopbackHttpServer::baseUrl(const QString& scheme) const {
    return QUrl(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(m_server.serverPort()));
}

LoopbackHttpServer::Response LoopbackHttpServer::json(int status, const QByteArray& body) {
    Response response;
    response.status = status;
    response.body = body;
    response.extraHeaders.append(Header{"Content-Type", "application/json; charset=UTF-8"});
    return response;
}

void LoopbackHttpServer::consume(QTcpSocket* socket) {
    const QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    if (socket->property("answered").toBool())
        return;
    if (m_response.mode == Mode::Raw) {
        socket->setProperty("answered", true);
        socket->write(m_response.raw);
        socket->disconnectFromHost();
        return;
    }
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;

    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    const QByteArray target = requestLine.value(1);
    request.method = requestLine.value(0);
    const qsizetype question = target.indexOf('?');
    request.path = question < 0 ? target : target.left(question);
    request.query = question < 0 ? QByteArray() : target.mid(question + 1);
    qint64 contentLength = 0;
    for (const QByteArray& rawLine : lines.mid(1)) {
        const QByteArray line = rawLine.trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
        if (request.headers.last().first.compare("content-length", Qt::CaseInsensitive) == 0)
            contentLength = request.headers.last().second.toLongLong();
    }
    const qsizetype bodyStart = headerEnd + 4;
    if (buffer.size() - bodyStart < contentLength)
        return;
    request.body = buffer.mid(bodyStart, contentLength);
    request.raw = buffer.left(bodyStart + contentLength);
    m_requests.append(request);
    socket->setProperty("answered", true);
    answer(socket);
}

void LoopbackHttpServer::answer(QTcpSocket* socket) {
    const Response& response = m_response;
    if (response.mode == Mode::Stall)
        return;
    if (response.mode == Mode::Close) {
        socket->disconnectFromHost();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    for (const auto& [name, value] : response.extraHeaders)
        head += name + ": " + value + "\r\n";
    if (response.declaredLength || response.sendContentLength)
        head +=
            "Content-Length: " + QByteArray::number(response.declaredLength.value_or(response.body.size())) +
            "\r\n";
    socket->write(head + "Connection: close\r\n\r\n");
    const bool partial = response.mode == Mode::StallAfterHeaders || response.mode == Mode::CutAfterHeaders;
    socket->write(partial ? response.body.left(response.partialBodyBytes) : response.body);
    if (response.mode != Mode::StallAfterHeaders)
        socket->disconnectFromHost();
}

} // namespace norvane::testing
