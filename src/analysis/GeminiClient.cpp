// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "GeminiClient.h"

#include "JSONExtractor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace norvane {

namespace {

DecodingError notAnArray(const QString& key, const QString& context) {
    return {QStringLiteral("The data couldn't be read because \"%1\" in %2 should be an array.")
                .arg(key, context)};
}

DecodingError notAString(const QString& key, const QString& context) {
    return {QStringLiteral("The data couldn't be read because \"%1\" in %2 should be a string.")
                .arg(key, context)};
}

GeminiClientError decodingError(const DecodingError& error) {
    return GeminiClientError::decoding(error.description);
}

Expected<QString, GeminiClientError> replyText(const QByteArray& body) {
    auto parsed = JSONExtractor::parseJson(body);
    if (!parsed)
        return decodingError(parsed.error());
    auto response = json::requireObject(*parsed, QStringLiteral("the response"));
    if (!response)
        return decodingError(response.error());

    const QJsonValue candidates = response->value(QStringLiteral("candidates"));
    if (candidates.isUndefined() || candidates.isNull())
        return GeminiClientError::emptyResponse();
    if (!candidates.isArray())
        return decodingError(notAnArray(QStringLiteral("candidates"), QStringLiteral("the response")));
    const QJsonArray candidateList = candidates.toArray();
    if (candidateList.isEmpty())
        return GeminiClientError::emptyResponse();

    // Only the first candidate counts; the others are never looked at.
    auto candidate = json::requireObject(candidateList.first(), QStringLiteral("the first candidate"));
    if (!candidate)
        return decodingError(candidate.error());
    const QJsonValue contentValue = candidate->value(QStringLiteral("content"));
    if (contentValue.isUndefined() || contentValue.isNull())
        return GeminiClientError::emptyResponse();
    auto content = json::requireObject(contentValue, QStringLiteral("the candidate's content"));
    if (!content)
        return decodingError(content.error());
    const QJsonValue parts = content->value(QStringLiteral("parts"));
    if (parts.isUndefined() || parts.isNull())
        return GeminiClientError::emptyResponse();
    if (!parts.isArray())
        return decodingError(notAnArray(QStringLiteral("parts"), QStringLiteral("the candidate's content")));

    QStringList texts;
    for (const QJsonValue& partValue : parts.toArray()) {
        auto part = json::requireObject(partValue, QStringLiteral("a part of the reply"));
        if (!part)
            return decodingError(part.error());
        const QJsonValue text = part->value(QStringLiteral("text"));
        if (text.isUndefined() || text.isNull())
            continue;
        if (!text.isString())
            return decodingError(notAString(QStringLiteral("text"), QStringLiteral("a part of the reply")));
        texts.append(text.toString());
    }
    const QString joined = texts.join(QLatin1Char('\n')).trimmed();
    if (joined.isEmpty())
        return GeminiClientError::emptyResponse();
    return joined;
}

} // namespace

GeminiClient::GeminiClient(QUrl endpointBase, QObject* parent)
    : GeminiClient(std::move(endpointBase), GeminiClientLimits{}, parent) {}

GeminiClient::GeminiClient(QUrl endpointBase, GeminiClientLimits limits, QObject* parent)
    : QObject(parent), m_endpointBase(std::move(endpointBase)),
      m_exchange(std::make_unique<ModelHttpExchange>(QStringLiteral("Gemini"), limits)) {}

GeminiClient::~GeminiClient() {
    // Requests still in flight end now, as cancelled, while this object is whole.
    m_exchange.reset();
}

