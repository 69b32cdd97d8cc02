// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "RecommendationEngine.h"

#include "JSONExtractor.h"

namespace norvane {

RecommendationEngine::RecommendationEngine(GeminiGenerating* geminiClient, AppState* appState,
                                           SentRequestRecording* sentRequests, QObject* parent)
    : QObject(parent), m_geminiClient(geminiClient), m_sentRequests(sentRequests), m_appState(appState) {}

const QString& RecommendationEngine::closingText() {
    // clang-format off
    static const QString text = QStringLiteral(
    u"A screenshot of their current screen is attached.\n"
    u"\n"
    u"Give them ONE specific recommendation to do this more efficiently, ideally using an AI tool (Claude, ChatGPT, or similar).\n"
    u"\n"
    u"CRITICAL RULES:\n"
    u"- Give exactly ONE suggestion. Not a list. Not options. One thing to try right now.\n"
    u"- If the suggestion involves prompting an AI tool, write the FULL EXACT PROMPT they should use. Don't describe what to ask \u2014 give them the actual words to copy-paste.\n"
    u"- The headline must be action-oriented and specific. \"Use Claude to reformat your dates\" not \"Consider using AI.\"\n"
    u"- Estimate the effort (how long your suggestion takes) and impact (how much time it saves vs their current approach). Be specific with numbers.\n"
    u"- The suggestion must be achievable right now with tools the user likely already has. Don't suggest installing new software.\n"
    u"- Keep the detail to 1-2 sentences max. The prompt block does the heavy lifting.\n"
    u"\n"
    u"Respond with this exact JSON schema:\n"
    u"{\n"
    u"  \"recommendation\": {\n"
    u"    \"headline\": \"string\",\n"
    u"    \"detail\": \"string (1-2 sentences)\",\n"
    u"    \"prompt\": \"string or null (the exact prompt to paste into an AI tool, null if suggestion doesn't involve a prompt)\",\n"
    u"    \"effort\": \"string (e.g., '30 seconds', '2 minutes')\",\n"
    u"    \"impact\": \"string (e.g., 'Saves ~15 minutes of manual work')\"\n"
    u"  }\n"
    u"}\n"
    u"\n"
    u"Return only JSON.");
    // clang-format on
    return text;
}

QString RecommendationEngine::prompt(const Opportunity& opportunity, const QString& userAnswer) {
    // The pattern id, confidence and question stay out: the model judges from what was seen and said.
    return QStringLiteral(
               "You are an AI efficiency expert. A user was just flagged because they appeared to be "
               "working inefficiently. Here's what happened:\n\nWHAT WE OBSERVED: ") +
           opportunity.observation + QStringLiteral("\nPATTERN CATEGORY: ") + rawValue(opportunity.category) +
           QStringLiteral("\nWHAT THE USER SAID THEY'RE DOING: ") + userAnswer + QStringLiteral("\n\n") +
           closingText();
}

QCoro::Task<Expected<Recommendation, GeminiClientError>>
RecommendationEngine::generateRecommendation(Opportunity opportunity, QString userAnswer,
                                             std::optional<Screenshot> currentScreenshot) {
    const ModelConnection connection = m_appState ? m_appState->modelConnection() : ModelConnection();
    co_return co_await generateRecommendation(std::move(opportunity), std::move(userAnswer),
                                              std::move(currentScreenshot), connection);
}

QCoro::Task<Expected<Recommendation, GeminiClientError>>
RecommendationEngine::generateRecommendation(Opportunity opportunity, QString userAnswer,
                                             std::optional<Screenshot> currentScreenshot,
                                             ModelConnection connection, CancellationToken cancel) {
    if (connection.needsApiKey() && !nilIfBlank(connection.apiKey))
        co_return GeminiClientError::apiError(
            QStringLiteral("Add a Gemini API key before asking for recommendations."));
    if (const QString problem = connection.problem(); !problem.isEmpty())
        co_return GeminiClientError::apiError(problem);
    if (cancel.isCancelled())
        co_return GeminiClientError::cancelled();

    QList<GeminiRequestPart> parts{GeminiRequestPart::fromText(prompt(opportunity, userAnswer))};
    if (currentScreenshot) {
        parts.append(GeminiRequestPart::fromJpeg(currentScreenshot->base64()));
        parts.append(GeminiRequestPart::fromText(
            QStringLiteral("Current screenshot: ") + withoutControlCharacters(currentScreenshot->appName) +
            QStringLiteral(" - ") + withoutControlCharacters(currentScreenshot->windowTitle)));
    }

    GeminiGenerating* client = m_geminiClient;
    SentRequestRecording* sentRequests = currentScreenshot ? m_sentRequests : nullptr;
    const auto reply = co_await client->generate(std::move(parts), connection, 0.2,
                                                 QStringLiteral("application/json"), cancel);
    Expected<Recommendation, GeminiClientError> result = GeminiClientError::cancelled();
    if (!cancel.isCancelled())
        result = reply ? JSONExtractor::decode<Recommendation>(*reply, decodeRecommendationEnvelope)
                       : Expected<Recommendation, GeminiClientError>(reply.error());
    if (!result && result.error().kind() != GeminiClientError::Kind::Cancelled &&
        connection.attributed(result.error().description()) != result.error().description())
        result = GeminiClientError::apiError(connection.attributed(result.error().description()));
    if (sentRequests) {
        const QString outcome =
            !result ? result.error().description() : result->headline + QLatin1Char('\n') + result->detail;
        sentRequests->recordSentRequest(SentRequestKind::recommendation, {*currentScreenshot}, outcome,
                                        result ? result->prompt : std::nullopt, connection.destination());
    }
    co_return result;
}

} // namespace norvane
