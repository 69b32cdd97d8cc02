// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include <optional>

namespace norvane {

// One element of a generateContent request: a text, or inline image data. Exactly one is set.
struct GeminiInlineData {
    QString mimeType; // "image/jpeg" from every caller
    QString data;     // Base64 text of the image bytes
    bool operator==(const GeminiInlineData&) const = default;
};

struct GeminiRequestPart {
    std::optional<QString> text;
    std::optional<GeminiInlineData> inlineData;

    static GeminiRequestPart fromText(QString text) { return {std::move(text), std::nullopt}; }
    static GeminiRequestPart fromJpeg(QString base64) {
        return {std::nullopt, GeminiInlineData{QStringLiteral("image/jpeg"), std::move(base64)}};
    }
    bool operator==(const GeminiRequestPart&) const = default;
};

// Every way a model request can fail. The four client cases carry the texts users see; the others
// pass on the description of the transport or the JSON decoder. No description ever holds the API key.
class GeminiClientError {
public:
    enum class Kind {
        ApiError,        // the message itself
        InvalidURL,      // "The Gemini endpoint URL is invalid."
        InvalidResponse, // "Gemini returned an unreadable response."
        EmptyResponse,   // "Gemini returned an empty response."
        Transport,       // the network's own description
        Decoding,        // the JSON decoder's own description
        Cancelled,       // the caller gave up; shown to nobody
    };

    static GeminiClientError apiError(QString message) { return {Kind::ApiError, std::move(message)}; }
    static GeminiClientError invalidURL() { return {Kind::InvalidURL, {}}; }
    static GeminiClientError invalidResponse() { return {Kind::InvalidResponse, {}}; }
    static GeminiClientError emptyResponse() { return {Kind::EmptyResponse, {}}; }
    static GeminiClientError transport(QString description) {
        return {Kind::Transport, std::move(description)};
    }
    static GeminiClientError decoding(QString description) {
        return {Kind::Decoding, std::move(description)};
    }
    static GeminiClientError cancelled() {
        return {Kind::Cancelled, QStringLiteral("The request was cancelled.")};
    }

    Kind kind() const { return m_kind; }
    QString message() const { return m_message; }
    QString description() const;

    bool operator==(const GeminiClientError&) const = default;

private:
    GeminiClientError(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {}
    Kind m_kind;
    QString m_message;
};

inline QString GeminiClientError::description() const {
    switch (m_kind) {
    case Kind::InvalidURL:
        return QStringLiteral("The Gemini endpoint URL is invalid.");
    case Kind::InvalidResponse:
        return QStringLiteral("Gemini returned an unreadable response.");
    case Kind::EmptyResponse:
        return QStringLiteral("Gemini returned an empty response.");
    case Kind::ApiError:
    case Kind::Transport:
    case Kind::Decoding:
    case Kind::Cancelled:
        break;
    }
    return m_message;
}

} // namespace norvane
