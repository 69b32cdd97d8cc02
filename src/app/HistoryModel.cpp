// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "HistoryModel.h"

#include <QLocale>
#include <QPointer>
#include <QUrl>

namespace norvane {

HistoryModel::HistoryModel(SentRequestReading* reader, QString capturesDirectory,
                           PasteboardProviding* pasteboard, QObject* parent)
    : QAbstractListModel(parent), m_reader(reader), m_capturesDirectory(std::move(capturesDirectory)),
      m_pasteboard(pasteboard) {}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

QHash<int, QByteArray> HistoryModel::roleNames() const {
    return {{TimeTextRole, "timeText"},      {KindRole, "kind"},       {KindTitleRole, "kindTitle"},
            {FramesRole, "frames"},          {OutcomeRole, "outcome"}, {PromptRole, "prompt"},
            {DestinationRole, "destination"}};
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const SentRequest& entry = m_rows.at(index.row());
    switch (role) {
    case TimeTextRole:
        return QLocale().toString(entry.time.toLocalTime(), QLocale::ShortFormat);
    case KindRole:
        return entry.kind;
    case KindTitleRole:
        return entry.kind == SentRequestKind::recommendation ? tr("Recommendation") : tr("Analysis");
    case FramesRole: {
        QVariantList frames;
        for (const SentFrame& frame : entry.frames)
            frames.append(QVariantMap{
                {QStringLiteral("appName"), frame.appName},
                {QStringLiteral("windowTitle"), frame.windowTitle},
                {QStringLiteral("thumbnail"),
                 frame.onDisk
                     ? QUrl::fromLocalFile(m_capturesDirectory + QLatin1Char('/') + frame.captureFileName)
                     : QUrl()}});
        return frames;
    }
    case OutcomeRole:
        return entry.outcome;
    case PromptRole:
        return entry.prompt.value_or(QString());
    case DestinationRole:
        return tr("Sent to %1")
            .arg(entry.destination.isEmpty() ? QStringLiteral("Gemini") : entry.destination);
    default:
        return {};
    }
}

bool HistoryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !m_loading && (!m_loaded || m_rows.size() < m_total);
}

void HistoryModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent) || !m_reader)
        return;
    m_loading = true;
    Q_EMIT loadingChanged();
    (void)loadPage(m_generation);
}

QCoro::Task<> HistoryModel::loadPage(int generation) {
    QPointer<HistoryModel> self(this);
    SentRequestReading* reader = m_reader;
    const SentRequestPage page = co_await reader->readSentRequests(int(m_rows.size()), pageSize);
    if (!self || generation != m_generation)
        co_return;
    if (!page.entries.isEmpty()) {
        beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + page.entries.size() - 1));
        m_rows += page.entries;
        endInsertRows();
    }
    m_loaded = true;
    // An entry that could not be read shrinks the total, so paging ends instead of asking forever.
    const int total = page.entries.size() < pageSize ? int(m_rows.size()) : page.total;
    if (total != m_total) {
        m_total = total;
        Q_EMIT totalChanged();
    }
    m_loading = false;
    Q_EMIT loadingChanged();
}

void HistoryModel::reload() {
    ++m_generation;
    beginResetModel();
    m_rows.clear();
    m_loaded = false;
    m_loading = false;
    endResetModel();
    fetchMore({});
}

void HistoryModel::copyPrompt(int row) {
    if (m_pasteboard && row >= 0 && row < m_rows.size() && m_rows.at(row).prompt)
        m_pasteboard->copyString(*m_rows.at(row).prompt);
}

} // namespace norvane
