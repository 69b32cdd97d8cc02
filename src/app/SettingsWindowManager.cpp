// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "SettingsWindowManager.h"

#include "TrayMenu.h"
#include "model/Logging.h"

#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QScreen>

namespace norvane {

namespace {
const QUrl kSettingsViewUrl(QStringLiteral("qrc:/qt/qml/Norvane/Settings/SettingsView.qml"));
}

SettingsWindowManager::SettingsWindowManager(AppState* appState, GeminiGenerating* gemini,
                                             PermissionProviding* permissions, Clock* clock, QObject* parent)
    : QObject(parent), m_appState(appState), m_gemini(gemini), m_permissions(permissions),
      m_clock(clock ? clock : Clock::system()) {}

SettingsWindowManager::~SettingsWindowManager() {
    // The view goes before the controller it binds to.
    m_window.reset();
    delete m_controller;
}

QString SettingsWindowManager::titleFor(SettingsPresentationMode mode) {
    return mode == SettingsPresentationMode::Setup ? tr("Set Up Norvane") : tr("Norvane Settings");
}

void SettingsWindowManager::createWindow() {
    m_window = std::make_unique<QQuickView>();
    m_window->setObjectName(QStringLiteral("settingsWindow"));
    m_window->engine()->addImportPath(QStringLiteral("qrc:/qt/qml"));
    m_window->setResizeMode(QQuickView::SizeRootObjectToView);
    // Titled, closable and minimizable, not resizable, above normal windows.
    m_window->setFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowStaysOnTopHint);
    const QSize size(contentWidth, contentHeight);
    m_window->setMinimumSize(size);
    m_window->setMaximumSize(size);
    m_window->resize(size);
    m_window->setIcon(TrayIcon::iconNamed(QStringLiteral("eye")));
    m_window->setColor(Qt::transparent);
    if (QScreen* screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        m_window->setPosition(available.center() - QPoint(size.width() / 2, size.height() / 2));
    }
}

void SettingsWindowManager::show(SettingsPresentationMode mode) {
    const bool created = !m_window;
    if (created)
        createWindow();

    auto* controller =
        new SettingsController(mode, m_appState, m_monitoring ? m_monitoring() : nullptr, m_gemini,
                               m_permissions, m_commands ? m_commands() : nullptr, m_clock, this);
    controller->setCaptures(m_captures ? m_captures() : nullptr);
    connect(controller, &SettingsController::closeRequested, this, [this] {
        if (m_window)
            m_window->close();
    });
    m_window->setInitialProperties({{QStringLiteral("controller"), QVariant::fromValue(controller)}});
    // Replacing the source deletes the previous view, then the previous controller can go.
    m_window->setSource(kSettingsViewUrl);
    if (m_window->status() == QQuickView::Error) {
        for (const auto& error : m_window->errors())
            qCCritical(lcApp).noquote() << "The settings view could not be loaded:" << error.toString();
    }
    if (m_controller)
        m_controller->deleteLater();
    m_controller = controller;

    m_window->setTitle(titleFor(mode));
    bringForward(m_window.get());
}

void bringForward(QWindow* window) {
    if (window->windowState() & Qt::WindowMinimized)
        window->showNormal();
    else
        window->show();
    window->raise();
    window->requestActivate();
}

} // namespace norvane
