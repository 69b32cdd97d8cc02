// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "OpportunityAnalyzer.h"

#include "JSONExtractor.h"
#include "model/Logging.h"

#include <QLocale>

namespace norvane {

namespace {

const QString wrongCountText =
    QStringLiteral("Norvane needs exactly 3 screenshots before it can analyze a potential nudge.");
const QString missingKeyText = QStringLiteral("Gemini API key is missing, so nudge analysis cannot run.");
const QString notInterruptingText =
    QStringLiteral("Gemini reviewed the latest screenshots and chose not to interrupt.");

// Two decimals with a full stop, whatever the user's locale.
QString twoDecimals(double value) {
    return QString::asprintf("%.2f", value);
}

// A time format without its time-zone field ('t' outside quotes), tidied where the field stood.
QString withoutTimeZone(const QString& format) {
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        } else if (!quoted && c == QLatin1Char('t')) {
            continue;
        }
        result += c;
    }
    result.remove(QStringLiteral("()"));
    return result.simplified();
}

} // namespace

OpportunityAnalyzer::OpportunityAnalyzer(GeminiGenerating* geminiClient, AppState* appState,
                                         SentRequestRecording* sentRequests, QObject* parent)
    : QObject(parent), m_geminiClient(geminiClient), m_sentRequests(sentRequests), m_appState(appState) {}

const QString& OpportunityAnalyzer::analysisPrompt() {
    // clang-format off
    static const QString prompt = QStringLiteral(
    u"You are an AI efficiency coach analyzing a sequence of 3 screenshots taken during a recent burst of the user's activity on their computer. Your job is to determine if the user could benefit from a specific, actionable suggestion to work more efficiently \u2014 particularly using AI tools they may not be leveraging.\n"
    u"\n"
    u"Analyze the screenshots as a sequence to understand what the user is doing over time, not just in a single moment.\n"
    u"\n"
    u"Look for these patterns:\n"
    u"- MANUAL REPETITIVE WORK: User doing the same type of action across screenshots (formatting cells, copy-pasting, renaming files, manual data entry)\n"
    u"- STUCK/SPINNING: Same screen or error visible across multiple screenshots with no meaningful progress\n"
    u"- INEFFICIENT AI USAGE: User is in an AI tool (ChatGPT, Claude, etc.) but sending many short messages, re-asking similar questions, or not getting useful results\n"
    u"- SLOW WORKFLOW: User switching between the same 2-3 apps repeatedly in a way that suggests a clunky manual process\n"
    u"- MISSED AUTOMATION: User doing something that a simple script, AI prompt, or tool could handle instantly\n"
    u"\n"
    u"CRITICAL RULES:\n"
    u"- Return null if nothing noteworthy. False positives destroy trust. Only flag something if you're genuinely confident the user would benefit.\n"
    u"- Your observation MUST reference what's specifically visible on screen. Never be generic.\n"
    u"- Your question MUST be specific to what they're doing. Not \"How can I help?\" but \"What are you trying to accomplish with this spreadsheet?\"\n"
    u"- If the screenshots show the user actively coding, writing, or doing creative work that's progressing normally, return null. Don't interrupt flow state.\n"
    u"\n"
    u"Respond with this exact JSON schema:\n"
    u"\n"
    u"If opportunity found:\n"
    u"{\n"
    u"  \"opportunity\": {\n"
    u"    \"patternId\": \"string (kebab-case identifier like 'manual-spreadsheet-formatting')\",\n"
    u"    \"confidence\": 0.0,\n"
    u"    \"observation\": \"string (what you noticed, referencing specific screen content)\",\n"
    u"    \"question\": \"string (specific question to ask the user about what they're doing)\",\n"
    u"    \"category\": \"string (one of: manual-work, stuck, inefficient-prompting, slow-workflow, missed-automation)\"\n"
    u"  }\n"
    u"}\n"
    u"\n"
    u"If nothing noteworthy:\n"
    u"{\n"
    u"  \"opportunity\": null\n"
    u"}\n"
    u"\n"
    u"Return only JSON.");
    // clang-format on
    return prompt;
}

