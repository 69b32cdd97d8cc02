#include "Records.h"

namespace norvane {

QString NudgeState::idText() const {
    return uuidText(id);
}

const NudgePipelineDiagnostics& NudgePipelineDiagnostics::monitoringOff() {
    static const NudgePipelineDiagnostics value{
        NudgePipelineState::MonitoringOff,
        QStringLiteral("Turn monitoring on to start collecting screenshots for nudge analysis."),
        QDateTime::currentDateTimeUtc()};
    return value;
}

QString trimmed(const QString& text) {
    // QString::trimmed() removes Unicode whitespace, which includes every newline form.
    return text.trimmed();
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
