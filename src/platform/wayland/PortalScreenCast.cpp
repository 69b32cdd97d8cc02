// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "PortalScreenCast.h"

#include "PipeWireFrameGrab.h"
#include "model/Logging.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QPointer>

#include <atomic>

#include <fcntl.h>

namespace norvane {

namespace {

using namespace std::chrono_literals;

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kObjectPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

constexpr int kCallTimeoutMs = 5000;
constexpr int kProbeTimeoutMs = 1000;
constexpr qint64 kProbeAgainAfterMs = 30000;
// The user may take a while in the desktop's dialog; a session reopened from a token needs no dialog.
constexpr auto kDialogTimeout = std::chrono::milliseconds(5min);
constexpr auto kRestoreTimeout = std::chrono::milliseconds(3s);
constexpr auto kFrameTimeout = std::chrono::milliseconds(3s);

constexpr uint kMonitor = 1, kWindow = 2;
constexpr uint kCursorHidden = 1, kCursorEmbedded = 2;
constexpr uint kPersistUntilRevoked = 2;

// The Response signal of one portal request, kept when it arrives before its method call returns.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    std::optional<uint> response;
    QVariantMap results;
    Q_SLOT void onResponse(uint code, const QVariantMap& answer) {
        if (response)
            return;
        response = code;
        results = answer;
        Q_EMIT answered();
    }
    Q_SIGNAL void answered();
};

// Request and session paths are made from the token, per connection: unique across instances too.
QString uniqueToken() {
    static std::atomic<quint32> made{0};
    return QStringLiteral("norvane_%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
}

QString objectPathText(const QVariant& value) {
    return value.canConvert<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path() : value.toString();
}

struct Stream {
    uint node = 0;
    std::optional<QRect> monitorArea; // where a shared monitor lies, where the portal says
};

// A pair of integers, (ii), from a stream's properties.
std::optional<QPoint> integerPair(const QVariant& value) {
    if (!value.canConvert<QDBusArgument>())
        return std::nullopt;
    const auto argument = value.value<QDBusArgument>();
    int first = 0, second = 0;
    argument.beginStructure();
    argument >> first >> second;
    argument.endStructure();
    return QPoint(first, second);
}

// The first stream in Start's `streams` (a(ua{sv})).
std::optional<Stream> firstStream(const QVariant& streams) {
    if (!streams.canConvert<QDBusArgument>())
        return std::nullopt;
    const auto argument = streams.value<QDBusArgument>();
    std::optional<Stream> first;
    argument.beginArray();
    while (!argument.atEnd()) {
        uint id = 0;
        QVariantMap properties;
        argument.beginStructure();
        argument >> id >> properties;
        argument.endStructure();
        if (first)
            continue;
        first = Stream{id, std::nullopt};
        const auto position = integerPair(properties.value(QStringLiteral("position")));
        const auto size = integerPair(properties.value(QStringLiteral("size")));
        // Only monitor streams have a position (some portals misreport the source type itself).
        if (position && size && size->x() > 0 && size->y() > 0)
            first->monitorArea = QRect(*position, QSize(size->x(), size->y()));
    }
    argument.endArray();
    return first;
}

} // namespace

PortalScreenCast::PortalScreenCast(QDBusConnection bus, std::function<QString()> loadToken,
                                   std::function<void(const QString&)> saveToken, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_loadToken(std::move(loadToken)),
      m_saveToken(std::move(saveToken)) {}

PortalScreenCast::~PortalScreenCast() {
    closeSession();
}

bool PortalScreenCast::isAvailable() {
    if (m_version > 0)
        return true;
    if (!m_bus.isConnected())
        return false;
    // A short blocking probe: a yes is kept, a no for a while, so capture checks do not wait on it often.
    if (m_failedProbe.isValid() && !m_failedProbe.hasExpired(kProbeAgainAfterMs))
        return false;
    m_failedProbe.start();
    auto probe = QDBusMessage::createMethodCall(
        kService, kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    probe.setArguments({kScreenCast});
    const QDBusMessage reply = m_bus.call(probe, QDBus::Block, kProbeTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCDebug(lcDesktopSession).noquote() << QStringLiteral("The desktop portal offers no screen casts: %1")
                                                   .arg(logSafe(reply.errorMessage()));
        return false;
    }
    const auto properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    m_version = properties.value(QStringLiteral("version")).toUInt();
    m_sourceTypes = properties.value(QStringLiteral("AvailableSourceTypes")).toUInt();
    m_cursorModes = properties.value(QStringLiteral("AvailableCursorModes")).toUInt();
    if (m_version == 0 || !(m_sourceTypes & (kMonitor | kWindow))) {
        m_version = 0;
        return false;
    }
    m_failedProbe.invalidate();
    qCInfo(lcDesktopSession).noquote()
        << QStringLiteral("The desktop portal offers screen casts (ScreenCast version %1%2).")
               .arg(m_version)
               .arg(m_version < 4 ? QStringLiteral(", which cannot keep a choice, so it asks every session")
                                  : QString());
    return true;
}

bool PortalScreenCast::hasChosenSource() const {
    return !m_loadToken().isEmpty();
}

bool PortalScreenCast::isReady() {
    return isAvailable() && (!m_sessionPath.isEmpty() || hasChosenSource());
}

QString PortalScreenCast::statusSentence() {
    if (!isAvailable())
        return tr("This desktop offers no screen-cast portal, so Norvane cannot see other windows here.");
    if (!hasChosenSource())
        return tr("No window or screen has been chosen for Norvane to see yet: use Ask the desktop again.");
    return tr("Norvane sees the window or screen you chose in the desktop's dialog.");
}

QCoro::Task<PortalScreenCast::Answer> PortalScreenCast::ask(QString method, QList<QVariant> arguments,
                                                            QVariantMap options,
                                                            std::chrono::milliseconds answerTimeout) {
    QDBusConnection bus = m_bus; // the owner may go while this waits
    const QString token = uniqueToken();
    options.insert(QStringLiteral("handle_token"), token);
    // Subscribe before calling: the answer may come before the call returns.
    QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                       .arg(bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')), token);
    PortalRequest request;
    const auto subscribe = [&](const QString& at, bool on) {
        const QString signal = QStringLiteral("Response");
        const char* slot = SLOT(onResponse(uint, QVariantMap));
        on ? bus.connect(kService, at, kRequest, signal, &request, slot)
           : bus.disconnect(kService, at, kRequest, signal, &request, slot);
    };
    subscribe(path, true);

    auto call = QDBusMessage::createMethodCall(kService, kObjectPath, kScreenCast, method);
    arguments.append(options);
    call.setArguments(arguments);
    QDBusPendingCallWatcher watcher(bus.asyncCall(call, kCallTimeoutMs));
    if (!watcher.isFinished())
        co_await qCoro(&watcher, &QDBusPendingCallWatcher::finished);
    Answer answer;
    if (watcher.isError()) {
        qCCritical(lcDesktopSession).noquote() << QStringLiteral("The desktop portal refused %1: %2")
                                                      .arg(method, logSafe(watcher.error().message()));
        subscribe(path, false);
        co_return answer;
    }
    const QString returned = objectPathText(watcher.reply().arguments().value(0));
    if (!returned.isEmpty() && returned != path) { // portals before version 0.9 name the request themselves
        subscribe(path, false);
        path = returned;
        subscribe(path, true);
    }
    if (!request.response)
        co_await qCoro(&request, &PortalRequest::answered, answerTimeout);
    subscribe(path, false);
    if (!request.response) {
        qCCritical(lcDesktopSession).noquote()
            << QStringLiteral("The desktop portal did not answer %1 within %2 seconds.")
                   .arg(method)
                   .arg(std::chrono::duration_cast<std::chrono::seconds>(answerTimeout).count());
        bus.asyncCall(QDBusMessage::createMethodCall(kService, path, kRequest, QStringLiteral("Close")));
        co_return answer;
    }
    if (*request.response != 0) {
        qCInfo(lcDesktopSession).noquote()
            << (*request.response == 1 ? QStringLiteral("The screen-cast choice was cancelled.")
                                       : QStringLiteral("The desktop portal turned down %1.").arg(method));
        co_return answer;
    }
    answer.ok = true;
    answer.results = request.results;
    co_return answer;
}

QCoro::Task<bool> PortalScreenCast::openSession(std::chrono::milliseconds answerTimeout) {
    QPointer<PortalScreenCast> self(this);
    closeSession();
    // GCC 12 miscompiles braced arguments inside a co_await: build them first.
    QVariantMap creation;
    creation.insert(QStringLiteral("session_handle_token"), uniqueToken());
    const Answer created =
        co_await ask(QStringLiteral("CreateSession"), QList<QVariant>(), creation, answerTimeout);
    if (!self || !created.ok)
        co_return false;
    const QString session = objectPathText(created.results.value(QStringLiteral("session_handle")));
    if (session.isEmpty())
        co_return false;
    m_sessionPath = session;
    m_bus.connect(kService, session, kSession, QStringLiteral("Closed"), this, SLOT(onSessionClosed()));

    QVariantMap selection{{QStringLiteral("types"), (kMonitor | kWindow) & m_sourceTypes},
                          {QStringLiteral("multiple"), false}};
    // The pointer tells the model little; leave it out where the desktop lets us.
    if (m_cursorModes & kCursorHidden)
        selection.insert(QStringLiteral("cursor_mode"), kCursorHidden);
    else if (m_cursorModes & kCursorEmbedded)
        selection.insert(QStringLiteral("cursor_mode"), kCursorEmbedded);
    if (m_version >= 4) {
        selection.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        if (const QString token = m_loadToken(); !token.isEmpty())
            selection.insert(QStringLiteral("restore_token"), token);
    }
    const QList<QVariant> selectArguments{QVariant::fromValue(QDBusObjectPath(session))};
    const Answer selected =
        co_await ask(QStringLiteral("SelectSources"), selectArguments, selection, answerTimeout);
    if (!self)
        co_return false;
    if (!selected.ok || m_sessionPath != session) {
        closeSession();
        co_return false;
    }
    const QList<QVariant> startArguments{QVariant::fromValue(QDBusObjectPath(session)), QString()};
    const Answer started =
        co_await ask(QStringLiteral("Start"), startArguments, QVariantMap(), answerTimeout);
    if (!self)
        co_return false;
    const auto stream = firstStream(started.results.value(QStringLiteral("streams")));
    if (!started.ok || !stream || m_sessionPath != session) {
        if (started.ok)
            qCCritical(lcDesktopSession).noquote()
                << QStringLiteral("The desktop portal started a screen cast without a stream.");
        closeSession();
        co_return false;
    }
    m_nodeId = stream->node;
    m_sharedArea = stream->monitorArea;
    // Each token is good for one restore: keep the new one.
    if (const QString token = started.results.value(QStringLiteral("restore_token")).toString();
        !token.isEmpty())
        m_saveToken(token);
    co_return true;
}

void PortalScreenCast::closeSession() {
    if (m_pipeWire)
        m_pipeWire.release()->deleteLater(); // a grab may still be waiting on it
    if (m_sessionPath.isEmpty())
        return;
    m_bus.disconnect(kService, m_sessionPath, kSession, QStringLiteral("Closed"), this,
                     SLOT(onSessionClosed()));
    m_bus.asyncCall(
        QDBusMessage::createMethodCall(kService, m_sessionPath, kSession, QStringLiteral("Close")));
    m_sessionPath.clear();
    m_nodeId = 0;
    m_sharedArea.reset();
}

void PortalScreenCast::onSessionClosed() {
    qCInfo(lcDesktopSession).noquote() << QStringLiteral("The desktop ended the screen cast.");
    closeSession();
}

QCoro::Task<bool> PortalScreenCast::requestConsent() {
    if (m_busy || !isAvailable())
        co_return false;
    QPointer<PortalScreenCast> self(this);
    m_busy = true;
    const bool opened = co_await openSession(kDialogTimeout);
    if (!self)
        co_return false;
    m_busy = false;
    co_return opened;
}

QCoro::Task<std::optional<QImage>> PortalScreenCast::captureFrame() {
    if (m_busy || !isAvailable())
        co_return std::nullopt;
    if (m_sessionPath.isEmpty() && !hasChosenSource()) {
        qCDebug(lcScreenshotService) << "No screen-cast source has been chosen yet.";
        co_return std::nullopt;
    }
    QPointer<PortalScreenCast> self(this);
    m_busy = true;
    if (m_sessionPath.isEmpty()) {
        const bool opened = co_await openSession(kRestoreTimeout);
        if (!self)
            co_return std::nullopt;
        if (!opened) {
            m_busy = false;
            co_return std::nullopt;
        }
    }
    if (!m_pipeWire || !m_pipeWire->isUsable()) {
        auto call = QDBusMessage::createMethodCall(kService, kObjectPath, kScreenCast,
                                                   QStringLiteral("OpenPipeWireRemote"));
        call.setArguments({QVariant::fromValue(QDBusObjectPath(m_sessionPath)), QVariantMap()});
        QDBusPendingCallWatcher watcher(m_bus.asyncCall(call, kCallTimeoutMs));
        if (!watcher.isFinished())
            co_await qCoro(&watcher, &QDBusPendingCallWatcher::finished);
        if (!self)
            co_return std::nullopt;
        const auto remote = watcher.reply().arguments().value(0).value<QDBusUnixFileDescriptor>();
        const int fd = remote.isValid() ? fcntl(remote.fileDescriptor(), F_DUPFD_CLOEXEC, 3) : -1;
        if (fd < 0) {
            qCCritical(lcScreenshotService).noquote()
                << QStringLiteral("The desktop portal gave no PipeWire connection: %1")
                       .arg(logSafe(watcher.isError() ? watcher.error().message()
                                                      : QStringLiteral("no descriptor.")));
            closeSession();
            m_busy = false;
            co_return std::nullopt;
        }
        if (m_pipeWire)
            m_pipeWire.release()->deleteLater();
        m_pipeWire = PipeWireFrameGrab::connectToRemote(fd);
        if (!m_pipeWire) {
            closeSession();
            m_busy = false;
            co_return std::nullopt;
        }
    }
    auto frame = co_await m_pipeWire->grab(m_nodeId, kFrameTimeout);
    if (!self)
        co_return std::nullopt;
    m_busy = false;
    // A stream that gives nothing may belong to a source that is gone; the next capture starts afresh.
    if (!frame)
        closeSession();
    co_return frame;
}

} // namespace norvane

#include "PortalScreenCast.moc"
