// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "Records.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace norvane {

// The local record of what left the machine: one entry per request to the model that carried
// screenshots. It names the frames (application, title, capture file) and never holds their pixels.
namespace SentRequestKind {
inline const QString analysis = QStringLiteral("analysis");
inline const QString recommendation = QStringLiteral("recommendation");
} // namespace SentRequestKind

struct SentFrame {
    QString appName;
    QString windowTitle;
    QString captureFileName; // under the captures folder; retention may have removed it since
    bool onDisk = false;     // whether the capture file was there when the entry was read
    bool operator==(const SentFrame&) const = default;
};

struct SentRequest {
    QDateTime time;
    QString kind;
    QList<SentFrame> frames;
    QString outcome;               // the verdict, the recommendation, or why there was none
    std::optional<QString> prompt; // a recommendation's prompt to paste
    QString destination;           // where the frames went; empty for Gemini
    bool operator==(const SentRequest&) const = default;
};

// A slice of the record, newest first, and how many entries it holds in all.
struct SentRequestPage {
    QList<SentRequest> entries;
    int total = 0;
};

class SentRequestRecording {
public:
    virtual ~SentRequestRecording() = default;
    // Returns at once: the write happens elsewhere, and a failed one is logged and dropped. Only the
    // frames' names and times are kept, never their images.
    // `destination` is ModelConnection::destination().
    virtual void recordSentRequest(QString kind, QList<Screenshot> frames, QString outcome,
                                   std::optional<QString> prompt = {}, QString destination = {}) = 0;
};

class SentRequestReading {
public:
    virtual ~SentRequestReading() = default;
    // Skips the `skip` newest entries and gives at most `count` of the next ones.
    virtual QCoro::Task<SentRequestPage> readSentRequests(int skip, int count) = 0;
};

} // namespace norvane
