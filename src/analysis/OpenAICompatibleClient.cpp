// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "OpenAICompatibleClient.h"

#include "GeminiClient.h"
#include "JSONExtractor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QStringList>

#include <algorithm>

namespace norvane {

namespace {

GeminiClientError wrongShape(const QString& key, const QString& context, const QString& shape) {
    return GeminiClientError::decoding(
        QStringLiteral("The data couldn't be read because \"%1\" in %2 should be %3.")
            .arg(key, context, shape));
}

bool isAbsent(const QJsonValue& value) {
    return value.isUndefined() || value.isNull();
}

// The content of the first choice's message: a string, or parts of which only the texts count.
Expected<QString, GeminiClientError> replyText(const QByteArray& body) {
    auto parsed = JSONExtractor::parseJson(body);
    if (!parsed)
        return GeminiClientError::decoding(parsed.error().description);
    auto response = json::requireObject(*parsed, QStringLiteral("the response"));
    if (!response)
        return GeminiClientError::decoding(response.error().description);
    const QJsonValue choices = response->value(QStringLiteral("choices"));
    if (!isAbsent(choices) && !choices.isArray())
        return wrongShape(QStringLiteral("choices"), QStringLiteral("the response"),
                          QStringLiteral("an array"));
    if (choices.toArray().isEmpty())
        return GeminiClientError::emptyResponse();
    auto choice = json::requireObject(choices.toArray().first(), QStringLiteral("the first choice"));
    if (!choice)
        return GeminiClientError::decoding(choice.error().description);
    const QJsonValue messageValue = choice->value(QStringLiteral("message"));
    if (isAbsent(messageValue))
        return GeminiClientError::emptyResponse();
    auto message = json::requireObject(messageValue, QStringLiteral("the choice's message"));
    if (!message)
        return GeminiClientError::decoding(message.error().description);

    const QJsonValue content = message->value(QStringLiteral("content"));
    QStringList texts;
    if (content.isString()) {
        texts.append(content.toString());
    } else if (content.isArray()) {
        for (const QJsonValue& partValue : content.toArray()) {
            const QJsonValue text = partValue.toObject().value(QStringLiteral("text"));
            if (isAbsent(text))
                continue;
            if (!text.isString())
                return wrongShape(QStringLiteral("text"), QStringLiteral("a part of the reply"),
                                  QStringLiteral("a string"));
            texts.append(text.toString());
        }
    } else if (!isAbsent(content)) {
        return wrongShape(QStringLiteral("content"), QStringLiteral("the choice's message"),
                          QStringLiteral("a string or an array"));
    }
    const QString joined = texts.join(QLatin1Char('\n')).trimmed();
    if (joined.isEmpty())
        return GeminiClientError::emptyResponse();
    return joined;
}

bool hasControlCharacter(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

OpenAICompatibleClient::OpenAICompatibleClient(GeminiClientLimits limits, QObject* parent)
    : QObject(parent),
      m_exchange(std::make_unique<ModelHttpExchange>(QStringLiteral("The model server"), limits)) {}

OpenAICompatibleClient::~OpenAICompatibleClient() {
    // Requests still in flight end now, as cancelled, while this object is whole.
    m_exchange.reset();
}

QByteArray OpenAICompatibleClient::requestBody(const QList<GeminiRequestPart>& parts, const QString& model,
                                               double temperature, bool askForJsonObject) {
    QJsonArray content;
    for (const GeminiRequestPart& part : parts) {
        if (part.text)
            content.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("text")},
                                       {QStringLiteral("text"), *part.text}});
        if (part.inlineData) {
            const QString url =
                QStringLiteral("data:%1;base64,%2").arg(part.inlineData->mimeType, part.inlineData->data);
            content.append(
                QJsonObject{{QStringLiteral("type"), QStringLiteral("image_url")},
                            {QStringLiteral("image_url"), QJsonObject{{QStringLiteral("url"), url}}}});
        }
    }
    QJsonObject request{
        {QStringLiteral("model"), model},
        {QStringLiteral("temperature"), temperature},
        {QStringLiteral("max_tokens"), maxTokens},
        {QStringLiteral("messages"), QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                                            {QStringLiteral("content"), content}}}},
    };
    if (askForJsonObject)
        request.insert(QStringLiteral("response_format"),
                       QJsonObject{{QStringLiteral("type"), QStringLiteral("json_object")}});
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

Expected<QString, GeminiClientError> OpenAICompatibleClient::interpretResponse(int statusCode,
                                                                               const QByteArray& body) {
    if (statusCode >= 200 && statusCode <= 299)
        return replyText(body);
    // OpenAI, vLLM and Ollama put the message in {"error":{"message":…}}; Ollama sometimes in {"error":"…"}.
    return failedReply(body, QStringLiteral("The model server returned HTTP %1.").arg(statusCode), true);
}

QCoro::Task<Expected<QString, GeminiClientError>>
OpenAICompatibleClient::generate(QList<GeminiRequestPart> parts, ModelConnection connection,
                                 double temperature, std::optional<QString> responseMimeType,
                                 CancellationToken cancel) {
    const QString apiKey = connection.apiKey;
    const bool wantsJson = responseMimeType == QStringLiteral("application/json");
    auto result = co_await send(std::move(parts), std::move(connection), temperature, wantsJson, cancel);
    if (!result)
        co_return GeminiClient::maskApiKey(result.error(), apiKey);
    co_return result;
}

QCoro::Task<Expected<QString, GeminiClientError>>
OpenAICompatibleClient::send(QList<GeminiRequestPart> parts, ModelConnection connection, double temperature,
                             bool wantsJson, CancellationToken cancel) {
    if (cancel.isCancelled())
        co_return GeminiClientError::cancelled();
    if (const QString problem = connection.problem(); !problem.isEmpty())
        co_return GeminiClientError::apiError(problem);
    // A line break in the key would end the header and start one of the key's choosing.
    if (hasControlCharacter(connection.apiKey))
        co_return GeminiClientError::apiError(
            QStringLiteral("The key holds a line break or another control character; paste it again."));

    QString base = connection.baseURL.toString(QUrl::FullyEncoded);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QUrl url(base + QStringLiteral("/chat/completions"), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        co_return GeminiClientError::invalidURL();
    QList<ModelHttpExchange::Header> headers;
    if (!connection.apiKey.isEmpty())
        headers.append({QByteArrayLiteral("Authorization"), "Bearer " + connection.apiKey.toUtf8()});

    const QString model = connection.effectiveModel();
    const QString server = url.toString() + QLatin1Char(' ') + model;
    const bool askForJsonObject = wantsJson && !m_refusesJsonObject.contains(server);
    QPointer<OpenAICompatibleClient> self(this);
    auto reply = co_await m_exchange->post(url, headers,
                                           requestBody(parts, model, temperature, askForJsonObject), cancel);
    // Servers without a JSON mode refuse the field; the prompt asks for JSON all the same. Only a server
    // that takes the request without it is marked, so another 400 cause does not switch the mode off.
    if (askForJsonObject && reply && reply->status == 400 && self) {
        reply =
            co_await m_exchange->post(url, headers, requestBody(parts, model, temperature, false), cancel);
        if (self && reply && reply->status != 400)
            m_refusesJsonObject.insert(server);
    }
    if (!reply)
        co_return reply.error();
    co_return interpretResponse(reply->status, reply->body);
}

} // namespace norvane
