// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "Expected.h"
#include "Records.h"

#include <QJsonObject>
#include <QJsonValue>

namespace norvane {

// Why a JSON value could not be decoded, as a complete English sentence.
struct DecodingError {
    QString description;
    bool operator==(const DecodingError&) const = default;
};

QJsonObject toJson(const Opportunity& opportunity);
QJsonObject toJson(const Recommendation& recommendation);

// All five keys are required; the category must be one of its raw values.
Expected<Opportunity, DecodingError> decodeOpportunity(const QJsonValue& value);
// headline, detail, effort and impact are required; prompt may be absent or null.
Expected<Recommendation, DecodingError> decodeRecommendation(const QJsonValue& value);

// Field readers shared by the decoders of this program. `context` names the object being read.
namespace json {
Expected<QJsonObject, DecodingError> requireObject(const QJsonValue& value, const QString& context);
Expected<QString, DecodingError> requireString(const QJsonObject& object, const QString& key,
                                               const QString& context);
Expected<std::optional<QString>, DecodingError> optionalString(const QJsonObject& object, const QString& key,
                                                               const QString& context);
Expected<double, DecodingError> requireDouble(const QJsonObject& object, const QString& key,
                                              const QString& context);
} // namespace json

} // namespace norvane
