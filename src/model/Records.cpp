// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "Records.h"

namespace norvane {

QString NudgeState::idText() const {
    return uuidText(id);
}

NudgePipelineDiagnostics NudgePipelineDiagnostics::monitoringOff(const QDateTime& at) {
    return {NudgePipelineState::MonitoringOff,
            QStringLiteral("Turn monitoring on to start collecting screenshots for nudge analysis."), at};
}

QString trimmed(const QString& text) {
    // QString::trimmed() removes Unicode whitespace, which includes every newline form.
    return text.trimmed();
}

bool isControlCharacter(QChar c) {
    return c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
           c.category() == QChar::Separator_Paragraph;
}

QString withoutControlCharacters(const QString& text) {
    QString result = text;
    result.removeIf(isControlCharacter);
    return result;
}

std::optional<QString> nilIfBlank(const QString& text) {
    QString result = trimmed(text);
    if (result.isEmpty())
        return std::nullopt;
    return result;
}

QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QString shortId(const QUuid& id) {
    return uuidText(id).left(8);
}

} // namespace norvane
