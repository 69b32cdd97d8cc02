// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SwayIpc.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>

#include <cstring>
#include <functional>

namespace norvane {

namespace {

QRect rectOf(const QJsonValue& value) {
    const QJsonObject rect = value.toObject();
    return QRect(rect[QLatin1String("x")].toInt(), rect[QLatin1String("y")].toInt(),
                 rect[QLatin1String("width")].toInt(), rect[QLatin1String("height")].toInt());
}

bool isView(const QJsonObject& node) {
    const QString type = node[QLatin1String("type")].toString();
    return (type == QLatin1String("con") || type == QLatin1String("floating_con")) &&
           node.contains(QLatin1String("pid"));
}

// Calls `visit` for every window, with the output that holds it.
void forEachView(const QJsonObject& node, const QJsonObject& output,
                 const std::function<void(const QJsonObject&, const QJsonObject&)>& visit) {
    const QJsonObject& holder =
        node[QLatin1String("type")].toString() == QLatin1String("output") ? node : output;
    if (isView(node))
        visit(node, holder);
    for (const char* children : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node[QLatin1String(children)].toArray())
            forEachView(child.toObject(), holder, visit);
}

QString appIdOf(const QJsonObject& view) {
    const QJsonValue appId = view[QLatin1String("app_id")];
    if (appId.isString())
        return appId.toString();
    return view[QLatin1String("window_properties")].toObject()[QLatin1String("class")].toString();
}

} // namespace

std::optional<SwayWindowPlace> findSwayWindow(const QJsonObject& tree, const QString& appId,
                                              const QString& title) {
    std::optional<SwayWindowPlace> found;
    bool foundFocused = false;
    forEachView(tree, {}, [&](const QJsonObject& view, const QJsonObject& output) {
        if (foundFocused || !view[QLatin1String("visible")].toBool() || appIdOf(view) != appId ||
            view[QLatin1String("name")].toString() != title)
            return;
        const QRect rect = rectOf(view[QLatin1String("rect")]);
        const QRect content = rectOf(view[QLatin1String("window_rect")]);
        found = SwayWindowPlace{output[QLatin1String("name")].toString(),
                                rectOf(output[QLatin1String("rect")]), content.translated(rect.topLeft()),
                                qint64(view[QLatin1String("pid")].toDouble())};
        foundFocused = view[QLatin1String("focused")].toBool();
    });
    return found;
}

QList<QRect> swayWindowsOfProcess(const QJsonObject& tree, qint64 processIdentifier) {
    QList<QRect> rects;
    forEachView(tree, {}, [&](const QJsonObject& view, const QJsonObject&) {
        if (view[QLatin1String("visible")].toBool() &&
            qint64(view[QLatin1String("pid")].toDouble()) == processIdentifier)
            rects.append(rectOf(view[QLatin1String("rect")]));
    });
    return rects;
}

std::optional<QJsonObject> readSwayTree(const QString& socketPath, int timeoutMs) {
    if (socketPath.isEmpty())
        return std::nullopt;
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return std::nullopt;
    // i3's IPC framing: magic, payload length and message type in native byte order, then the payload.
    constexpr char kMagic[] = "i3-ipc";
    constexpr quint32 kGetTree = 4;
    constexpr int kHeader = 6 + 8;
    QByteArray request(kMagic, 6);
    const quint32 header[2] = {0, kGetTree};
    request.append(reinterpret_cast<const char*>(header), sizeof header);
    socket.write(request);
    QByteArray reply;
    quint32 length = 0;
    while (reply.size() < kHeader || reply.size() < kHeader + qsizetype(length)) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            return std::nullopt;
        reply += socket.readAll();
        if (reply.size() >= kHeader) {
            if (!reply.startsWith(kMagic))
                return std::nullopt;
            std::memcpy(&length, reply.constData() + 6, sizeof length);
            if (length > 64u * 1024 * 1024)
                return std::nullopt;
        }
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply.mid(kHeader, length));
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace norvane
