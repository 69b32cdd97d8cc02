// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "model/SentRequests.h"
#include "model/ServiceInterfaces.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

namespace norvane {

// The requests sent to the model, newest first, read from the record a page at a time as the view
// scrolls. Frames point at their capture files for thumbnails; a file that retention removed simply
// fails to load and the view shows its placeholder.
class HistoryModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Provided by the application")
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    Q_PROPERTY(int total READ total NOTIFY totalChanged)

public:
    static constexpr int pageSize = 50;

    enum Role {
        TimeTextRole = Qt::UserRole + 1,
        KindRole,      // "analysis" or "recommendation"
        KindTitleRole, // as the view shows it
        FramesRole,    // list of {appName, windowTitle, thumbnail (file URL; empty once the file is gone)}
        OutcomeRole,
        PromptRole,      // empty when there is none
        DestinationRole, // "Sent to …"
    };

    HistoryModel(SentRequestReading* reader, QString capturesDirectory, PasteboardProviding* pasteboard,
                 QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    bool loading() const { return m_loading; }
    // Entries in the record, of which rowCount() are loaded.
    int total() const { return m_total; }

    // Forgets the rows and reads the newest page again.
    Q_INVOKABLE void reload();
    Q_INVOKABLE void copyPrompt(int row);

Q_SIGNALS:
    void loadingChanged();
    void totalChanged();

private:
    QCoro::Task<> loadPage(int generation);

    SentRequestReading* m_reader;
    QString m_capturesDirectory;
    PasteboardProviding* m_pasteboard;
    QList<SentRequest> m_rows;
    int m_total = 0;
    bool m_loaded = false;
    bool m_loading = false;
    int m_generation = 0; // a reload drops pages still on their way
};

} // namespace norvane