QString OpportunityAnalyzer::mediumTimeText(const QDateTime& timestamp) {
    // Qt offers long (with the zone) and short (without seconds) styles; medium is long without the zone.
    const QLocale locale;
    return locale.toString(timestamp.toLocalTime().time(),
                           withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

QString OpportunityAnalyzer::caption(int position, const Screenshot& screenshot) {
    const QString reason =
        screenshot.captureReason ? rawValue(*screenshot.captureReason) : QStringLiteral("unspecified");
    return QStringLiteral("Screenshot ") + QString::number(position) + QStringLiteral(": ") +
           withoutControlCharacters(screenshot.appName) + QStringLiteral(" - ") +
           withoutControlCharacters(screenshot.windowTitle) + QStringLiteral(" at ") +
           mediumTimeText(screenshot.timestamp) + QStringLiteral(" [state: ") +
           rawValue(screenshot.activityState) + QStringLiteral(", reason: ") + reason + QStringLiteral("]");
}

QCoro::Task<std::optional<Opportunity>> OpportunityAnalyzer::analyze(QList<Screenshot> screenshots,
                                                                     CancellationToken cancel) {
    QPointer<OpportunityAnalyzer> self(this);
    QPointer<AppState> appState = m_appState;
    if (!appState || cancel.isCancelled())
        co_return std::nullopt;
    const double threshold = appState->confidenceThreshold();

    const OpportunityAnalysisOutcome outcome =
        co_await analyzeOutcome(std::move(screenshots), appState->modelConnection(), threshold, cancel);
    // A cancelled analysis, or one whose owner is gone, leaves no trace.
    if (!self || !appState || cancel.isCancelled())
        co_return std::nullopt;

    switch (outcome.kind) {
    case OpportunityAnalysisOutcome::Kind::Opportunity:
        // Presenting the nudge sets the diagnostics.
        co_return outcome.opportunity;
    case OpportunityAnalysisOutcome::Kind::NoOpportunity:
        appState->setNudgeDiagnostics(NudgePipelineState::NoOpportunity, outcome.message);
        break;
    case OpportunityAnalysisOutcome::Kind::Failure:
        appState->setNudgeDiagnostics(NudgePipelineState::Failed, outcome.message);
        break;
    case OpportunityAnalysisOutcome::Kind::Cancelled:
        break;
    }
    co_return std::nullopt;
}

QCoro::Task<OpportunityAnalysisOutcome> OpportunityAnalyzer::analyzeOutcome(QList<Screenshot> screenshots,
                                                                            ModelConnection connection,
                                                                            double confidenceThreshold,
                                                                            CancellationToken cancel) {
    if (screenshots.size() != 3)
        co_return OpportunityAnalysisOutcome::failure(wrongCountText);
    if (connection.needsApiKey() && !nilIfBlank(connection.apiKey))
        co_return OpportunityAnalysisOutcome::failure(missingKeyText);
    if (const QString problem = connection.problem(); !problem.isEmpty())
        co_return OpportunityAnalysisOutcome::failure(problem);

    QList<GeminiRequestPart> parts{GeminiRequestPart::fromText(analysisPrompt())};
    for (int i = 0; i < screenshots.size(); ++i) {
        parts.append(GeminiRequestPart::fromJpeg(screenshots.at(i).base64()));
        parts.append(GeminiRequestPart::fromText(caption(i + 1, screenshots.at(i))));
    }

    // Nothing is sent, so nothing is noted.
    if (cancel.isCancelled())
        co_return OpportunityAnalysisOutcome::cancelled();
    GeminiGenerating* client = m_geminiClient;
    SentRequestRecording* sentRequests = m_sentRequests;
    const auto reply = co_await client->generate(std::move(parts), connection, 0.2,
                                                 QStringLiteral("application/json"), cancel);
    OpportunityAnalysisOutcome outcome = OpportunityAnalysisOutcome::cancelled();
    if (!cancel.isCancelled() && (reply || reply.error().kind() != GeminiClientError::Kind::Cancelled))
        outcome = interpret(reply, confidenceThreshold);
    outcome.message = connection.attributed(outcome.message);
    if (sentRequests)
        sentRequests->recordSentRequest(SentRequestKind::analysis, screenshots, verdictText(outcome), {},
                                        connection.destination());
    co_return outcome;
}

OpportunityAnalysisOutcome OpportunityAnalyzer::interpret(const Expected<QString, GeminiClientError>& reply,
                                                          double confidenceThreshold) {
    if (!reply) {
        const QString description = reply.error().description();
        qCWarning(lcOpportunityAnalyzer, "Opportunity analysis failed: %s",
                  qUtf8Printable(logSafe(description)));
        return OpportunityAnalysisOutcome::failure(description);
    }

    const auto envelope =
        JSONExtractor::decode<std::optional<Opportunity>>(*reply, decodeOpportunityEnvelope);
    if (!envelope) {
        const QString description = envelope.error().description();
        qCWarning(lcOpportunityAnalyzer, "Opportunity analysis failed: %s",
                  qUtf8Printable(logSafe(description)));
        return OpportunityAnalysisOutcome::failure(description);
    }
    if (!envelope->has_value())
        return OpportunityAnalysisOutcome::none(notInterruptingText);

    const Opportunity& opportunity = **envelope;
    // Equality passes; a confidence that is not a number never does.
    if (opportunity.confidence >= confidenceThreshold)
        return OpportunityAnalysisOutcome::found(opportunity);
    return OpportunityAnalysisOutcome::none(QStringLiteral("Gemini saw something, but its confidence (") +
                                            twoDecimals(opportunity.confidence) +
                                            QStringLiteral(") stayed below the current threshold (") +
                                            twoDecimals(confidenceThreshold) + QStringLiteral(")."));
}

QString OpportunityAnalyzer::verdictText(const OpportunityAnalysisOutcome& outcome) {
    switch (outcome.kind) {
    case OpportunityAnalysisOutcome::Kind::Opportunity:
        return outcome.opportunity->observation + QLatin1Char('\n') + outcome.opportunity->question;
    case OpportunityAnalysisOutcome::Kind::Cancelled:
        return QStringLiteral("The analysis was cancelled before Gemini answered.");
    default:
        return outcome.message;
    }
}

} // namespace norvane
