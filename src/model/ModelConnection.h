// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>
#include <QUrl>

namespace norvane {

// Which service answers: Google's Gemini, or any server that speaks the OpenAI chat-completions API (a
// local Ollama, a hosted provider).
enum class ModelProvider { Gemini, OpenAICompatible };

// Where the screenshots of one request go and how they get there. Each provider has its own key, so a
// connection never carries one provider's key to another.
struct ModelConnection {
    ModelProvider provider = ModelProvider::Gemini;
    // OpenAI-compatible only: the address /chat/completions is appended to, e.g. http://127.0.0.1:11434/v1.
    QUrl baseURL;
    // Blank: Gemini's default model.
    QString model;
    // This provider's own key; blank for a local server that needs none.
    QString apiKey;

    static inline const QString defaultGeminiModel = QStringLiteral("gemini-3-flash-preview");
    static inline const QString ollamaBaseURL = QStringLiteral("http://127.0.0.1:11434/v1");

    static ModelConnection gemini(QString apiKey, QString model = {}) {
        return {ModelProvider::Gemini, QUrl(), std::move(model), std::move(apiKey)};
    }

    // Gemini cannot answer without a key; an OpenAI-compatible server may.
    bool needsApiKey() const { return provider == ModelProvider::Gemini; }
    // The model the request names.
    QString effectiveModel() const;
    // The screenshots stay on this computer: the server is at a loopback address.
    bool isOnThisComputer() const;
    // Why no request can be made with this connection, as a sentence for the user; empty when one can.
    // Plain HTTP is for loopback addresses only, so screenshots never cross a network unencrypted.
    QString problem() const;
    // Where the screenshots go, for diagnostics and the history: "Gemini", "a model on this computer" or
    // the server's host.
    QString destination() const;

    // `text` about the service that answered: one that starts by naming Gemini names "the model" instead
    // when another provider answered.
    QString attributed(const QString& text) const;

    // The stored form of the provider ("gemini", "openai") and back; anything else is Gemini.
    static QString providerId(ModelProvider provider);
    static ModelProvider providerFromId(const QString& id);

    friend bool operator==(const ModelConnection&, const ModelConnection&) = default;
};

// True for 127.0.0.0/8, ::1 and "localhost".
bool isLoopbackHost(const QString& host);

} // namespace norvane
