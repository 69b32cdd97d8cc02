#include "ModelServer.h"

#include <QJsonDocument>
#include <QTcpSocket>

#include <algorithm>
#include <memory>

namespace norvane::testing {

QJsonArray ModelServer::Request::parts() const {
    const QJsonArray contents = json.value(QStringLiteral("contents")).toArray();
    return contents.isEmpty() ? QJsonArray()
                              : contents.first().toObject().value(QStringLiteral("parts")).toArray();
}

QString ModelServer::Request::promptText() const {
    const QJsonArray all = parts();
    return all.isEmpty() ? QString() : all.first().toObject().value(QStringLiteral("text")).toString();
}

bool ModelServer::Request::isAnalysis() const {
    return promptText().startsWith(QStringLiteral("You are an AI efficiency coach"));
}

bool ModelServer::Request::isRecommendation() const {
    return promptText().contains(QStringLiteral("WHAT THE USER SAID THEY'RE DOING: "));
}

ModelServer::Reply ModelServer::modelText(const QString& text) {
    const QJsonObject part{{QStringLiteral("text"), text}};
    const QJsonObject content{{QStringLiteral("parts"), QJsonArray{part}}, {QStringLiteral("role"), "model"}};
    const QJsonObject candidate{{QStringLiteral("content"), content}};
    const QJsonObject envelope{{QStringLiteral("candidates"), QJsonArray{candidate}}};
    return Reply{200, QJsonDocument(envelope).toJson(QJsonDocument::Compact)};
}

ModelServer::ModelServer(QObject* parent) : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

ModelServer::~ModelServer() {
    close();
}

bool ModelServer::listen(quint16 port) {
    if (!m_server.listen(QHostAddress::LocalHost, port))
        return false;
    m_port = m_server.serverPort();
    return true;
}

void ModelServer::close() {
    m_server.close();
}

QString ModelServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

int ModelServer::analysisCount() const {
    return int(
        std::count_if(m_requests.begin(), m_requests.end(), [](const Request& r) { return r.isAnalysis(); }));
}

int ModelServer::recommendationCount() const {
    return int(std::count_if(m_requests.begin(), m_requests.end(),
                             [](const Request& r) { return r.isRecommendation(); }));
}

const ModelServer::Request* ModelServer::lastAnalysis() const {
    for (auto it = m_requests.rbegin(); it != m_requests.rend(); ++it) {
        if (it->isAnalysis())
            return &*it;
    }
    return nullptr;
}

const ModelServer::Request* ModelServer::lastRecommendation() const {
    for (auto it = m_requests.rbegin(); it != m_requests.rend(); ++it) {
        if (it->isRecommendation())
            return &*it;
    }
    return nullptr;
}

void ModelServer::serve(QTcpSocket* socket) {
    socket->setParent(this);
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

        Request request;
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        request.method = requestLine.value(0);
        const QByteArray target = requestLine.value(1);
        const qsizetype question = target.indexOf('?');
        request.path = question < 0 ? target : target.left(question);
        request.query = question < 0 ? QByteArray() : target.mid(question + 1);
        request.body = buffer->mid(headerEnd + 4, length);
        request.json = QJsonDocument::fromJson(request.body).object();
        buffer->clear();
        m_requests.append(request);

        const Reply reply = m_responder ? m_responder(request) : Reply{404, "{}"};
        QByteArray response = "HTTP/1.1 " + QByteArray::number(reply.status) + " Reply\r\n";
        response += "Content-Type: application/json; charset=UTF-8\r\n";
        response += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        response += "Connection: close\r\n\r\n";
        response += reply.body;
        socket->write(response);
        socket->disconnectFromHost();
    });
}

} // namespace norvane::testing
