// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/Clock.h"
#include "model/ServiceInterfaces.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <utility>

class QNetworkAccessManager;

namespace norvane {

// The limits of one request. Production uses the defaults; tests shorten them.
struct GeminiClientLimits {
    // A transfer that makes no progress for this long is abandoned.
    double progressTimeoutSeconds = 45.0;
    // A request that has not finished after this long is abandoned, progress or not.
    double totalTimeoutSeconds = 60.0;
    // A reply body larger than this is abandoned instead of being read into memory.
    qint64 maxReplyBytes = 20LL * 1024 * 1024;
    // Runs the overall time-out.
    Clock* clock = Clock::system();
};

// What a model server answered: its HTTP status and the whole body.
struct ModelHttpReply {
    int status = 0;
    QByteArray body;
};

// What a model server's error reply means to the user: the server's own message from its
// {"error":{"message":…}} envelope (also {"error":"…"} where `plainError`) passed through `polish`, else the
// body when it is readable text, else `statusText`.
GeminiClientError failedReply(const QByteArray& body, const QString& statusText, bool plainError,
                              const std::function<QString(const QString&)>& polish = {});

// One POST of JSON to a model server and its whole reply, held to the limits. The network code both
// model clients share; main thread, several exchanges may be in flight.
class ModelHttpExchange : public QObject {
    Q_OBJECT
public:
    using Header = std::pair<QByteArray, QByteArray>;

    // `serverName` begins the sentence about an oversized reply ("Gemini", "The model server").
    ModelHttpExchange(QString serverName, GeminiClientLimits limits, QObject* parent = nullptr);
    // Exchanges still in flight end now, as cancelled.
    ~ModelHttpExchange() override;

    // The status and body, or why there is none: cancelled, timed out, too large, or the transport's
    // own description. Never follows a redirect; a 3xx comes back as it is.
    QCoro::Task<Expected<ModelHttpReply, GeminiClientError>> post(QUrl url, QList<Header> headers,
                                                                  QByteArray body, CancellationToken cancel);

private:
    QString m_serverName;
    GeminiClientLimits m_limits;
    QNetworkAccessManager* m_network;
    bool m_shuttingDown = false;
};

} // namespace norvane
