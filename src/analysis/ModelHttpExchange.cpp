// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "ModelHttpExchange.h"

#include "JSONExtractor.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>

#include <QCoroNetworkReply>

#include <memory>

namespace norvane {

namespace {

const QString timedOutText = QStringLiteral("The request timed out.");

QString sizeText(qint64 bytes) {
    constexpr qint64 mebibyte = 1024 * 1024;
    if (bytes >= mebibyte && bytes % mebibyte == 0)
        return QStringLiteral("%1 MiB").arg(bytes / mebibyte);
    return QStringLiteral("%1 bytes").arg(bytes);
}

// Errors of the transport itself, as opposed to an HTTP status the server chose to send.
bool isTransportFailure(QNetworkReply::NetworkError error) {
    const int code = int(error);
    return (code >= 1 && code <= 199) || error == QNetworkReply::ProtocolUnknownError ||
           error == QNetworkReply::ProtocolFailure;
}

} // namespace

GeminiClientError failedReply(const QByteArray& body, const QString& statusText, bool plainError,
                              const std::function<QString(const QString&)>& polish) {
    // A failure needs a sentence the user can read; a blank message or body has none to offer.
    if (auto parsed = JSONExtractor::parseJson(body); parsed && parsed->isObject()) {
        const QJsonValue error = parsed->toObject().value(QStringLiteral("error"));
        const QJsonValue message = error.isObject() ? error.toObject().value(QStringLiteral("message"))
                                   : plainError     ? error
                                                    : QJsonValue();
        if (message.isString()) {
            const QString text = message.toString();
            return GeminiClientError::apiError(text.trimmed().isEmpty() ? statusText
                                               : polish                 ? polish(text)
                                                                        : text);
        }
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(body);
    if (decoder.hasError() || text.trimmed().isEmpty())
        return GeminiClientError::apiError(statusText);
    return GeminiClientError::apiError(text);
}

ModelHttpExchange::ModelHttpExchange(QString serverName, GeminiClientLimits limits, QObject* parent)
    : QObject(parent), m_serverName(std::move(serverName)), m_limits(limits),
      m_network(new QNetworkAccessManager(this)) {
    // Ephemeral: no disk cache is ever installed, no cookies are stored or sent (request attributes),
    // no credentials are kept, and a redirect is never followed to another party with the screenshots.
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_network->setStrictTransportSecurityEnabled(false);
}

ModelHttpExchange::~ModelHttpExchange() {
    m_shuttingDown = true;
    const auto replies = m_network->findChildren<QNetworkReply*>();
    for (QNetworkReply* reply : replies)
        reply->abort();
}

QCoro::Task<Expected<ModelHttpReply, GeminiClientError>>
ModelHttpExchange::post(QUrl url, QList<Header> headers, QByteArray body, CancellationToken cancel) {
    if (cancel.isCancelled())
        co_return GeminiClientError::cancelled();

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    // The service sees which program calls it, not Qt's browser-like default.
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Norvane/" NORVANE_VERSION));
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    request.setTransferTimeout(int(m_limits.progressTimeoutSeconds * 1000.0));
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);

    struct Transfer {
        QByteArray body;
        bool tooLarge = false;
        bool timedOut = false;
    };
    auto transfer = std::make_shared<Transfer>();
    const qint64 cap = m_limits.maxReplyBytes;
    const QString tooLargeText =
        QStringLiteral("%1 sent a reply larger than %2, so Norvane stopped reading it.")
            .arg(m_serverName, sizeText(cap));
    Clock* clock = m_limits.clock;

    QPointer<ModelHttpExchange> self(this);
    QPointer<QNetworkReply> reply = m_network->post(request, body);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> owner(
        reply.data(), [](QNetworkReply* r) { r->deleteLater(); });

    // Read as the bytes arrive, so an oversized reply is dropped long before it fills memory.
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, transfer, cap] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > cap) {
            transfer->tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, transfer, cap] {
        if (transfer->tooLarge)
            return;
        transfer->body += reply->readAll();
        if (transfer->body.size() > cap) {
            transfer->tooLarge = true;
            transfer->body.clear();
            // Not from inside the reply's own signal: Qt reports the abort as a second error there.
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
        }
    });
    const quint64 timer = clock->startTimer(m_limits.totalTimeoutSeconds, [reply, transfer] {
        transfer->timedOut = true;
        if (reply)
            reply->abort();
    });
    const int cancelCallback = cancel.onCancel([reply] {
        if (reply)
            reply->abort();
    });

    co_await reply.data();

    cancel.removeCallback(cancelCallback);
    clock->cancelTimer(timer);
    if (cancel.isCancelled() || !self || self->m_shuttingDown || !reply)
        co_return GeminiClientError::cancelled();
    if (transfer->tooLarge)
        co_return GeminiClientError::apiError(tooLargeText);
    if (transfer->timedOut)
        co_return GeminiClientError::transport(timedOutText);

    if (reply->isOpen())
        transfer->body += reply->readAll();
    if (transfer->body.size() > cap)
        co_return GeminiClientError::apiError(tooLargeText);

    const QNetworkReply::NetworkError error = reply->error();
    // Qt reports its own progress time-out as a cancellation, since nobody else aborted the reply.
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
        co_return GeminiClientError::transport(timedOutText);
    if (isTransportFailure(error))
        co_return GeminiClientError::transport(reply->errorString());
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (error != QNetworkReply::NoError)
            co_return GeminiClientError::transport(reply->errorString());
        co_return GeminiClientError::invalidResponse();
    }
    co_return ModelHttpReply{status.toInt(), transfer->body};
}

} // namespace norvane
