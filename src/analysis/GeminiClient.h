// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "ModelHttpExchange.h"
#include "model/ServiceInterfaces.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <memory>
#include <optional>

namespace norvane {

// One generateContent request per call, the reply as one trimmed text. Main thread; requests are
// asynchronous, several may be in flight.
class GeminiClient : public QObject, public GeminiGenerating {
    Q_OBJECT
public:
    static inline const QString modelIdentifier = ModelConnection::defaultGeminiModel;
    static QUrl defaultEndpointBase() {
        return QUrl(QStringLiteral("https://generativelanguage.googleapis.com"));
    }

    explicit GeminiClient(QUrl endpointBase = defaultEndpointBase(), QObject* parent = nullptr);
    GeminiClient(QUrl endpointBase, GeminiClientLimits limits, QObject* parent = nullptr);
    ~GeminiClient() override;

    // Gemini's own part of `connection`: the model (blank for the default) and the key.
    QCoro::Task<Expected<QString, GeminiClientError>> generate(QList<GeminiRequestPart> parts,
                                                               ModelConnection connection, double temperature,
                                                               std::optional<QString> responseMimeType,
                                                               CancellationToken cancel = {}) override;

    // The request body: one content with the parts in order, and the generation config.
    static QByteArray requestBody(const QList<GeminiRequestPart>& parts, double temperature,
                                  const std::optional<QString>& responseMimeType);

    // What a finished HTTP exchange means: the joined, trimmed reply text or the error it carries.
    static Expected<QString, GeminiClientError> interpretResponse(int statusCode, const QByteArray& body,
                                                                  const QString& model = modelIdentifier);

    // The sentence shown for an error message of the service about `model`.
    static QString friendlyErrorMessage(const QString& message, const QString& model = modelIdentifier);

    // `text` with every form of `apiKey` a URL or a message could carry replaced by a fixed mask.
    static QString maskApiKey(QString text, const QString& apiKey);
    static inline const QString apiKeyMask = QStringLiteral("[API key hidden]");
    // `error` with the key masked in the text it carries.
    static GeminiClientError maskApiKey(const GeminiClientError& error, const QString& apiKey);

private:
    QCoro::Task<Expected<QString, GeminiClientError>> send(QList<GeminiRequestPart> parts, QString apiKey,
                                                           QString model, double temperature,
                                                           std::optional<QString> responseMimeType,
                                                           CancellationToken cancel);

    QUrl m_endpointBase;
    std::unique_ptr<ModelHttpExchange> m_exchange;
};

} // namespace norvane