QByteArray GeminiClient::requestBody(const QList<GeminiRequestPart>& parts, double temperature,
                                     const std::optional<QString>& responseMimeType) {
    QJsonArray payloads;
    for (const GeminiRequestPart& part : parts) {
        QJsonObject payload;
        if (part.text)
            payload.insert(QStringLiteral("text"), *part.text);
        if (part.inlineData) {
            payload.insert(QStringLiteral("inlineData"),
                           QJsonObject{{QStringLiteral("mimeType"), part.inlineData->mimeType},
                                       {QStringLiteral("data"), part.inlineData->data}});
        }
        payloads.append(payload);
    }
    QJsonObject generationConfig{{QStringLiteral("temperature"), temperature}};
    if (responseMimeType)
        generationConfig.insert(QStringLiteral("responseMimeType"), *responseMimeType);
    const QJsonObject request{
        {QStringLiteral("contents"), QJsonArray{QJsonObject{{QStringLiteral("parts"), payloads}}}},
        {QStringLiteral("generationConfig"), generationConfig},
    };
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

Expected<QString, GeminiClientError> GeminiClient::interpretResponse(int statusCode, const QByteArray& body,
                                                                     const QString& model) {
    if (statusCode >= 200 && statusCode <= 299)
        return replyText(body);
    return failedReply(body, QStringLiteral("Gemini returned HTTP %1.").arg(statusCode), false,
                       [&model](const QString& message) { return friendlyErrorMessage(message, model); });
}

QString GeminiClient::friendlyErrorMessage(const QString& message, const QString& model) {
    const QString lowered = message.toLower();
    if (lowered.contains(QStringLiteral("no longer available")) ||
        lowered.contains(QStringLiteral("not found for api version"))) {
        return QStringLiteral("The configured Gemini model (") + model +
               QStringLiteral(
                   ") is unavailable for this API key or API version. Check the current Gemini model "
                   "docs and update the app default model if needed.");
    }
    return message;
}

namespace {

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// One character of the key and the ways a text can carry it.
struct KeyCharacter {
    QString literal;
    QByteArray utf8;
    bool isSpace = false;
};

// The length of the percent-encoded bytes at `at`, or 0 when they are not there.
qsizetype encodedLength(const QString& text, qsizetype at, const QByteArray& bytes) {
    qsizetype position = at;
    for (const char byte : bytes) {
        if (position + 2 >= text.size() || text.at(position) != QLatin1Char('%'))
            return 0;
        const int high = hexValue(text.at(position + 1));
        const int low = hexValue(text.at(position + 2));
        if (high < 0 || low < 0 || (high << 4 | low) != static_cast<unsigned char>(byte))
            return 0;
        position += 3;
    }
    return position - at;
}

// The length of the key's appearance at `at`, or 0. The encoded form is tried first, so a '%' of the
// key is not taken literally where "%25" stands.
qsizetype keyLengthAt(const QString& text, qsizetype at, const QList<KeyCharacter>& key) {
    qsizetype position = at;
    for (const KeyCharacter& character : key) {
        if (const qsizetype encoded = encodedLength(text, position, character.utf8)) {
            position += encoded;
        } else if (QStringView(text).sliced(position).startsWith(character.literal)) {
            position += character.literal.size();
        } else if (character.isSpace && position < text.size() && text.at(position) == QLatin1Char('+')) {
            position += 1;
        } else {
            return 0;
        }
    }
    return position - at;
}

} // namespace

QString GeminiClient::maskApiKey(QString text, const QString& apiKey) {
    if (apiKey.isEmpty())
        return text;
    // The key as typed and every way a URL can carry it: each character literally or percent-encoded,
    // hex digits in either case, a space also as '+'. Plain comparison, so a key of any length works.
    QList<KeyCharacter> key;
    for (const char32_t codePoint : apiKey.toUcs4()) {
        const QString literal = QString::fromUcs4(&codePoint, 1);
        key.append(KeyCharacter{literal, literal.toUtf8(), codePoint == U' '});
    }
    QString masked;
    qsizetype copiedUpTo = 0;
    for (qsizetype at = 0; at < text.size();) {
        if (const qsizetype length = keyLengthAt(text, at, key)) {
            masked += QStringView(text).sliced(copiedUpTo, at - copiedUpTo);
            masked += apiKeyMask;
            at += length;
            copiedUpTo = at;
        } else {
            ++at;
        }
    }
    if (copiedUpTo == 0)
        return text;
    masked += QStringView(text).sliced(copiedUpTo);
    return masked;
}

GeminiClientError GeminiClient::maskApiKey(const GeminiClientError& error, const QString& apiKey) {
    switch (error.kind()) {
    case GeminiClientError::Kind::ApiError:
        return GeminiClientError::apiError(maskApiKey(error.message(), apiKey));
    case GeminiClientError::Kind::Transport:
        return GeminiClientError::transport(maskApiKey(error.message(), apiKey));
    case GeminiClientError::Kind::Decoding:
        return GeminiClientError::decoding(maskApiKey(error.message(), apiKey));
    case GeminiClientError::Kind::InvalidURL:
    case GeminiClientError::Kind::InvalidResponse:
    case GeminiClientError::Kind::EmptyResponse:
    case GeminiClientError::Kind::Cancelled:
        break;
    }
    return error;
}

QCoro::Task<Expected<QString, GeminiClientError>>
GeminiClient::generate(QList<GeminiRequestPart> parts, ModelConnection connection, double temperature,
                       std::optional<QString> responseMimeType, CancellationToken cancel) {
    const QString apiKey = connection.apiKey;
    auto result = co_await send(std::move(parts), apiKey, connection.effectiveModel(), temperature,
                                std::move(responseMimeType), cancel);
    if (!result)
        co_return maskApiKey(result.error(), apiKey);
    co_return result;
}

QCoro::Task<Expected<QString, GeminiClientError>>
GeminiClient::send(QList<GeminiRequestPart> parts, QString apiKey, QString model, double temperature,
                   std::optional<QString> responseMimeType, CancellationToken cancel) {
    if (cancel.isCancelled())
        co_return GeminiClientError::cancelled();
    // The name goes into the path; one that could leave its segment makes no request.
    if (!ModelConnection{ModelProvider::Gemini, {}, model, {}}.problem().isEmpty())
        co_return GeminiClientError::invalidURL();

    QString base = m_endpointBase.toString(QUrl::FullyEncoded);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    QUrl url(base + QStringLiteral("/v1beta/models/") + model + QStringLiteral(":generateContent"),
             QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        co_return GeminiClientError::invalidURL();
    // Encode every character the query syntax could misread ('&', '+', '#', '=', space ...).
    url.setQuery(QStringLiteral("key=") + QString::fromLatin1(QUrl::toPercentEncoding(apiKey)),
                 QUrl::StrictMode);
    if (!url.isValid())
        co_return GeminiClientError::invalidURL();

    const auto reply = co_await m_exchange->post(url, {}, requestBody(parts, temperature, responseMimeType),
                                                 std::move(cancel));
    if (!reply)
        co_return reply.error();
    co_return interpretResponse(reply->status, reply->body, model);
}

} // namespace norvane
