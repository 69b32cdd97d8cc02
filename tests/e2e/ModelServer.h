#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

namespace norvane::testing {

// The model service as the running program meets it: an HTTP/1.1 server on 127.0.0.1 that records
// every request and answers each through a responder the test can swap at any time. It can stop
// listening and listen again on the same port, so "the service is down" and "it is back" are one
// address.
class ModelServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QByteArray query;
        QByteArray body;
        QJsonObject json; // the body, when it is a JSON object

        QJsonArray parts() const;
        QString promptText() const; // the text of the first part
        // Told apart by their prompts: the coaching request about a burst, and the follow-up after the
        // user's answer.
        bool isAnalysis() const;
        bool isRecommendation() const;
    };

    struct Reply {
        int status = 200;
        QByteArray body;
    };
    using Responder = std::function<Reply(const Request&)>;

    // A successful generateContent reply whose only text part is `text`.
    static Reply modelText(const QString& text);

    explicit ModelServer(QObject* parent = nullptr);
    ~ModelServer() override;

    // Port 0 picks a free one; any other port is taken again after close().
    bool listen(quint16 port = 0);
    void close();
    quint16 port() const { return m_port; }
    QString baseUrl() const;

    void setResponder(Responder responder) { m_responder = std::move(responder); }

    const QList<Request>& requests() const { return m_requests; }
    int analysisCount() const;
    int recommendationCount() const;
    // The latest request of the kind, or null when there was none.
    const Request* lastAnalysis() const;
    const Request* lastRecommendation() const;

private:
    void serve(QTcpSocket* socket);

    QTcpServer m_server;
    quint16 m_port = 0;
    Responder m_responder;
    QList<Request> m_requests;
};

} // namespace norvane::testing
