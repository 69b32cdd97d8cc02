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

LoopbackHttpServer::LoopbackHttpServer(QObject* parent) : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
}

LoopbackHttpServer::~LoopbackHttpServer() = default;

bool LoopbackHttpServer::start() {
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl LoopbackHttpServer::baseUrl(const QString& scheme) const {
    return QUrl(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port()));
}

LoopbackHttpServer::Response LoopbackHttpServer::json(int status, const QByteArray& body) {
    Response response;
    response.status = status;
    response.body = body;
    response.extraHeaders.append(
        LoopbackHttpServer::Header{"Content-Type", "application/json; charset=UTF-8"});
    return response;
}

void LoopbackHttpServer::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_connectionCount;
        ++m_openConnections;
        socket->setParent(this);
        socket->setProperty("buffer", QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { consume(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --m_openConnections;
            socket->deleteLater();
        });
    }
}

void LoopbackHttpServer::consume(QTcpSocket* socket) {
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    if (socket->property("answered").toBool())
        return;
    if (m_response.mode == Response::Mode::Raw) {
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
    if (requestLine.size() >= 2) {
        request.method = requestLine.at(0);
        request.target = requestLine.at(1);
    }
    const qsizetype question = request.target.indexOf('?');
    request.path = question < 0 ? request.target : request.target.left(question);
    request.query = question < 0 ? QByteArray() : request.target.mid(question + 1);
    qint64 contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon);
        const QByteArray value = line.mid(colon + 1).trimmed();
        request.headers.append({name, value});
        if (name.compare("content-length", Qt::CaseInsensitive) == 0)
            contentLength = value.toLongLong();
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
    switch (response.mode) {
    case Response::Mode::Stall:
        return;
    case Response::Mode::Close:
        socket->disconnectFromHost();
        return;
    default:
        break;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    for (const auto& [name, value] : response.extraHeaders)
        head += name + ": " + value + "\r\n";
    if (response.declaredLength)
        head += "Content-Length: " + QByteArray::number(*response.declaredLength) + "\r\n";
    else if (response.sendContentLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    if (response.mode == Response::Mode::StallAfterHeaders ||
        response.mode == Response::Mode::CutAfterHeaders) {
        socket->write(response.body.left(response.partialBodyBytes));
        if (response.mode == Response::Mode::CutAfterHeaders)
            socket->disconnectFromHost();
        return;
    }
    socket->write(response.body);
    socket->disconnectFromHost();
}

} // namespace norvane::testing
