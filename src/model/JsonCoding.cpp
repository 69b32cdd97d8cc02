// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "JsonCoding.h"

namespace norvane {

namespace {

QString typeName(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

DecodingError missingKey(const QString& key, const QString& context) {
    return {QStringLiteral("The data couldn't be read because the key \"%1\" is missing from %2.")
                .arg(key, context)};
}

DecodingError wrongType(const QString& key, const QString& expected, const QJsonValue& found,
                        const QString& context) {
    return {QStringLiteral("The data couldn't be read because \"%1\" in %2 should be %3 but is %4.")
                .arg(key, context, expected, typeName(found))};
}

} // namespace

namespace json {

Expected<QJsonObject, DecodingError> requireObject(const QJsonValue& value, const QString& context) {
    if (!value.isObject())
        return DecodingError{
            QStringLiteral("The data couldn't be read because %1 should be an object but is %2.")
                .arg(context, typeName(value))};
    return value.toObject();
}

Expected<QString, DecodingError> requireString(const QJsonObject& object, const QString& key,
                                               const QString& context) {
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return missingKey(key, context);
    if (!it->isString())
        return wrongType(key, QStringLiteral("a string"), *it, context);
    return it->toString();
}

Expected<std::optional<QString>, DecodingError> optionalString(const QJsonObject& object, const QString& key,
                                                               const QString& context) {
    const auto it = object.constFind(key);
    if (it == object.constEnd() || it->isNull())
        return std::optional<QString>{};
    if (!it->isString())
        return wrongType(key, QStringLiteral("a string or null"), *it, context);
    return std::optional<QString>{it->toString()};
}

Expected<double, DecodingError> requireDouble(const QJsonObject& object, const QString& key,
                                              const QString& context) {
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return missingKey(key, context);
    if (!it->isDouble())
        return wrongType(key, QStringLiteral("a number"), *it, context);
    return it->toDouble();
}

} // namespace json

QJsonObject toJson(const Opportunity& opportunity) {
    return QJsonObject{
        {QStringLiteral("patternId"), opportunity.patternId},
        {QStringLiteral("confidence"), opportunity.confidence},
        {QStringLiteral("observation"), opportunity.observation},
        {QStringLiteral("question"), opportunity.question},
        {QStringLiteral("category"), rawValue(opportunity.category)},
    };
}

QJsonObject toJson(const Recommendation& recommendation) {
    QJsonObject object{
        {QStringLiteral("headline"), recommendation.headline},
        {QStringLiteral("detail"), recommendation.detail},
        {QStringLiteral("effort"), recommendation.effort},
        {QStringLiteral("impact"), recommendation.impact},
    };
    if (recommendation.prompt)
        object.insert(QStringLiteral("prompt"), *recommendation.prompt);
    return object;
}

Expected<Opportunity, DecodingError> decodeOpportunity(const QJsonValue& value) {
    const QString context = QStringLiteral("the opportunity");
    auto object = json::requireObject(value, context);
    if (!object)
        return object.error();
    Opportunity result;
    auto patternId = json::requireString(*object, QStringLiteral("patternId"), context);
    if (!patternId)
        return patternId.error();
    auto confidence = json::requireDouble(*object, QStringLiteral("confidence"), context);
    if (!confidence)
        return confidence.error();
    auto observation = json::requireString(*object, QStringLiteral("observation"), context);
    if (!observation)
        return observation.error();
    auto question = json::requireString(*object, QStringLiteral("question"), context);
    if (!question)
        return question.error();
    auto categoryText = json::requireString(*object, QStringLiteral("category"), context);
    if (!categoryText)
        return categoryText.error();
    const auto category = fromRawValue<OpportunityCategory>(*categoryText);
    if (!category)
        return DecodingError{
            QStringLiteral(
                "The data couldn't be read because \"%1\" is not a valid category of %2; expected one "
                "of manual-work, stuck, inefficient-prompting, slow-workflow, missed-automation.")
                .arg(*categoryText, context)};
    result.patternId = *patternId;
    result.confidence = *confidence;
    result.observation = *observation;
    result.question = *question;
    result.category = *category;
    return result;
}

Expected<Recommendation, DecodingError> decodeRecommendation(const QJsonValue& value) {
    const QString context = QStringLiteral("the recommendation");
    auto object = json::requireObject(value, context);
    if (!object)
        return object.error();
    Recommendation result;
    for (auto [key, field] : {std::pair{QStringLiteral("headline"), &Recommendation::headline},
                              std::pair{QStringLiteral("detail"), &Recommendation::detail},
                              std::pair{QStringLiteral("effort"), &Recommendation::effort},
                              std::pair{QStringLiteral("impact"), &Recommendation::impact}}) {
        auto text = json::requireString(*object, key, context);
        if (!text)
            return text.error();
        result.*field = *text;
    }
    auto prompt = json::optionalString(*object, QStringLiteral("prompt"), context);
    if (!prompt)
        return prompt.error();
    result.prompt = *prompt;
    return result;
}

} // namespace norvane
