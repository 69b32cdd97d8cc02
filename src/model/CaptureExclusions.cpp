// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "CaptureExclusions.h"

#include <algorithm>

namespace norvane {

CaptureExclusions CaptureExclusions::defaults() {
    return {{QStringLiteral("KeePassXC"), QStringLiteral("KeePass"), QStringLiteral("KeePass2"),
             QStringLiteral("Bitwarden"), QStringLiteral("1Password"), QStringLiteral("Enpass"),
             QStringLiteral("Seahorse"), QStringLiteral("gcr-prompter"),
             QStringLiteral("gnome-keyring-prompt")},
            {QStringLiteral("Private Browsing"), QStringLiteral("InPrivate"), QStringLiteral("Incognito")}};
}

bool CaptureExclusions::excludes(const FrontmostWindowInfo& window) const {
    const auto named = [&](const QString& name) {
        return !name.isEmpty() && applications.contains(name, Qt::CaseInsensitive);
    };
    if (named(window.appName) || std::any_of(window.classNames.begin(), window.classNames.end(), named))
        return true;
    return std::any_of(titlePatterns.begin(), titlePatterns.end(), [&](const QString& pattern) {
        return !pattern.isEmpty() && window.windowTitle.contains(pattern, Qt::CaseInsensitive);
    });
}

QStringList CaptureExclusions::normalized(const QStringList& entries) {
    QStringList result;
    for (const QString& entry : entries) {
        const QString trimmed = entry.trimmed();
        if (!trimmed.isEmpty() && !result.contains(trimmed, Qt::CaseInsensitive))
            result.append(trimmed);
    }
    return result;
}

std::optional<QStringList> CaptureExclusions::fromStoredValue(const QVariant& value) {
    // The settings file gives a one-entry list back as plain text; an empty list is stored as empty text.
    if (value.typeId() == QMetaType::QStringList)
        return normalized(value.toStringList());
    if (value.typeId() == QMetaType::QString)
        return normalized({value.toString()});
    return std::nullopt;
}

QVariant CaptureExclusions::storedValue(const QStringList& entries) {
    return entries.isEmpty() ? QVariant(QString()) : QVariant(entries);
}

} // namespace norvane
