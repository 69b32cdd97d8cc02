#include "Fakes.h"

#include <QCryptographicHash>

namespace norvane::testing {

Screenshot makeScreenshot(const QString& appName, const QString& windowTitle, quint32 windowID,
                          const QByteArray& image) {
    Screenshot s;
    s.id = QUuid::createUuid();
    s.image = image.isEmpty() ? s.id.toByteArray() : image;
    s.base64 = QString::fromLatin1(s.image.toBase64());
    s.appName = appName;
    s.windowTitle = windowTitle;
    s.windowID = windowID;
    s.timestamp = QDateTime::currentDateTimeUtc();
    s.captureSignature = appName + QLatin1Char('|') + QString::number(windowID) + QLatin1Char('|') + windowTitle;
    s.captureFingerprint =
        QString::fromLatin1(QCryptographicHash::hash(s.image, QCryptographicHash::Sha256).toHex());
    return s;
}

QCoro::Task<std::optional<Screenshot>> FakeScreenCapturer::captureFrontmostWindow(bool force) {
    captureRequests.append(force);
    if (clock && captureDelaySeconds > 0)
        co_await clock->sleep(captureDelaySeconds);
    if (!queued.empty()) {
        auto next = queued.front();
        queued.pop_front();
        co_return next;
    }
    if (returnNothing || !window)
        co_return std::nullopt;
    Screenshot s = makeScreenshot(window->appName, window->windowTitle, window->windowID,
                                  QByteArray("frame-") + QByteArray::number(++m_counter));
    if (clock)
        s.timestamp = clock->now();
    co_return s;
}

QCoro::Task<std::optional<Opportunity>> FakeOpportunityAnalyzer::analyze(QList<Screenshot> screenshots,
                                                                         CancellationToken cancel) {
    calls.append(screenshots);
    if (clock && delaySeconds > 0)
        co_await clock->sleep(delaySeconds, cancel);
    if (cancel.isCancelled())
        co_return std::nullopt;
    if (onAnalyze)
        onAnalyze();
    // A copy: QCoro 0.8 moves from a co_returned non-const lvalue, which would empty the member.
    std::optional<Opportunity> result = answer;
    co_return result;
}

QCoro::Task<Expected<QString, GeminiClientError>> FakeGemini::generate(QList<GeminiRequestPart> parts,
                                                                       QString apiKey, double temperature,
                                                                       std::optional<QString> responseMimeType,
                                                                       CancellationToken) {
    calls.append({parts, apiKey, temperature, responseMimeType});
    if (replies.empty())
        co_return GeminiClientError::emptyResponse();
    auto reply = replies.front();
    replies.pop_front();
    co_return reply;
}

} // namespace norvane::testing
