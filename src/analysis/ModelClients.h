// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "GeminiClient.h"
#include "OpenAICompatibleClient.h"

namespace norvane {

// The model service as the analysis sees it: each request goes to the client of the provider its
// connection names.
class ModelClients : public QObject, public GeminiGenerating {
    Q_OBJECT
public:
    // `limits` hold for both providers; `geminiEndpointBase` is where Gemini requests go.
    explicit ModelClients(QUrl geminiEndpointBase = GeminiClient::defaultEndpointBase(),
                          GeminiClientLimits limits = {}, QObject* parent = nullptr);

    // The process-wide instance (defined by the application's composition root).
    static ModelClients* shared();

    QCoro::Task<Expected<QString, GeminiClientError>> generate(QList<GeminiRequestPart> parts,
                                                               ModelConnection connection, double temperature,
                                                               std::optional<QString> responseMimeType,
                                                               CancellationToken cancel = {}) override;

private:
    GeminiClient m_gemini;
    OpenAICompatibleClient m_openAICompatible;
};

} // namespace norvane
