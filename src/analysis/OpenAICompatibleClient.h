// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "ModelHttpExchange.h"
#include "model/ServiceInterfaces.h"

#include <QByteArray>
#include <QObject>
#include <QSet>

#include <memory>
#include <optional>

namespace norvane {

// One chat-completions request per call to a server that speaks the OpenAI API (a local Ollama or
// vLLM, a hosted provider), the reply as one trimmed text. Main thread; several may be in flight.
class OpenAICompatibleClient : public QObject, public GeminiGenerating {
    Q_OBJECT
public:
    static constexpr int maxTokens = 2048;

    explicit OpenAICompatibleClient(GeminiClientLimits limits = {}, QObject* parent = nullptr);
    ~OpenAICompatibleClient() override;

    // The server, model and key of `connection`; one whose problem() is not empty makes no request and
    // fails with that sentence as an API error.
    QCoro::Task<Expected<QString, GeminiClientError>> generate(QList<GeminiRequestPart> parts,
                                                               ModelConnection connection, double temperature,
                                                               std::optional<QString> responseMimeType,
                                                               CancellationToken cancel = {}) override;

    // The request body: one user message with the parts in order, images as data URLs.
    static QByteArray requestBody(const QList<GeminiRequestPart>& parts, const QString& model,
                                  double temperature, bool askForJsonObject);

    // What a finished HTTP exchange means: the reply text or the error it carries.
    static Expected<QString, GeminiClientError> interpretResponse(int statusCode, const QByteArray& body);

private:
    QCoro::Task<Expected<QString, GeminiClientError>> send(QList<GeminiRequestPart> parts,
                                                           ModelConnection connection, double temperature,
                                                           bool wantsJson, CancellationToken cancel);

    // Address and model of the servers that refused response_format; they are asked without it.
    QSet<QString> m_refusesJsonObject;
    std::unique_ptr<ModelHttpExchange> m_exchange;
};

} // namespace norvane
