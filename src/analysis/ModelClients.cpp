// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "ModelClients.h"

namespace norvane {

ModelClients::ModelClients(QUrl geminiEndpointBase, GeminiClientLimits limits, QObject* parent)
    : QObject(parent), m_gemini(std::move(geminiEndpointBase), limits), m_openAICompatible(limits) {}

QCoro::Task<Expected<QString, GeminiClientError>>
ModelClients::generate(QList<GeminiRequestPart> parts, ModelConnection connection, double temperature,
                       std::optional<QString> responseMimeType, CancellationToken cancel) {
    GeminiGenerating& client = connection.provider == ModelProvider::OpenAICompatible
                                   ? static_cast<GeminiGenerating&>(m_openAICompatible)
                                   : static_cast<GeminiGenerating&>(m_gemini);
    return client.generate(std::move(parts), std::move(connection), temperature, std::move(responseMimeType),
                           std::move(cancel));
}

} // namespace norvane
