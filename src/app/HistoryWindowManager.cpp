// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "HistoryWindowManager.h"

#include "SettingsWindowManager.h"
#include "TrayMenu.h"
#include "model/Logging.h"

#include <QQmlEngine>

namespace norvane {

HistoryWindowManager::HistoryWindowManager(SentRequestReading* reader, QString capturesDirectory,
                                           PasteboardProviding* pasteboard, QObject* parent)
    : QObject(parent), m_model(new HistoryModel(reader, std::move(capturesDirectory), pasteboard, this)) {}

HistoryWindowManager::~HistoryWindowManager() {
    // The view goes before the model it shows.
    m_window.reset();
}

void HistoryWindowManager::show() {
    m_model->reload();
    if (!m_window) {
        m_window = std::make_unique<QQuickView>();
        m_window->setObjectName(QStringLiteral("historyWindow"));
        m_window->engine()->addImportPath(QStringLiteral("qrc:/qt/qml"));
        m_window->setResizeMode(QQuickView::SizeRootObjectToView);
        m_window->setTitle(tr("Norvane History"));
        // Opened from the settings window, which stays on top, it would otherwise open behind it.
        m_window->setFlags(Qt::Window | Qt::WindowStaysOnTopHint);
        m_window->setIcon(TrayIcon::iconNamed(QStringLiteral("eye")));
        m_window->setMinimumSize({480, 360});
        m_window->resize(640, 720);
        m_window->setInitialProperties({{QStringLiteral("history"), QVariant::fromValue(m_model)}});
        m_window->setSource(QUrl(QStringLiteral("qrc:/qt/qml/Norvane/Settings/HistoryView.qml")));
        for (const auto& error : m_window->errors())
            qCCritical(lcApp).noquote() << "The history view could not be loaded:" << error.toString();
    }
    bringForward(m_window.get());
}

} // namespace norvane
