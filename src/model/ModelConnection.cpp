// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "ModelConnection.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>

namespace norvane {

namespace {

// The model's name goes into the request's path: nothing that could leave that path segment.
bool isSafeModelName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._:-]{0,99}$"));
    return pattern.match(name).hasMatch();
}

} // namespace

bool isLoopbackHost(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QString ModelConnection::effectiveModel() const {
    const QString name = model.trimmed();
    return name.isEmpty() && provider == ModelProvider::Gemini ? defaultGeminiModel : name;
}

bool ModelConnection::isOnThisComputer() const {
    return provider == ModelProvider::OpenAICompatible && baseURL.isValid() && isLoopbackHost(baseURL.host());
}

QString ModelConnection::problem() const {
    const QString name = effectiveModel();
    if (provider == ModelProvider::OpenAICompatible) {
        const QString scheme = baseURL.scheme();
        if (!baseURL.isValid() || baseURL.host().isEmpty() ||
            (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
            return QCoreApplication::translate(
                "ModelConnection",
                "Enter the server's address, beginning with https:// (or http:// for this computer).");
        if (!baseURL.userInfo().isEmpty() || baseURL.hasQuery() || baseURL.hasFragment())
            return QCoreApplication::translate(
                "ModelConnection",
                "The server's address cannot hold a name, a password, a query or a fragment; put a "
                "key in the key field.");
        if (scheme == QLatin1String("http") && !isLoopbackHost(baseURL.host()))
            return QCoreApplication::translate(
                "ModelConnection",
                "Plain http:// is only allowed for a server on this computer (127.0.0.1, ::1 or "
                "localhost); any other server needs https://.");
        if (name.isEmpty())
            return QCoreApplication::translate("ModelConnection", "Enter the name of the model to use.");
    }
    if (!isSafeModelName(name))
        return QCoreApplication::translate(
            "ModelConnection",
            "A model name has only letters, digits, dots, colons, dashes and underscores.");
    return {};
}

QString ModelConnection::destination() const {
    if (provider == ModelProvider::Gemini)
        return QStringLiteral("Gemini");
    if (isOnThisComputer())
        return QStringLiteral("a model on this computer");
    return baseURL.host();
}

QString ModelConnection::attributed(const QString& text) const {
    static const QString gemini = QStringLiteral("Gemini ");
    if (provider == ModelProvider::Gemini || !text.startsWith(gemini))
        return text;
    return QStringLiteral("The model ") + text.mid(gemini.size());
}

QString ModelConnection::providerId(ModelProvider provider) {
    return provider == ModelProvider::OpenAICompatible ? QStringLiteral("openai") : QStringLiteral("gemini");
}

ModelProvider ModelConnection::providerFromId(const QString& id) {
    return id == QLatin1String("openai") ? ModelProvider::OpenAICompatible : ModelProvider::Gemini;
}

} // namespace norvane
