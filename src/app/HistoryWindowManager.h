// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

#include "HistoryModel.h"

#include <QObject>
#include <QQuickView>

#include <memory>

namespace norvane {

// Owns the one history window: made on the first show(), hidden (never destroyed) on close. Each show()
// reads the record again and brings the window to the front.
class HistoryWindowManager : public QObject {
    Q_OBJECT
public:
    HistoryWindowManager(SentRequestReading* reader, QString capturesDirectory,
                         PasteboardProviding* pasteboard, QObject* parent = nullptr);
    ~HistoryWindowManager() override;

    static HistoryWindowManager* shared();

    void show();

    // The window, once shown; null before the first show().
    QQuickView* window() const { return m_window.get(); }
    HistoryModel* model() const { return m_model; }

private:
    HistoryModel* m_model;
    std::unique_ptr<QQuickView> m_window;
};

} // namespace norvane
