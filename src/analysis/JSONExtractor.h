// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/Expected.h"
#include "model/GeminiTypes.h"
#include "model/JsonCoding.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace norvane {

// Pulls one JSON object out of a model's reply: a bare object, one in a fenced block (with or without
// the json tag) or one with prose before or after it.
namespace JSONExtractor {

// The reply without code fences, trimmed.
QString cleanedText(const QString& text);

// The text from the first "{" through the last "}", or nothing when there is no such span.
std::optional<QString> braceSpan(const QString& cleaned);

// Parses a whole JSON document; the error is a complete sentence.
Expected<QJsonValue, DecodingError> parseJson(const QByteArray& utf8);

// `decodeValue` turns a parsed value into T (Expected<T, DecodingError>).
template <typename T, typename DecodeValue>
Expected<T, GeminiClientError> decode(const QString& text, DecodeValue decodeValue) {
    const QString cleaned = cleanedText(text);
    if (auto parsed = parseJson(cleaned.toUtf8())) {
        Expected<T, DecodingError> whole = decodeValue(*parsed);
        if (whole)
            return std::move(whole).value();
    }
    const auto span = braceSpan(cleaned);
    if (!span)
        return GeminiClientError::invalidResponse();
    auto parsed = parseJson(span->toUtf8());
    if (!parsed)
        return GeminiClientError::decoding(parsed.error().description);
    Expected<T, DecodingError> value = decodeValue(*parsed);
    if (!value)
        return GeminiClientError::decoding(value.error().description);
    return std::move(value).value();
}

} // namespace JSONExtractor

// The JSON objects the two prompts ask for.
// {"opportunity": {...}}; a missing key or null means there is no opportunity.
Expected<std::optional<Opportunity>, DecodingError> decodeOpportunityEnvelope(const QJsonValue& value);
// {"recommendation": {...}}; the key is required.
Expected<Recommendation, DecodingError> decodeRecommendationEnvelope(const QJsonValue& value);

} // namespace norvane
