// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "LoopbackHttpServer.h"

#include <QTcpSocket>

namespace norvane::testing {

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
    const bool listening = m_server.listen(QHostAddress::LocalHost, port);
    m_port = m_server.serverPort();
    return listening;
}

void LoopbackHttpServer::consume(QTcpSocket* socket) {
    const QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    for (const QByteArray& line : lines.mid(1)) {
        if (const qsizetype colon = line.indexOf(':'); colon > 0)
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    const qint64 length = request.header("Content-Length").value_or("0").toLongLong();
    // Answered once, when the whole request is in.
    if (socket->property("answered").toBool() || headerEnd < 0 || buffer.size() < headerEnd + 4 + length)
        return;
    socket->setProperty("answered", true);
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    const QList<QByteArray> target = requestLine.value(1).split('?');
    request.method = requestLine.value(0);
    request.path = target.first();
    request.query = target.mid(1).join('?');
    request.body = buffer.mid(headerEnd + 4, length);
    request.raw = buffer.left(headerEnd + 4 + length);
    m_requests.append(request);
    const Response response = m_responder ? m_responder(request) : m_response;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    for (const auto& [name, value] : response.extraHeaders)
        head += name + ": " + value + "\r\n";
    if (const qint64 declared = response.declaredLength.value_or(response.body.size()); declared >= 0)
        head += "Content-Length: " + QByteArray::number(declared) + "\r\n";
    socket->write(head + "Connection: close\r\n\r\n" +
                  response.body.left(response.stallAfterBodyBytes.value_or(response.body.size())));
    if (!response.stallAfterBodyBytes)
        socket->disconnectFromHost();
}

} // namespace norvane::testing
