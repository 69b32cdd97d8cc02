// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "Translations.h"
#include "model/Logging.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>

#include <array>

namespace norvane {

namespace {

constexpr const char* kDiagnosticsContext = "NudgeDiagnostics";

// The fixed details of AppState, MonitoringService and the monitoring rules; %1 and %2 are the parts that
// vary, matched back out of the English text.
constexpr std::array kDiagnosticsDetails{
    QT_TRANSLATE_NOOP("NudgeDiagnostics",
                      "Turn monitoring on to start collecting screenshots for nudge analysis."),
    QT_TRANSLATE_NOOP(
        "NudgeDiagnostics",
        "Norvane is watching for a short burst of recent activity before it asks Gemini anything."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics",
                      "Gemini found a likely opportunity and the nudge should now be visible."),
    QT_TRANSLATE_NOOP(
        "NudgeDiagnostics",
        "Gemini recognized a pattern you already dismissed, so Norvane is not showing it again."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics", "No nudge cooldown is active. Norvane can show the next worthwhile "
                                          "opportunity as soon as it sees one."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics",
                      "Norvane is waiting for a short burst of recent activity before it analyzes anything."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics",
                      "Norvane has enough recent context and is asking Gemini whether the "
                      "last burst looks worth interrupting."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics",
                      "Norvane has enough recent context; the last burst was sent to %1, which is asked "
                      "whether it looks worth interrupting."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics",
                      "A nudge is already on screen, so Norvane is not analyzing another batch yet."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics",
                      "A window was full screen, so Norvane let this nudge go rather than interrupt."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics",
                      "Norvane still needs 3 distinct wake/active screenshots from the same "
                      "activity burst before it can ask Gemini."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics",
                      "Norvane needs %1 wake/active screenshots in one burst before it can "
                      "analyze. Current burst: %2/%1."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics", "Monitoring is paused until %1."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics", "Nudges are snoozed; the next card can appear at %1."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics", "Nudge budget reached; the next card can appear at %1."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics", "Gemini API key is missing, so nudge analysis cannot run."),
    QT_TRANSLATE_NOOP("NudgeDiagnostics", "The analysis was cancelled before Gemini answered."),
};

// The English template as a pattern: its own text literally, each %n as a lazy capture (a repeated %1
// must match the same text again). The templates number their parts in the order they first appear.
QRegularExpression patternFor(const QString& source) {
    QString pattern;
    static const QRegularExpression marker(QStringLiteral("%([1-9])"));
    QList<int> seen;
    qsizetype from = 0;
    for (auto it = marker.globalMatch(source); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        pattern += QRegularExpression::escape(source.mid(from, match.capturedStart() - from));
        const int number = match.captured(1).toInt();
        pattern += seen.contains(number) ? QStringLiteral("\\%1").arg(seen.indexOf(number) + 1)
                                         : QStringLiteral("(.+?)");
        if (!seen.contains(number))
            seen.append(number);
        from = match.capturedEnd();
    }
    pattern += QRegularExpression::escape(source.mid(from));
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern));
}

} // namespace

bool installTranslations(QCoreApplication* app, const QLocale& locale) {
    const auto install = [&](const QString& name, const QString& folder) {
        auto* translator = new QTranslator(app);
        if (translator->load(locale, name, QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator))
            return true;
        delete translator;
        return false;
    };
    install(QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    const bool installed = install(QStringLiteral("norvane"), QStringLiteral(":/i18n"));
    qCDebug(lcApp) << "User interface language:" << (installed ? locale.name() : QStringLiteral("English"));
    return installed;
}

QString translatedDiagnosticsDetail(const QString& english) {
    for (const char* source : kDiagnosticsDetails) {
        const QString text = QString::fromUtf8(source);
        const QString translated = QCoreApplication::translate(kDiagnosticsContext, source);
        if (!text.contains(QLatin1Char('%'))) {
            if (english == text)
                return translated;
            continue;
        }
        const QRegularExpressionMatch match = patternFor(text).match(english);
        if (!match.hasMatch())
            continue;
        QString result = translated;
        for (int group = 1; group <= match.lastCapturedIndex(); ++group)
            result = result.arg(match.captured(group));
        return result;
    }
    return english;
}

} // namespace norvane
