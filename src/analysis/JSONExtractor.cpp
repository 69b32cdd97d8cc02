// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "JSONExtractor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace norvane {

namespace JSONExtractor {

QString cleanedText(const QString& text) {
    QString cleaned = text;
    // The tagged fence goes first, so its tag does not stay behind as a stray word.
    cleaned.remove(QStringLiteral("```json"), Qt::CaseSensitive);
    cleaned.remove(QStringLiteral("```"), Qt::CaseSensitive);
    return cleaned.trimmed();
}

std::optional<QString> braceSpan(const QString& cleaned) {
    const qsizetype first = cleaned.indexOf(QLatin1Char('{'));
    const qsizetype last = cleaned.lastIndexOf(QLatin1Char('}'));
    // A closing brace that stands before the first opening one frames nothing.
    if (first < 0 || last < 0 || last < first)
        return std::nullopt;
    return cleaned.mid(first, last - first + 1);
}

Expected<QJsonValue, DecodingError> parseJson(const QByteArray& utf8) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError) {
        return DecodingError{
            QStringLiteral("The data couldn't be read because it isn't valid JSON (%1 at offset %2).")
                .arg(error.errorString())
                .arg(error.offset)};
    }
    if (document.isObject())
        return QJsonValue(document.object());
    if (document.isArray())
        return QJsonValue(document.array());
    return DecodingError{QStringLiteral("The data couldn't be read because it isn't valid JSON.")};
}

} // namespace JSONExtractor

Expected<std::optional<Opportunity>, DecodingError> decodeOpportunityEnvelope(const QJsonValue& value) {
    auto object = json::requireObject(value, QStringLiteral("the reply"));
    if (!object)
        return object.error();
    const QJsonValue opportunity = object->value(QStringLiteral("opportunity"));
    if (opportunity.isUndefined() || opportunity.isNull())
        return std::optional<Opportunity>{};
    auto decoded = decodeOpportunity(opportunity);
    if (!decoded)
        return decoded.error();
    return std::optional<Opportunity>{std::move(decoded).value()};
}

Expected<Recommendation, DecodingError> decodeRecommendationEnvelope(const QJsonValue& value) {
    const QString context = QStringLiteral("the reply");
    auto object = json::requireObject(value, context);
    if (!object)
        return object.error();
    const auto it = object->constFind(QStringLiteral("recommendation"));
    if (it == object->constEnd()) {
        return DecodingError{
            QStringLiteral("The data couldn't be read because the key \"recommendation\" is missing from %1.")
                .arg(context)};
    }
    return decodeRecommendation(*it);
}

} // namespace norvane
